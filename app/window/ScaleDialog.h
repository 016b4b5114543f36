#pragma once
// Adds a scale to the scales panel: its link, checked as it is typed, and
// an optional name. OK stays disabled, with a hint, while the link is not one.
#include "ScaleJob.h"

#include <QDialog>

class QDialogButtonBox;
class QLabel;
class QLineEdit;

class TScaleDialog : public QDialog {
    Q_OBJECT
public:
    explicit TScaleDialog(QWidget* parent = nullptr);

    // The scale as typed; valid once the dialog was accepted.
    TTarget Target() const;

    QLineEdit* EditLink;
    QLineEdit* EditName;
    QLabel* LabelHint;
    QDialogButtonBox* Buttons;

private:
    void Check();
};
