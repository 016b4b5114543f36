#include "ConnectionUnit.h"

#include "CPort.h"
#include "CPortSetup.h"
#include "FormControls.h"
#include "Global.h"
#include "IntegerText.h"
#include "RadioGroup.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QStyle>
#include <QToolButton>
#include <QValidator>

namespace {

// Limits what the user types, like an edit box's text limit: text put in
// from code is shown whole (a long host name must not be cut and then saved
// cut), and a text already over the limit can still be shortened.
class TTypingLimit : public QValidator {
public:
    TTypingLimit(QLineEdit* edit, int limit) : QValidator(edit), limit_(limit), shown_(edit->text().size())
    {
        // The edit holds the new text already while it asks; remember the last one.
        connect(edit, &QLineEdit::textChanged, this, [this](const QString& text) { shown_ = text.size(); });
    }
    State validate(QString& input, int&) const override
    {
        if (input.size() > limit_ && input.size() > shown_)
            return Invalid;
        return Acceptable;
    }

private:
    int limit_;
    qsizetype shown_;
};

QLineEdit* MakeEdit(const char* name, const QString& text, int limit, const QRect& place, QWidget* parent)
{
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(QLatin1String(name));
    edit->setGeometry(place);
    if (limit > 0)
        edit->setValidator(new TTypingLimit(edit, limit));
    return edit;
}

const QStringList BaudRateItems{"50",    "75",    "110",   "134.5", "150",    "300",    "600",
                                "1200",  "1800",  "2400",  "4800",  "7200",   "9600",   "19200",
                                "38400", "57600", "115200", "230400", "460800", "921600"};
constexpr int DefaultBaudRateItem = 10; // "4800"

} // namespace

TUpDown::TUpDown(QLineEdit* buddy, int min, int max, QWidget* parent) : QSpinBox(parent), buddy_(buddy)
{
    setRange(min, max);
    setValue(min);
    lineEdit()->hide(); // the number lives in the buddy box
}

void TUpDown::stepBy(int steps)
{
    bool ok = false;
    const int typed = buddy_->text().toInt(&ok);
    if (ok)
        setValue(qBound(minimum(), typed, maximum()));
    QSpinBox::stepBy(steps);
    buddy_->setText(QString::number(value()));
}

TConnectionForm::TConnectionForm(TCustomComPort& port, std::function<void()> pressConnect, QWidget* parent)
    : QDialog(parent), port_(port), pressConnect_(std::move(pressConnect))
{
    setObjectName(QStringLiteral("ConnectionForm"));
    setWindowTitle(tr("Ustawienia połączenia"));
    // The theme's window colour, not a white of its own: under a dark
    // theme's light text a white background would leave nothing to read.

    sbApply = MakeSpeedButton("sbApply", tr("Apply"), QStyle::SP_DialogApplyButton, this);
    sbApply->setGeometry(72, 184, 73, 25);
    sbCancel = MakeSpeedButton("sbCancel", tr("Cancel"), QStyle::SP_DialogCancelButton, this);
    sbCancel->setGeometry(152, 184, 65, 25);
    rgConnection = new TRadioGroup(tr(" Connection:"), this, 2);
    rgConnection->setObjectName(QStringLiteral("rgConnection"));
    rgConnection->setGeometry(0, 0, 225, 41);
    rgConnection->SetItems({tr("Serial port"), QStringLiteral("Ethernet")});
    rgConnection->SetItemIndex(0);
    BuildEthernetBox();
    BuildSerialBox();

    setTabOrder(rgConnection, EditIP);
    setTabOrder(EditIP, EditPort);
    setTabOrder(EditPort, rgEthProtocol);
    setTabOrder(rgEthProtocol, EditCOM);
    setTabOrder(EditCOM, UpDownCOM);
    setTabOrder(UpDownCOM, cbBaudRate);
    setTabOrder(cbBaudRate, sbSerialAdvanced);
    setTabOrder(sbSerialAdvanced, sbApply);
    setTabOrder(sbApply, sbCancel);

    connect(rgConnection, &TRadioGroup::Click, this, &TConnectionForm::rgConnectionClick);
    connect(sbApply, &QToolButton::clicked, this, &TConnectionForm::sbApplyClick);
    connect(sbCancel, &QToolButton::clicked, this, &TConnectionForm::sbCancelClick);
    connect(sbSerialAdvanced, &QToolButton::clicked, this, &TConnectionForm::sbSerialAdvancedClick);
    rgConnectionClick();

    move(465, 238);
    ScaleForm(*this, QSize(225, 209)); // just holds the controls
    // "Advanced options" opens the setup dialog through the port.
    InstallSerialSetupDialog();
}

void TConnectionForm::BuildEthernetBox()
{
    gbEthernet = new QGroupBox(tr(" Ustawienia połączenia ethernetowego: "), this);
    gbEthernet->setObjectName(QStringLiteral("gbEthernet"));
    gbEthernet->setGeometry(0, 48, 225, 129);
    Label1 = MakeLabel("Label1", tr("Adres IP:"), 10, 28, gbEthernet);
    Label2 = MakeLabel("Label2", tr("Port:"), 26, 60, gbEthernet);
    EditIP = MakeEdit("EditIP", QStringLiteral("000.000.000.000"), 15, QRect(64, 24, 89, 21), gbEthernet);
    EditPort = MakeEdit("EditPort", QStringLiteral("00000"), 5, QRect(64, 56, 46, 21), gbEthernet);
    rgEthProtocol = new TRadioGroup(tr("Protokół"), gbEthernet, 2);
    rgEthProtocol->setObjectName(QStringLiteral("rgEthProtocol"));
    rgEthProtocol->setGeometry(16, 84, 193, 37);
    rgEthProtocol->SetItems({QStringLiteral("TCP"), QStringLiteral("UDP")});
    rgEthProtocol->SetItemIndex(0);
    NameAfterLabel(Label1, EditIP);
    NameAfterLabel(Label2, EditPort);
}

void TConnectionForm::BuildSerialBox()
{
    gbSerialPort = new QGroupBox(tr(" Serial port settings: "), this);
    gbSerialPort->setObjectName(QStringLiteral("gbSerialPort"));
    gbSerialPort->setGeometry(0, 48, 225, 129);
    LabelCOMPort = MakeLabel("LabelCOMPort", tr("COM Port:"), 34, 28, gbSerialPort);
    LabelBaudRate = MakeLabel("LabelBaudRate", tr("Baud rate:"), 34, 60, gbSerialPort);
    Label34 = MakeLabel("Label34", tr("bps"), 171, 60, gbSerialPort);
    sbSerialAdvanced = MakeSpeedButton("sbSerialAdvanced", tr("Advanced options"),
                                       QStyle::SP_FileDialogDetailedView, gbSerialPort);
    sbSerialAdvanced->setGeometry(48, 88, 121, 25);
    EditCOM = MakeEdit("EditCOM", QStringLiteral("1"), 0, QRect(99, 24, 38, 21), gbSerialPort);
    EditCOM->installEventFilter(this);
    UpDownCOM = new TUpDown(EditCOM, 1, 255, gbSerialPort);
    UpDownCOM->setObjectName(QStringLiteral("UpDownCOM"));
    UpDownCOM->setGeometry(137, 24, 15, 21);
    cbBaudRate = new QComboBox(gbSerialPort);
    cbBaudRate->setObjectName(QStringLiteral("cbBaudRate"));
    cbBaudRate->setGeometry(99, 56, 69, 21);
    cbBaudRate->setEditable(false);
    cbBaudRate->addItems(BaudRateItems);
    cbBaudRate->setCurrentIndex(DefaultBaudRateItem);
    NameAfterLabel(LabelCOMPort, UpDownCOM);
    NameAfterLabel(LabelCOMPort, EditCOM);  // the label's buddy is the field
    NameAfterLabel(LabelBaudRate, cbBaudRate);
}

bool TConnectionForm::eventFilter(QObject* watched, QEvent* e)
{
    // The arrow keys in the COM box step the number, as its arrows do.
    if (watched == EditCOM && e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            UpDownCOM->stepBy(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QDialog::eventFilter(watched, e);
}

void TConnectionForm::keyPressEvent(QKeyEvent* e)
{
    // Enter applies, Escape cancels, as the buttons do; a focused button
    // takes Enter as its own press.
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (focusWidget() == sbCancel || focusWidget() == sbSerialAdvanced)
            static_cast<QToolButton*>(focusWidget())->click();
        else
            sbApplyClick();
        return;
    case Qt::Key_Escape:
        sbCancelClick();
        return;
    default:
        QDialog::keyPressEvent(e);
    }
}

void TConnectionForm::showEvent(QShowEvent* e)
{
    if (!e->spontaneous()) {
        FormShow();
        // Each showing starts at the first control of the tab order, the
        // selected link, whatever had the focus when the dialog last closed.
        if (QAbstractButton* link = rgConnection->Button(rgConnection->ItemIndex()))
            link->setFocus(Qt::OtherFocusReason);
    }
    QDialog::showEvent(e);
}

void TConnectionForm::rgConnectionClick()
{
    gbSerialPort->setVisible(rgConnection->ItemIndex() == 0);
    gbEthernet->setVisible(rgConnection->ItemIndex() == 1);
}

void TConnectionForm::sbSerialAdvancedClick()
{
    try {
        port_.ShowSettingsDialog();
    } catch (...) {
        // No device list or a refused setting: the fields stay as they are.
    }
    if (SetupApplied)
        GetCOMPortSettings();
}

void TConnectionForm::sbApplyClick()
{
    ConnectionKind = static_cast<std::int8_t>(rgConnection->ItemIndex());
    EthProtocol = static_cast<std::int8_t>(rgEthProtocol->ItemIndex());
    EthHost = EditIP->text();
    std::int32_t port = EthDefaultPort;
    if (!TryParseInteger(EditPort->text(), port))
        port = EthDefaultPort;
    EthPort = port;

    // A number names COMn; anything else is a device name as typed
    // (ttyUSB0, /dev/pts/5), which "COM" in front would spoil.
    static const QRegularExpression number(QStringLiteral("^[0-9]+$"));
    const QString com = EditCOM->text();
    port_.SetPort(number.match(com).hasMatch() ? QStringLiteral("COM") + com : com);
    port_.SetBaudRate(TextToBaudRate(cbBaudRate->currentText()));

    pressedConnect_ = true;
    if (pressConnect_)
        pressConnect_();
    accept();
}

void TConnectionForm::sbCancelClick()
{
    pressedConnect_ = true;
    if (pressConnect_)
        pressConnect_();
    reject();
}

void TConnectionForm::FormShow()
{
    pressedConnect_ = false;
    rgConnection->SetItemIndex(ConnectionKind);
    rgEthProtocol->SetItemIndex(EthProtocol);
    rgConnectionClick(); // the selection may not have changed
    EditIP->setText(EthHost);
    EditPort->setText(QString::number(EthPort));
    GetCOMPortSettings();
}

void TConnectionForm::GetCOMPortSettings()
{
    QString name = port_.Port();
    // A device path is shown whole: a stable adapter name may hold "COM"
    // ("..._Virtual_COM_Port-if00"), and Apply must store it unspoilt.
    const int com = name.startsWith(QLatin1Char('/')) ? -1 : name.indexOf(QLatin1String("COM"), 0, Qt::CaseSensitive);
    if (com >= 0)
        name.remove(com, 3);
    EditCOM->setText(name);
    const int item = cbBaudRate->findText(BaudRateToText(port_.BaudRate()), Qt::MatchExactly | Qt::MatchCaseSensitive);
    cbBaudRate->setCurrentIndex(item >= 0 ? item : DefaultBaudRateItem);
}
