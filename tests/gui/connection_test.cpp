#include "CPortCtl.h"
#include "CPortSetup.h"
#include "ConnectionUnit.h"
#include "Global.h"
#include "RadioGroup.h"
#include "TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <memory>

class ConnectionTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void rateWithoutItemShows4800_data();
    void rateWithoutItemShows4800();
    void itemWithoutRateGives9600_data();
    void itemWithoutRateGives9600();
    void boxFollowsConnectionKind_data();
    void boxFollowsConnectionKind();
    void applyStoresBothLinks_data();
    void applyStoresBothLinks();
    void ethPortParsed_data();
    void ethPortParsed();
    void comFieldToPortName_data();
    void comFieldToPortName();
    void portNameToComField_data();
    void portNameToComField();
    void cancelKeepsAllButSetupDialog();
    void pressedConnectPerShowing();
    void cancelConnectsSerialLink();
    void advancedOptionsRefill_data();
    void advancedOptionsRefill();
    void typingLimitKeepsLongTextWhole();
    void upDownStepsComNumber_data();
    void upDownStepsComNumber();
    void captionsFitLargerFont();

private:
    // Presses "Advanced options"; `act` gets the setup dialog, if one is shown.
    bool Advanced(const std::function<void(TComSetupFrm&)>& act);
    static void PickSetup(TComComboBox* box, const QString& text);

    QTemporaryDir tree_;
    std::unique_ptr<TComPort> port_;
    std::unique_ptr<TConnectionForm> form_;
    int presses_ = 0;
};

void ConnectionTest::initTestCase()
{
    QVERIFY(tree_.isValid());
    for (const char* name : {"ttyS0", "ttyS1", "ttyS2"})
        QVERIFY(QDir(tree_.path()).mkpath(QStringLiteral("%1/device/driver").arg(QLatin1String(name))));
}

void ConnectionTest::init()
{
    ResetGlobals();
    EthPort = 1001;
    SerialDeviceFolder = tree_.path();
    SetupApplied = false;
    presses_ = 0;
    port_ = std::make_unique<TComPort>();
    form_ = std::make_unique<TConnectionForm>(*port_, [this] { ++presses_; });
}

void ConnectionTest::cleanup()
{
    form_.reset();
    port_.reset();
}

bool ConnectionTest::Advanced(const std::function<void(TComSetupFrm&)>& act)
{
    bool shown = false;
    QTimer probe;
    probe.setInterval(5);
    connect(&probe, &QTimer::timeout, this, [&] {
        auto* setup = qobject_cast<TComSetupFrm*>(QApplication::activeModalWidget());
        if (!setup)
            return;
        shown = true;
        probe.stop();
        act(*setup);
        if (setup->isVisible()) {
            setup->reject();
            QTest::qFail("setup dialog left open", __FILE__, __LINE__);
        }
    });
    probe.start();
    form_->sbSerialAdvanced->click();
    return shown;
}

void ConnectionTest::PickSetup(TComComboBox* box, const QString& text)
{
    const int target = box->findText(text);
    QVERIFY2(target >= 0, qPrintable(text));
    QTest::keyClick(box, Qt::Key_Home);
    for (int i = 0; i < target; ++i)
        QTest::keyClick(box, Qt::Key_Down);
}

void ConnectionTest::rateWithoutItemShows4800_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("applied");

    QTest::newRow("14400 has no item") << int(br14400) << "4800" << int(br4800);
    QTest::newRow("56000 has no item") << int(br56000) << "4800" << int(br4800);
    QTest::newRow("128000 has no item") << int(br128000) << "4800" << int(br4800);
    QTest::newRow("256000 has no item") << int(br256000) << "4800" << int(br4800);
    QTest::newRow("Custom has no item") << int(brCustom) << "4800" << int(br4800);
    QTest::newRow("110 shown as is") << int(br110) << "110" << int(br110);
    QTest::newRow("115200 shown as is") << int(br115200) << "115200" << int(br115200);
}

void ConnectionTest::rateWithoutItemShows4800()
{
    QFETCH(int, rate);
    QFETCH(QString, shown);
    QFETCH(int, applied);
    port_->SetBaudRate(TBaudRate(rate));
    form_->show();
    QCOMPARE(form_->cbBaudRate->currentText(), shown);
    form_->sbApply->click();
    QCOMPARE(int(port_->BaudRate()), applied);
}

void ConnectionTest::itemWithoutRateGives9600_data()
{
    QTest::addColumn<QString>("item");
    for (const char* item : {"50", "134.5", "1800", "7200", "921600"})
        QTest::newRow(item) << QString(item);
}

void ConnectionTest::itemWithoutRateGives9600()
{
    QFETCH(QString, item);
    form_->show();
    form_->cbBaudRate->setCurrentText(item);
    QCOMPARE(form_->cbBaudRate->currentText(), item);
    form_->sbApply->click();
    QCOMPARE(port_->BaudRate(), br9600);
    form_->show();
    QCOMPARE(form_->cbBaudRate->currentText(), QString("9600"));
}

void ConnectionTest::boxFollowsConnectionKind_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("serial port") << 0;
    QTest::newRow("Ethernet") << 1;
}

void ConnectionTest::boxFollowsConnectionKind()
{
    QFETCH(int, kind);
    ConnectionKind = std::int8_t(kind);
    form_->show();
    QCOMPARE(form_->rgConnection->ItemIndex(), kind);
    QCOMPARE(form_->gbSerialPort->isVisible(), kind == 0);
    QCOMPARE(form_->gbEthernet->isVisible(), kind == 1);

    // The user switches link: the other box replaces it at once.
    form_->rgConnection->Button(1 - kind)->click();
    QCOMPARE(form_->gbSerialPort->isVisible(), kind == 1);
    QCOMPARE(form_->gbEthernet->isVisible(), kind == 0);

    // Left by the close box: the next showing follows the setting again.
    QVERIFY(form_->close());
    form_->show();
    QCOMPARE(form_->gbSerialPort->isVisible(), kind == 0);
    QCOMPARE(form_->gbEthernet->isVisible(), kind == 1);
}

void ConnectionTest::applyStoresBothLinks_data()
{
    QTest::addColumn<int>("kind");
    QTest::newRow("serial selected") << 0;
    QTest::newRow("Ethernet selected") << 1;
}

void ConnectionTest::applyStoresBothLinks()
{
    QFETCH(int, kind);
    form_->show();
    form_->rgConnection->Button(kind)->click();
    form_->EditIP->setText(" 10.0.0.7 ");
    form_->EditPort->setText("4001");
    form_->rgEthProtocol->Button(1)->click();
    form_->EditCOM->setText("3");
    form_->cbBaudRate->setCurrentText("19200");
    form_->sbApply->click();

    QCOMPARE(int(ConnectionKind), kind);
    QCOMPARE(int(EthProtocol), 1);
    QCOMPARE(EthHost, QString(" 10.0.0.7 ")); // as typed
    QCOMPARE(EthPort, 4001);
    QCOMPARE(port_->Port(), QString("COM3"));
    QCOMPARE(port_->BaudRate(), br19200);
    QCOMPARE(presses_, 1);
    QVERIFY(form_->isHidden());
}

void ConnectionTest::ethPortParsed_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("stored");
    QTest::newRow("0 stored for the run") << "0" << 0;
    QTest::newRow("empty gives 1001") << "" << 1001;
    QTest::newRow("letters give 1001") << "port" << 1001;
    QTest::newRow("above 65535 kept") << "99999" << 99999;
    QTest::newRow("hexadecimal") << "$1F" << 31;
    QTest::newRow("negative kept") << "-5" << -5;
}

void ConnectionTest::ethPortParsed()
{
    QFETCH(QString, typed);
    QFETCH(int, stored);
    EthPort = 4001;
    form_->show();
    form_->EditPort->setText(typed);
    form_->sbApply->click();
    QCOMPARE(EthPort, stored);
}

void ConnectionTest::comFieldToPortName_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("port");
    QTest::newRow("number") << "3" << "COM3";
    QTest::newRow("two digits") << "12" << "COM12";
    QTest::newRow("USB adapter name") << "ttyUSB0" << "ttyUSB0";
    QTest::newRow("device path") << "/dev/pts/5" << "/dev/pts/5";
    QTest::newRow("full COM name") << "COM4" << "COM4";
    QTest::newRow("empty cannot open") << "" << "";
}

void ConnectionTest::comFieldToPortName()
{
    QFETCH(QString, typed);
    QFETCH(QString, port);
    form_->show();
    form_->EditCOM->setText(typed);
    form_->sbApply->click();
    QCOMPARE(port_->Port(), port);
}

void ConnectionTest::portNameToComField_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("shown");
    QTest::newRow("COM1") << "COM1" << "1";
    QTest::newRow("COM255") << "COM255" << "255";
    QTest::newRow("device name whole") << "ttyUSB0" << "ttyUSB0";
    QTest::newRow("lower case kept") << "com3" << "com3";
    QTest::newRow("first COM only") << "xCOMyCOM" << "xyCOM";
    QTest::newRow("stable path whole") << "/dev/serial/by-id/usb-STM_Virtual_COM_Port_6D8A-if00"
                                       << "/dev/serial/by-id/usb-STM_Virtual_COM_Port_6D8A-if00";
}

void ConnectionTest::portNameToComField()
{
    QFETCH(QString, port);
    QFETCH(QString, shown);
    port_->SetPort(port);
    form_->show();
    QCOMPARE(form_->EditCOM->text(), shown);
    // Shown and applied untouched, a device name survives the round trip.
    if (!port.contains("COM") || port.startsWith('/')) {
        form_->sbApply->click();
        QCOMPARE(port_->Port(), port);
    }
}

void ConnectionTest::cancelKeepsAllButSetupDialog()
{
    ConnectionKind = 1;
    EthProtocol = 1;
    EthHost = "192.168.1.20";
    EthPort = 3001;
    form_->show();
    form_->rgConnection->Button(0)->click();
    form_->rgEthProtocol->Button(0)->click();
    form_->EditIP->setText("10.1.1.1");
    form_->EditPort->setText("77");
    form_->EditCOM->setText("9");
    QVERIFY(Advanced([](TComSetupFrm& s) {
        PickSetup(s.Combo2, "38400");
        s.sbApply->click();
    }));
    form_->sbCancel->click();

    QCOMPARE(int(ConnectionKind), 1);
    QCOMPARE(int(EthProtocol), 1);
    QCOMPARE(EthHost, QString("192.168.1.20"));
    QCOMPARE(EthPort, 3001);
    QCOMPARE(port_->Port(), QString("COM1"));
    QCOMPARE(port_->BaudRate(), br38400); // the setup dialog's apply stays in force
    QCOMPARE(presses_, 1);
    QVERIFY(form_->isHidden());
}

void ConnectionTest::pressedConnectPerShowing()
{
    form_->show();
    QVERIFY(!form_->PressedConnect());
    form_->sbCancel->click();
    QVERIFY(form_->PressedConnect());

    form_->show(); // a new showing forgets the last one's press
    QVERIFY(!form_->PressedConnect());
    QVERIFY(form_->close());
    QVERIFY(!form_->PressedConnect());
    QCOMPARE(presses_, 1);

    // Hidden, not destroyed: the same dialog serves the next use.
    QPointer<TConnectionForm> kept(form_.get());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(kept);
    form_->show();
    form_->sbApply->click();
    QVERIFY(form_->PressedConnect());
    QCOMPARE(presses_, 2);
}

void ConnectionTest::cancelConnectsSerialLink()
{
    PtyPair pty;
    QVERIFY(pty.IsOpen());
    // The press does what the main window's Connect does with the serial port.
    form_ = std::make_unique<TConnectionForm>(*port_, [this] {
        if (port_->Connected())
            port_->ClosePort();
        else
            port_->OpenPort();
    });
    port_->SetPort(pty.SlavePath());
    QVERIFY(!port_->Connected());
    form_->show();
    QCOMPARE(form_->EditCOM->text(), pty.SlavePath());
    form_->sbCancel->click();
    QVERIFY(port_->Connected());
    QCOMPARE(port_->Port(), pty.SlavePath());
    port_->ClosePort();

    // Apply with the device path as shown opens that same device.
    form_->show();
    form_->sbApply->click();
    QVERIFY(port_->Connected());
    QCOMPARE(port_->Port(), pty.SlavePath());
    port_->ClosePort();
}

void ConnectionTest::advancedOptionsRefill_data()
{
    QTest::addColumn<bool>("appliedBefore");
    QTest::addColumn<QString>("leave"); // how the setup dialog is left
    QTest::addColumn<QString>("com");
    QTest::addColumn<QString>("baud");

    QTest::newRow("Zastosuj shows the chosen port") << false << "apply" << "3" << "57600";
    QTest::newRow("Anuluj leaves typed fields") << true << "cancel" << "7" << "300";
    QTest::newRow("close box, no earlier apply") << false << "close" << "7" << "300";
    QTest::newRow("close box after earlier apply refills") << true << "close" << "1" << "9600";
    QTest::newRow("no device tree after earlier apply refills") << true << "missing" << "1" << "9600";
    QTest::newRow("no device tree, no earlier apply") << false << "missing" << "7" << "300";
}

void ConnectionTest::advancedOptionsRefill()
{
    QFETCH(bool, appliedBefore);
    QFETCH(QString, leave);
    QFETCH(QString, com);
    QFETCH(QString, baud);

    SetupApplied = appliedBefore;
    form_->show();
    form_->EditCOM->setText("7");
    form_->cbBaudRate->setCurrentText("300");
    if (leave == "missing")
        SerialDeviceFolder = tree_.path() + "/absent";
    const bool shown = Advanced([&](TComSetupFrm& s) {
        if (leave == "apply") {
            PickSetup(s.Combo1, "COM3");
            PickSetup(s.Combo2, "57600");
            s.sbApply->click();
        } else if (leave == "cancel") {
            s.sbCancel->click();
        } else {
            s.close();
        }
    });
    QCOMPARE(shown, leave != "missing");
    QCOMPARE(form_->EditCOM->text(), com);
    QCOMPARE(form_->cbBaudRate->currentText(), baud);
    QVERIFY(form_->isVisible());
    QCOMPARE(presses_, 0);
}

void ConnectionTest::typingLimitKeepsLongTextWhole()
{
    EthHost = "scale-01.shop.example";
    EthPort = -100000;
    form_->show();
    QCOMPARE(form_->EditIP->text(), EthHost);
    QCOMPARE(form_->EditPort->text(), QString("-100000"));
    form_->sbApply->click();
    QCOMPARE(EthHost, QString("scale-01.shop.example"));
    QCOMPARE(EthPort, -100000);

    form_->show();
    form_->EditIP->clear();
    QTest::keyClicks(form_->EditIP, "192.168.100.200.1");
    QCOMPARE(form_->EditIP->text(), QString("192.168.100.200"));
    form_->EditPort->clear();
    QTest::keyClicks(form_->EditPort, "1234567");
    QCOMPARE(form_->EditPort->text(), QString("12345"));
    // Over the limit from the settings, it can still be shortened.
    form_->EditIP->setText("scale-01.shop.example");
    form_->EditIP->end(false);
    QTest::keyClick(form_->EditIP, Qt::Key_Backspace);
    QCOMPARE(form_->EditIP->text(), QString("scale-01.shop.exampl"));
}

void ConnectionTest::upDownStepsComNumber_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("after");
    QTest::newRow("up from 7") << "7" << int(Qt::Key_Up) << "8";
    QTest::newRow("down from 7") << "7" << int(Qt::Key_Down) << "6";
    QTest::newRow("stops at 255") << "255" << int(Qt::Key_Up) << "255";
    QTest::newRow("stops at 1") << "1" << int(Qt::Key_Down) << "1";
    QTest::newRow("above range comes back into it") << "300" << int(Qt::Key_Down) << "254";
}

void ConnectionTest::upDownStepsComNumber()
{
    QFETCH(QString, typed);
    QFETCH(int, key);
    QFETCH(QString, after);
    form_->show();
    form_->EditCOM->setText(typed);
    QTest::keyClick(form_->EditCOM, Qt::Key(key));
    QCOMPARE(form_->EditCOM->text(), after);
    // The arrows step the same way.
    form_->EditCOM->setText(typed);
    form_->UpDownCOM->stepBy(key == Qt::Key_Up ? 1 : -1);
    QCOMPARE(form_->EditCOM->text(), after);
}

// A desktop font larger than the layout's 8 pt must not cut a caption or push
// a control out of its box.
void ConnectionTest::captionsFitLargerFont()
{
    const QFont original = QApplication::font();
    QFont large = original;
    large.setPointSize(12);
    QApplication::setFont(large);
    auto form = std::make_unique<TConnectionForm>(*port_, [] {});
    auto setup = std::make_unique<TComSetupFrm>();
    QApplication::setFont(original);

    for (QWidget* window : {static_cast<QWidget*>(form.get()), static_cast<QWidget*>(setup.get())}) {
        for (QWidget* w : window->findChildren<QWidget*>()) {
            if (!qobject_cast<QLabel*>(w) && !qobject_cast<QToolButton*>(w) && !qobject_cast<QComboBox*>(w))
                continue;
            const QString name = w->objectName();
            if (!qobject_cast<QComboBox*>(w))
                QVERIFY2(w->width() >= w->sizeHint().width(), qPrintable(name));
            QVERIFY2(w->parentWidget()->rect().contains(w->geometry()), qPrintable(name));
            if (!qobject_cast<QLabel*>(w))
                continue;
            for (QWidget* other : w->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                QVERIFY2(other == w || other->isHidden() || !other->geometry().intersects(w->geometry()),
                         qPrintable(name + QLatin1String(" under ") + other->objectName()));
        }
    }
}

QTEST_MAIN(ConnectionTest)
#include "connection_test.moc"
