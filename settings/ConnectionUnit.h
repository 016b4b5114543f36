#pragma once
// The connection settings dialog: which link reaches the scale and its
// parameters. Created once, hidden between uses; filled from the shared
// settings and the serial port each time it is shown.
#include <QDialog>
#include <QSpinBox>

#include <functional>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QToolButton;
class TCustomComPort;
class TRadioGroup;

// Arrow buttons that step the number in a buddy edit box, starting from the
// number typed there; the box keeps whatever else is typed.
class TUpDown : public QSpinBox {
    Q_OBJECT
public:
    TUpDown(QLineEdit* buddy, int min, int max, QWidget* parent = nullptr);
    void stepBy(int steps) override;

protected:
    StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }

private:
    QLineEdit* buddy_;
};

class TConnectionForm : public QDialog {
    Q_OBJECT
public:
    // `pressConnect` runs the main window's Connect action, enabled or not.
    TConnectionForm(TCustomComPort& port, std::function<void()> pressConnect, QWidget* parent = nullptr);

    // Whether Apply or Cancel pressed Connect during the current showing.
    bool PressedConnect() const { return pressedConnect_; }

    TRadioGroup* rgConnection;
    QGroupBox* gbEthernet;
    QLabel* Label1;
    QLabel* Label2;
    QLineEdit* EditIP;
    QLineEdit* EditPort;
    TRadioGroup* rgEthProtocol;
    QGroupBox* gbSerialPort;
    QLabel* LabelCOMPort;
    QLabel* LabelBaudRate;
    QLabel* Label34;
    QLineEdit* EditCOM;
    TUpDown* UpDownCOM;
    QComboBox* cbBaudRate;
    QToolButton* sbSerialAdvanced;
    QToolButton* sbApply;
    QToolButton* sbCancel;

    void rgConnectionClick();
    void sbSerialAdvancedClick();
    void sbApplyClick();
    void sbCancelClick();
    void FormShow();
    void GetCOMPortSettings();

protected:
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void BuildEthernetBox();
    void BuildSerialBox();

    TCustomComPort& port_;
    std::function<void()> pressConnect_;
    bool pressedConnect_ = false;
};
