#include "CPortCtl.h"
#include "CPortSetup.h"
#include "TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <functional>
#include <memory>

// Records when line settings reach the device layer, to prove that Apply
// wraps its changes in one settings update.
class RecordingPort : public TComPort {
public:
    QStringList Events;

protected:
    void ApplyAllSettings() override
    {
        Events << QStringLiteral("all");
        TComPort::ApplyAllSettings();
    }
    void ApplyLineSettings() override
    {
        Events << QStringLiteral("line%1").arg(SettingsUpdateCount());
        TComPort::ApplyLineSettings();
    }
};

class SetupTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void listsShowPortValues_data();
    void listsShowPortValues();
    void portsSortedIgnoringCase();
    void applyUntouchedReappliesInOneUpdate();
    void applyChosenValue_data();
    void applyChosenValue();
    void flowControlPreset_data();
    void flowControlPreset();
    void unlistedPortNameKept();
    void cancelChangesNothingAndClearsFlag();
    void closeBoxLeavesFlag_data();
    void closeBoxLeavesFlag();
    void enterAppliesEscapeCancels_data();
    void enterAppliesEscapeCancels();
    void noDeviceTreeRaises23WithoutDialog();
    void showSettingsDialogOpensIt();
    void autoApplyWritesAtOnce();
    void destroyedPortIsUnbound();

private:
    // Runs EditPortSettings; `act` gets the shown dialog and must close it.
    bool Edit(TCustomComPort& port, const std::function<void(TComSetupFrm&)>& act);
    static void Pick(TComComboBox* box, const QString& text);
    ScratchSerialTree tree_;
    QString ftdi_; // the adapter's stable path
    const QString ftdiCaption_ = QStringLiteral("ttyUSB1 \u2014 FT232R USB UART (A50285BI)");
};

void SetupTest::initTestCase()
{
    QVERIFY(tree_.IsValid());
    QDir root(tree_.Tty());
    // Laid out as /sys/class/tty: a device with a driver is real hardware.
    for (const char* name : {"ttyS0", "ttyS1", "ttyS9", "ttyUSB0"})
        tree_.AddPort(QLatin1String(name));
    QVERIFY(root.mkpath("ttyS5/device")); // no driver: not listed
    QVERIFY(root.mkpath("tty1"));
    tree_.AddAdapter("ttyUSB1", "1-1", "FT232R USB UART", "A50285BI");
    ftdi_ = tree_.Link("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ttyUSB1", "/dev/null");
}

void SetupTest::init()
{
    SerialDeviceFolder = tree_.Tty();
    SerialByIdFolder = tree_.ById();
    SetupApplied = false;
}

bool SetupTest::Edit(TCustomComPort& port, const std::function<void(TComSetupFrm&)>& act)
{
    bool shown = false;
    QTimer probe;
    probe.setInterval(5);
    connect(&probe, &QTimer::timeout, this, [&] {
        auto* form = qobject_cast<TComSetupFrm*>(QApplication::activeModalWidget());
        if (!form || shown)
            return;
        shown = true;
        probe.stop();
        act(*form);
        if (form->isVisible()) { // a failed check must not leave the test waiting
            form->reject();
            QTest::qFail("dialog left open", __FILE__, __LINE__);
        }
    });
    probe.start();
    EditPortSettings(port);
    return shown;
}

void SetupTest::Pick(TComComboBox* box, const QString& text)
{
    const int target = box->findText(text);
    QVERIFY2(target >= 0, qPrintable(text));
    // Keyboard selection, as a user would make it.
    QTest::keyClick(box, Qt::Key_Home);
    for (int i = 0; i < target; ++i)
        QTest::keyClick(box, Qt::Key_Down);
    QCOMPARE(box->Text(), text);
}

void SetupTest::listsShowPortValues_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("flow");
    QTest::addColumn<QStringList>("shown");

    QTest::newRow("COM1 9600 8N1 no flow") << "COM1" << int(br9600) << int(dbEight) << int(sbOneStopBit)
                                           << int(prNone) << int(fcNone)
                                           << QStringList{"COM1", "9600", "8", "1", "None", "None"};
    QTest::newRow("lower-case name found") << "com10" << int(brCustom) << int(dbSeven) << int(sbTwoStopBits)
                                           << int(prEven) << int(fcSoftware)
                                           << QStringList{"COM10", "Custom", "7", "2", "Even", "Software"};
    QTest::newRow("unlisted name selects none") << "/dev/pts/7" << int(br256000) << int(dbFive)
                                                << int(sbOne5StopBits) << int(prSpace) << int(fcHardware)
                                                << QStringList{"", "256000", "5", "1.5", "Space", "Hardware"};
    QTest::newRow("stable path selects its adapter") << ftdi_ << int(br9600) << int(dbEight) << int(sbOneStopBit)
                                                     << int(prNone) << int(fcNone)
                                                     << QStringList{ftdiCaption_, "9600", "8", "1", "None", "None"};
    QTest::newRow("kernel name selects its adapter") << "ttyUSB1" << int(br9600) << int(dbEight) << int(sbOneStopBit)
                                                     << int(prNone) << int(fcNone)
                                                     << QStringList{ftdiCaption_, "9600", "8", "1", "None", "None"};
}

void SetupTest::listsShowPortValues()
{
    QFETCH(QString, port);
    QFETCH(int, baud);
    QFETCH(int, dataBits);
    QFETCH(int, stopBits);
    QFETCH(int, parity);
    QFETCH(int, flow);
    QFETCH(QStringList, shown);

    TComPort p;
    p.SetPort(port);
    p.SetBaudRate(TBaudRate(baud));
    p.SetDataBits(TDataBits(dataBits));
    p.SetStopBits(TStopBits(stopBits));
    p.Parity().SetBits(TParityBits(parity));
    p.FlowControl().SetFlowControl(TFlowControl(flow));

    QStringList texts;
    QVERIFY(Edit(p, [&](TComSetupFrm& f) {
        for (TComComboBox* c : {f.Combo1, f.Combo2, f.Combo3, f.Combo4, f.Combo5, f.Combo6})
            texts << c->Text();
        f.sbCancel->click();
    }));
    QCOMPARE(texts, shown);
}

void SetupTest::portsSortedIgnoringCase()
{
    TComSetupFrm form;
    QStringList items;
    for (int i = 0; i < form.Combo1->count(); ++i)
        items << form.Combo1->itemText(i);
    QCOMPARE(items, QStringList({"COM1", "COM10", "COM2", "ttyUSB0", ftdiCaption_}));
}

void SetupTest::applyUntouchedReappliesInOneUpdate()
{
    RecordingPort p;
    p.SetPort("COM2");
    p.SetBaudRate(br19200);
    p.SetDataBits(dbSeven);
    p.SetStopBits(sbTwoStopBits);
    p.Parity().SetBits(prOdd);
    p.FlowControl().SetFlowControl(fcSoftware);
    p.Events.clear();

    QVERIFY(Edit(p, [](TComSetupFrm& f) { f.sbApply->click(); }));

    QVERIFY(SetupApplied);
    QCOMPARE(p.Port(), QString("COM2"));
    QCOMPARE(p.BaudRate(), br19200);
    QCOMPARE(p.DataBits(), dbSeven);
    QCOMPARE(p.StopBits(), sbTwoStopBits);
    QCOMPARE(p.Parity().Bits(), prOdd);
    QCOMPARE(p.FlowControl().FlowControl(), fcSoftware);
    QCOMPARE(p.SettingsUpdateCount(), 0);
    // Every change lands inside the update; the device then gets everything once.
    QCOMPARE(p.Events.count("all"), 1);
    const int all = p.Events.indexOf("all");
    QVERIFY(all > 0);
    for (int i = 0; i < all; ++i)
        QCOMPARE(p.Events[i], QString("line1"));
}

void SetupTest::applyChosenValue_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("stored"); // when it is not the text

    QTest::newRow("port COM10") << "Combo1" << "COM10" << "";
    QTest::newRow("port by name") << "Combo1" << "ttyUSB0" << "";
    QTest::newRow("adapter stores its stable path") << "Combo1" << ftdiCaption_ << ftdi_;
    QTest::newRow("baud Custom") << "Combo2" << "Custom" << "";
    QTest::newRow("baud 115200") << "Combo2" << "115200" << "";
    QTest::newRow("data bits 6") << "Combo3" << "6" << "";
    QTest::newRow("stop bits 1.5") << "Combo4" << "1.5" << "";
    QTest::newRow("parity Mark") << "Combo5" << "Mark" << "";
}

void SetupTest::applyChosenValue()
{
    QFETCH(QString, list);
    QFETCH(QString, text);
    QFETCH(QString, stored);

    TComPort p; // COM1, 9600, 8N1
    QVERIFY(Edit(p, [&](TComSetupFrm& f) {
        Pick(f.findChild<TComComboBox*>(list), text);
        f.sbApply->click();
    }));

    const QStringList now{p.Port(), BaudRateToText(p.BaudRate()), DataBitsToText(p.DataBits()),
                          StopBitsToText(p.StopBits()), ParityToText(p.Parity().Bits())};
    QStringList expected{"COM1", "9600", "8", "1", "None"};
    expected[list.right(1).toInt() - 1] = stored.isEmpty() ? text : stored;
    QCOMPARE(now, expected);
    if (text == "Custom")
        QCOMPARE(p.CustomBaudRate(), 9600); // the rate the device then runs at
}

void SetupTest::flowControlPreset_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<QString>("picked");
    QTest::addColumn<int>("rts");
    QTest::addColumn<bool>("ctsFlow");
    QTest::addColumn<bool>("xonXoff");

    QTest::newRow("Hardware: RTS handshake, CTS flow") << int(fcNone) << "Hardware" << int(rtsHandshake) << true
                                                       << false;
    QTest::newRow("Software: Xon/Xoff") << int(fcHardware) << "Software" << int(rtsDisable) << false << true;
    QTest::newRow("Custom keeps hardware details") << int(fcHardware) << "Custom" << int(rtsHandshake) << true
                                                   << false;
    QTest::newRow("Custom keeps software details") << int(fcSoftware) << "Custom" << int(rtsDisable) << false
                                                   << true;
}

void SetupTest::flowControlPreset()
{
    QFETCH(int, before);
    QFETCH(QString, picked);
    QFETCH(int, rts);
    QFETCH(bool, ctsFlow);
    QFETCH(bool, xonXoff);

    TComPort p;
    p.FlowControl().SetFlowControl(TFlowControl(before));
    QVERIFY(Edit(p, [&](TComSetupFrm& f) {
        Pick(f.Combo6, picked);
        f.sbApply->click();
    }));
    QCOMPARE(int(p.FlowControl().ControlRTS()), rts);
    QCOMPARE(p.FlowControl().OutCTSFlow(), ctsFlow);
    QCOMPARE(p.FlowControl().XonXoffIn(), xonXoff);
    QCOMPARE(p.FlowControl().XonXoffOut(), xonXoff);
}

void SetupTest::unlistedPortNameKept()
{
    TComPort p;
    p.SetPort("/dev/pts/7");
    QVERIFY(Edit(p, [](TComSetupFrm& f) { f.sbApply->click(); }));
    QCOMPARE(p.Port(), QString("/dev/pts/7"));

    // A name the user picks still replaces it.
    QVERIFY(Edit(p, [](TComSetupFrm& f) {
        Pick(f.Combo1, "COM2");
        f.sbApply->click();
    }));
    QCOMPARE(p.Port(), QString("COM2"));
}

void SetupTest::cancelChangesNothingAndClearsFlag()
{
    RecordingPort p;
    SetupApplied = true;
    QVERIFY(Edit(p, [](TComSetupFrm& f) {
        Pick(f.Combo1, "COM2");
        Pick(f.Combo2, "110");
        Pick(f.Combo6, "Software");
        f.sbCancel->click();
    }));
    QVERIFY(!SetupApplied);
    QCOMPARE(p.Port(), QString("COM1"));
    QCOMPARE(p.BaudRate(), br9600);
    QCOMPARE(p.FlowControl().FlowControl(), fcNone);
    QVERIFY(p.Events.isEmpty());
}

void SetupTest::closeBoxLeavesFlag_data()
{
    QTest::addColumn<bool>("before");
    QTest::newRow("after an apply") << true;
    QTest::newRow("after a cancel") << false;
}

void SetupTest::closeBoxLeavesFlag()
{
    QFETCH(bool, before);
    TComPort p;
    SetupApplied = before;
    QVERIFY(Edit(p, [](TComSetupFrm& f) {
        Pick(f.Combo2, "57600");
        QVERIFY(f.close());
    }));
    QCOMPARE(SetupApplied, before);
    QCOMPARE(p.BaudRate(), br9600);
}

void SetupTest::enterAppliesEscapeCancels_data()
{
    QTest::addColumn<int>("tabs");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("applied");
    QTest::newRow("Enter is Zastosuj") << 0 << int(Qt::Key_Return) << true;
    QTest::newRow("Enter on Anuluj") << 2 << int(Qt::Key_Return) << false;
    QTest::newRow("Escape is Anuluj") << 0 << int(Qt::Key_Escape) << false;
}

// The lists, then both buttons, are reached by Tab; the keys set the flag
// their buttons set.
void SetupTest::enterAppliesEscapeCancels()
{
    QFETCH(int, tabs);
    QFETCH(int, key);
    QFETCH(bool, applied);
    TComPort p;
    SetupApplied = !applied;
    QStringList chain;
    QVERIFY(Edit(p, [&](TComSetupFrm& f) {
        Pick(f.Combo2, "57600");
        QVERIFY(QTest::qWaitForWindowActive(&f));
        f.Combo6->setFocus();
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            chain << (QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString());
        }
        f.Combo6->setFocus();
        for (int i = 0; i < tabs; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
    }));
    QCOMPARE(chain, (QStringList{"sbApply", "sbCancel", "Combo1"}));
    QCOMPARE(SetupApplied, applied);
    QCOMPARE(p.BaudRate(), applied ? br57600 : br9600);
}

void SetupTest::noDeviceTreeRaises23WithoutDialog()
{
    SerialDeviceFolder = tree_.Tty() + "/absent";
    SetupApplied = true;
    TComPort p;
    bool shown = true;
    int code = 0;
    try {
        shown = Edit(p, [](TComSetupFrm& f) { f.reject(); });
    } catch (const EComPort& e) {
        shown = false;
        code = e.PortErrorCode;
    }
    QCOMPARE(code, 23);
    QVERIFY(!shown);
    QVERIFY(SetupApplied);
    QVERIFY(QApplication::topLevelWidgets().isEmpty() ||
            !std::any_of(QApplication::topLevelWidgets().cbegin(), QApplication::topLevelWidgets().cend(),
                         [](QWidget* w) { return qobject_cast<TComSetupFrm*>(w); }));
}

void SetupTest::showSettingsDialogOpensIt()
{
    InstallSerialSetupDialog();
    TComPort p;
    bool shown = false;
    QTimer::singleShot(0, this, [&] {
        auto* f = qobject_cast<TComSetupFrm*>(QApplication::activeModalWidget());
        shown = f != nullptr;
        if (!f)
            return;
        Pick(f->Combo2, "4800");
        f->sbApply->click();
    });
    p.ShowSettingsDialog();
    QVERIFY(shown);
    QCOMPARE(p.BaudRate(), br4800);
    // The dialog is freed after each use.
    QTRY_VERIFY(QApplication::topLevelWidgets().isEmpty());
}

void SetupTest::autoApplyWritesAtOnce()
{
    TComPort p;
    TComComboBox box;
    box.SetComProperty(cpDataBits);
    box.SetComPort(&p);
    QCOMPARE(box.Text(), QString("8"));
    Pick(&box, "7");
    QCOMPARE(p.DataBits(), dbEight); // off by default
    box.SetAutoApply(true);
    Pick(&box, "6");
    QCOMPARE(p.DataBits(), dbSix);
}

void SetupTest::destroyedPortIsUnbound()
{
    auto p = std::make_unique<TComPort>();
    p->SetBaudRate(br57600);
    TComComboBox box;
    box.SetComProperty(cpBaudRate);
    box.SetComPort(p.get());
    QCOMPARE(box.Text(), QString("57600"));
    p.reset();
    QCOMPARE(box.ComPort(), nullptr);
    QCOMPARE(box.Text(), QString("Custom"));
    box.ApplySettings(); // nothing bound: nothing to touch
}

QTEST_MAIN(SetupTest)
#include "setup_test.moc"
