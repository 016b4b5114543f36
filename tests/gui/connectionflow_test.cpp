// The "Connection" menu end to end: the user picks a link in the dialog,
// Apply connects it once, an upload runs over it, and the choice survives a
// restart through config.xml and ComPortTest.ini.
#include "ConnectionUnit.h"
#include "Global.h"
#include "RadioGroup.h"
#include "TestSupport.h"
#include "WindowTestEnv.h"
#include "okno.h"

#include <QApplication>
#include <QComboBox>
#include <QDomDocument>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

class ConnectionFlowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<WindowTestEnv> env;

    struct Window {
        std::unique_ptr<TForm1> form = std::make_unique<TForm1>();
        std::unique_ptr<TConnectionForm> dialog = std::make_unique<TConnectionForm>(
            form->ComPort1, [f = form.get()] { f->btnOpenPortClick(); });
        Window() { form->ConnectionForm = dialog.get(); }
        ~Window() { form->FormClose(); }
    };

    // Opens the dialog from the menu and fills it while it is shown.
    static void ChooseInDialog(Window& w, int kind, int protocol, const QString& host, const QString& port,
                               const QString& com = {})
    {
        QTimer::singleShot(0, w.dialog.get(), [&w, kind, protocol, host, port, com] {
            TConnectionForm* d = w.dialog.get();
            d->rgConnection->SetItemIndex(kind);
            d->rgEthProtocol->SetItemIndex(protocol);
            d->EditIP->setText(host);
            d->EditPort->setText(port);
            if (!com.isEmpty())
                d->EditCOM->setText(com);
            d->sbApply->click();
        });
        w.form->Connection1->trigger();
    }

    QString ConfigKey(const QString& key)
    {
        QFile f(env->folder.File("config.xml"));
        QDomDocument doc;
        if (!f.open(QIODevice::ReadOnly) || !doc.setContent(&f))
            return {};
        return doc.documentElement().firstChildElement("Interface").firstChildElement(key).text();
    }

    void UploadTwoRecords(Window& w)
    {
        const QString path = env->folder.File("db.csv");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("1;Salt\n2;Pepper\n");
        f.close();
        w.form->LoadDatabase(path);
        w.form->bbWyslijBaze->click();
        QVERIFY(QTest::qWaitFor([&] { return env->boxes.Count() >= 1; }, 10000));
        QCOMPARE(env->boxes.Boxes().last().text, QStringLiteral("Database was sent to scale."));
    }

private slots:
    void init() { env = std::make_unique<WindowTestEnv>(); }
    void cleanup() { env.reset(); }

    void ethernetChosenConnectsOnceAndSurvivesRestart_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("tcp") << "tcp";
        QTest::newRow("udp") << "udp";
    }
    void ethernetChosenConnectsOnceAndSurvivesRestart()
    {
        QFETCH(QString, mode);
        ScaleSim sim(mode);
        QVERIFY(sim.Started());
        const int protocol = mode == QLatin1String("udp") ? 1 : 0;
        {
            Window w;
            ChooseInDialog(w, 1, protocol, "127.0.0.1", QString::number(sim.Port()));
            QTRY_COMPARE(w.form->LinkState, 2);
            QTest::qWait(300);  // a second press would show up as a posted 0 by now
            QCOMPARE(w.form->LinkState, 2);
            QCOMPARE(w.form->LabelConnection->text(), QStringLiteral("127.0.0.1 connected"));
            UploadTwoRecords(w);
        }
        QCOMPARE(ConfigKey("Kind"), QStringLiteral("Eth"));
        QCOMPARE(ConfigKey("Protocol"), mode.toUpper());
        QCOMPARE(ConfigKey("Host"), QStringLiteral("127.0.0.1"));
        QCOMPARE(ConfigKey("Port"), QString::number(sim.Port()));
        ResetGlobals();
        Window again;
        QCOMPARE(ConnectionKind, 1);
        QCOMPARE(EthProtocol, protocol);
        QCOMPARE(again.form->LabelConnection->text(), QStringLiteral("127.0.0.1 disconnected"));
    }

    void serialDeviceTypedAsName()
    {
        ScaleSim sim("serial");
        QVERIFY(sim.Started());
        {
            Window w;
            ChooseInDialog(w, 0, 0, "192.168.1.100", "1001", sim.Device());
            QVERIFY(w.form->ComPort1.Connected());
            QCOMPARE(w.form->ComPort1.Port(), sim.Device());
            QCOMPARE(env->boxes.Count(), 0);
            UploadTwoRecords(w);
        }
        QCOMPARE(ConfigKey("Kind"), QStringLiteral("COM"));
        QFile ini(env->folder.File("ComPortTest.ini"));
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QVERIFY(ini.readAll().contains("Port=" + sim.Device().toLocal8Bit()));
        Window again;
        QCOMPARE(again.form->ComPort1.Port(), sim.Device());
    }

    void serialFailureShowsTheMessageTwice()
    {
        Window w;
        ChooseInDialog(w, 0, 0, "", "", "/dev/no-such-scale");
        QCOMPARE(env->boxes.Count(), 2);
        QCOMPARE(env->boxes.Boxes()[1].caption, QStringLiteral("Dirorod9"));
    }
};

QTEST_MAIN(ConnectionFlowTest)
#include "connectionflow_test.moc"
