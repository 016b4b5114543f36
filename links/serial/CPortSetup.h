#pragma once
// The dialog that edits the line settings of a serial port: six bound lists,
// applied to the port together when the user presses "Zastosuj".
#include "CPort.h"

#include <QDialog>

class QGroupBox;
class QLabel;
class QPushButton;
class QToolButton;
class TComComboBox;

// True when the setup dialog was last left by its apply button; the
// connection dialog reads it to know whether to refresh its own fields.
extern bool SetupApplied;

class TComSetupFrm : public QDialog {
    Q_OBJECT
public:
    // Fills the lists; the port list raises EComPort 23 without a device tree.
    explicit TComSetupFrm(QWidget* parent = nullptr);

    QGroupBox* GroupBox1;
    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    TComComboBox* Combo2;
    TComComboBox* Combo3;
    TComComboBox* Combo4;
    TComComboBox* Combo5;
    TComComboBox* Combo6;
    TComComboBox* Combo1;
    QPushButton* BitBtnApply;
    QPushButton* BitBtnCancel;
    QToolButton* sbApply;
    QToolButton* sbCancel;

    void FormCreate();
    void sbApplyClick();
    void sbCancelClick();

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    void BuildSettingsGroup();
    void BuildButtons();
};

// Shows the dialog for `port` and copies the choices into it on apply.
// Failures (no device tree, a refused setting) reach the caller.
void EditPortSettings(TCustomComPort& port);

// Makes TCustomComPort::ShowSettingsDialog open this dialog.
void InstallSerialSetupDialog();
