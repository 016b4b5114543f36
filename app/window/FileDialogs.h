#pragma once
// The program's file dialogs: Qt's own, alike on every desktop and needing
// no portal, with the keyboard path whole: a name typed and Enter leave
// nothing on screen, and the next key goes to the window.
#include <QString>

class QFileDialog;
class QWidget;

// Makes `dialog` Qt's own and closes its name completer when it closes (the
// completer's list outlives the dialog and would take the next keys).
void KeepFileDialogTidy(QFileDialog* dialog);

// An existing file to open; empty when cancelled.
QString AskOpenFileName(QWidget* parent, const QString& caption, const QString& filter);
// A file to save, starting at `name`; replacing one asks first. Empty when cancelled.
QString AskSaveFileName(QWidget* parent, const QString& caption, const QString& name, const QString& filter);
