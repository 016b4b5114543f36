#pragma once
// Controls placed by pixel, as the dialogs of this program are drawn, and the
// scaling that keeps such a dialog readable with the desktop's own font.
#include <QSize>
#include <QString>
#include <QStyle>

class QLabel;
class QToolButton;
class QWidget;

QLabel* MakeLabel(const char* name, const QString& caption, int x, int y, QWidget* parent);

// Makes label the buddy of field and names field after it for screen readers
// (its caption without '&' and colon); call again after the caption changes.
// A drop-down and its list both take the label's name; its value stays the
// selection.
void NameAfterLabel(QLabel* label, QWidget* field);

// Lets a drop-down list without typing be named as any other control: on
// Linux Qt names one by its selection ("None" for parity and for flow
// control alike). Once per program, before the first window; NameAfterLabel
// makes sure of it too.
void InstallDropDownNames();

// A caption as a screen reader should say it: no '&', colon or padding.
QString SpokenCaption(QString caption);

// A flat button with an image and its caption beside it; Tab reaches it, a click does not focus it.
QToolButton* MakeSpeedButton(const char* name, const QString& caption, QStyle::StandardPixmap image,
                             QWidget* parent);

// How much wider the font's characters are than those of the 8 pt font the
// dialogs were laid out for; never below 1.
double FormScale(const QWidget& form);

// Fixes the form's client size and grows it and every control placed in it
// (directly or in a plain group box) by FormScale. Labels are sized to their
// text first, so a translated caption is never cut.
void ScaleForm(QWidget& form, QSize clientSize);
