// The sleep lock, the notification at an upload's end and the launcher's
// progress, over two private dbus-daemons (a "system" and a "session" bus)
// on which the test plays logind and the notification server.
#include "Global.h"
#include "ScalesModel.h"
#include "ScalesPanel.h"
#include "ScaleList.h"
#include "TestSupport.h"
#include "WindowTestEnv.h"
#include "okno.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A dbus-daemon of the test's own, gone with it.
class BusDaemon {
public:
    BusDaemon()
    {
        const QString config = dir_.filePath(QStringLiteral("bus.conf"));
        WriteAll(config, QStringLiteral(
            "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\""
            " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">"
            "<busconfig><type>session</type><listen>unix:path=%1</listen><auth>EXTERNAL</auth>"
            "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
            "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>")
                                .arg(dir_.filePath(QStringLiteral("socket"))).toUtf8());
        proc_.start(QStringLiteral("dbus-daemon"), {"--nofork", "--print-address", "--config-file=" + config});
        if (proc_.waitForStarted() && proc_.waitForReadyRead(10000))
            address_ = QString::fromUtf8(proc_.readLine().trimmed());
    }
    ~BusDaemon()
    {
        proc_.terminate();
        proc_.waitForFinished();
    }
    QString Address() const { return address_; }

private:
    QTemporaryDir dir_;
    QProcess proc_;
    QString address_;
};

// logind's Inhibit as the program sees it: each lock is one end of a socket
// pair; the test keeps the other and counts the hang-ups.
class Login1 : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")
public:
    QStringList Calls;
    int Released = 0;

public slots:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why, const QString& mode)
    {
        Calls << QStringList{what, who, why, mode}.join('|');
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
            return {};
        auto* hangUp = new QSocketNotifier(pair[0], QSocketNotifier::Read, this);
        connect(hangUp, &QSocketNotifier::activated, this, [this, hangUp, fd = pair[0]] {
            char byte;
            if (::read(fd, &byte, 1) > 0)
                return;
            hangUp->setEnabled(false);
            hangUp->deleteLater();
            ::close(fd);
            ++Released;
        });
        QDBusUnixFileDescriptor lock(pair[1]);  // a copy; the program's is the last once this goes
        ::close(pair[1]);
        return lock;
    }
};

// The session's power management, where logind is missing.
class PowerManagement : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.PowerManagement.Inhibit")
public:
    QStringList Calls;

public slots:
    uint Inhibit(const QString& who, const QString& why)
    {
        Calls << who + '|' + why;
        return 7;
    }
    void UnInhibit(uint) {}
};

// The notification server, and a listener to the launcher's updates.
class Notifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QList<QStringList> Shown;      // summary, body
    QList<bool> LauncherVisible;   // progress-visible of each update

public slots:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body, const QStringList&,
                const QVariantMap&, int)
    {
        Shown << QStringList{summary, body};
        return static_cast<uint>(Shown.size());
    }
    void Update(const QString& app, const QVariantMap& properties)
    {
        if (app == QLatin1String("application://io.github.scaledb.ScaleDb.desktop"))
            LauncherVisible << properties.value(QStringLiteral("progress-visible")).toBool();
    }
};

BusDaemon* SystemBus;
BusDaemon* SessionBus;

} // namespace

class DesktopTest : public QObject {
    Q_OBJECT

    std::unique_ptr<WindowTestEnv> env;
    std::unique_ptr<Login1> login;
    std::unique_ptr<Notifications> notes;
    std::unique_ptr<PowerManagement> power;
    QString database;

    std::unique_ptr<TForm1> ConnectedWindow(quint16 port)
    {
        auto w = std::make_unique<TForm1>();
        w->LoadDatabase(database);
        ConnectionKind = 1;
        EthProtocol = 0;
        EthHost = QStringLiteral("127.0.0.1");
        EthPort = port;
        w->btnOpenPort->click();
        if (!QTest::qWaitFor([&] { return w->LinkState == 2; }, 5000))
            return nullptr;
        return w;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(!SystemBus->Address().isEmpty() && !SessionBus->Address().isEmpty(), "dbus-daemon did not start");
        // The services on connections of their own, apart from the program's.
        QDBusConnection system = QDBusConnection::connectToBus(SystemBus->Address(), QStringLiteral("test-system"));
        QDBusConnection session = QDBusConnection::connectToBus(SessionBus->Address(), QStringLiteral("test-session"));
        login = std::make_unique<Login1>();
        notes = std::make_unique<Notifications>();
        QVERIFY(system.registerObject(QStringLiteral("/org/freedesktop/login1"), login.get(), QDBusConnection::ExportAllSlots));
        QVERIFY(system.registerService(QStringLiteral("org.freedesktop.login1")));
        QVERIFY(session.registerObject(QStringLiteral("/org/freedesktop/Notifications"), notes.get(), QDBusConnection::ExportAllSlots));
        QVERIFY(session.registerService(QStringLiteral("org.freedesktop.Notifications")));
        power = std::make_unique<PowerManagement>();
        QVERIFY(session.registerObject(QStringLiteral("/org/freedesktop/PowerManagement/Inhibit"), power.get(),
                                       QDBusConnection::ExportAllSlots));
        QVERIFY(session.registerService(QStringLiteral("org.freedesktop.PowerManagement")));
        QVERIFY(session.connect(QString(), QString(), QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                QStringLiteral("Update"), notes.get(), SLOT(Update(QString, QVariantMap))));
    }
    void init()
    {
        env = std::make_unique<WindowTestEnv>();
        database = env->folder.File("db.csv");
        WriteAll(database, "1;Salt\n2;Sugar\n3;Flour\n");
        login->Calls.clear();
        login->Released = 0;
        notes->Shown.clear();
        notes->LauncherVisible.clear();
        power->Calls.clear();
    }
    void cleanup() { env.reset(); }

    // The window's upload and a panel's run at once: one lock, held until the last ends.
    void concurrentUploadsShareOneLock()
    {
        ScaleSim own("tcp", {"--delay", "20"});
        ScaleSim silent("tcp", {"--silent-after", "1"});
        QVERIFY(own.Started() && silent.Started());
        auto w = ConnectedWindow(own.Port());
        QVERIFY(w);
        TScaleListEntry e;
        QVERIFY(ParseLink(QStringLiteral("tcp://127.0.0.1:%1").arg(silent.Port()), e.Target));
        TScaleList list;
        list.Entries.push_back(e);
        w->ScalesPanel->Model->SetList(std::move(list));
        w->ScalesPanel->btnSendAll->click();
        w->bbWyslijBaze->click();
        QTRY_COMPARE(env->boxes.Count(), 1);
        QCOMPARE(env->boxes.Boxes()[0].text, QStringLiteral("Database was sent to scale."));
        QTRY_VERIFY(w->SleepLock.Held());
        QCOMPARE(login->Calls, QStringList{"sleep|scaledb|Sending a database to a scale|block"});
        QCOMPARE(login->Released, 0);  // the panel's scale still runs
        w->ScalesPanel->btnSendAll->click();  // Stop all
        QTRY_COMPARE(login->Released, 1);
        QVERIFY(!w->SleepLock.Held());
        QCOMPARE(login->Calls.size(), 1);
        // Neither window was active: each end notified.
        QTRY_COMPARE(notes->Shown.size(), 2);
        QCOMPARE(notes->Shown[0].value(0), QStringLiteral("Database was sent to scale."));
        QCOMPARE(notes->Shown[1].value(0), QStringLiteral("0 of 1 scale accepted the database; 1 interrupted"));
        w->CommLog.Flush();
        const QStringList logged = [&] {
            QStringList lines;
            for (int i = 0; i < w->CommLog.rowCount(); ++i)
                if (w->CommLog.LinkName(w->CommLog.Row(i)->Link) == QLatin1String("desktop"))
                    lines << QString::fromUtf8(w->CommLog.Row(i)->Bytes);
            return lines;
        }();
        QCOMPARE(logged, (QStringList{"sleep held off while uploading (logind)", "sleep allowed again"}));
        w->FormClose();
    }

    void endNotifiesOnlyInTheBackground_data()
    {
        QTest::addColumn<bool>("active");
        QTest::newRow("window active: the message box alone") << true;
        QTest::newRow("another window active: a notification too") << false;
    }
    void endNotifiesOnlyInTheBackground()
    {
        QFETCH(bool, active);
        ScaleSim sim("tcp", {"--delay", "20"});
        QVERIFY(sim.Started());
        auto w = ConnectedWindow(sim.Port());
        QVERIFY(w);
        QWidget other;
        w->show();
        QVERIFY(QTest::qWaitForWindowActive(w.get()));
        if (!active) {
            other.show();
            QVERIFY(QTest::qWaitForWindowActive(&other));
        }
        QCOMPARE(w->isActiveWindow(), active);
        w->bbWyslijBaze->click();
        QTRY_COMPARE(env->boxes.Count(), 1);
        // The launcher is cleared after the notification would have gone,
        // on the same connection: once it is, any notification is in.
        QTRY_VERIFY(!notes->LauncherVisible.isEmpty() && !notes->LauncherVisible.last());
        QVERIFY(notes->LauncherVisible.contains(true));
        QVERIFY2(notes->Shown.size() == (active ? 0 : 1), qPrintable(notes->Shown.value(0).join(" / ")));
        if (!active) {
            QCOMPARE(notes->Shown[0].value(0), QStringLiteral("Database was sent to scale."));
            QVERIFY2(notes->Shown[0].value(1).startsWith("db.csv, "), qPrintable(notes->Shown[0].value(1)));
            // Activating it brings the window forward.
            QDBusMessage invoked = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                              QStringLiteral("org.freedesktop.Notifications"),
                                                              QStringLiteral("ActionInvoked"));
            invoked << uint(1) << QStringLiteral("default");
            QVERIFY(QDBusConnection(QStringLiteral("test-session")).send(invoked));
            QTRY_VERIFY(w->isActiveWindow());
        }
        QCOMPARE(env->boxes.Boxes()[0].text, QStringLiteral("Database was sent to scale."));
        w->FormClose();
    }

    void sendCommandHoldsTheLock_data()
    {
        QTest::addColumn<QStringList>("extra");
        QTest::addColumn<QString>("buses");  // system and session: s and S, missing: -
        QTest::addColumn<QStringList>("expected");
        const QStringList both{"sleep held off while uploading (logind)", "sleep allowed again"};
        QTest::newRow("held and released") << QStringList{} << "sS" << both;
        QTest::newRow("--no-inhibit") << QStringList{"--no-inhibit"} << "sS" << QStringList{};
        QTest::newRow("no logind: the session's power management")
            << QStringList{} << "-S" << QStringList{"sleep held off while uploading (power management)", "sleep allowed again"};
        QTest::newRow("no bus: the upload goes on") << QStringList{} << "--"
                                                   << QStringList{"sleep could not be held off: no D-Bus system bus"};
    }
    void sendCommandHoldsTheLock()
    {
        QFETCH(QStringList, extra);
        QFETCH(QString, buses);
        QFETCH(QStringList, expected);
        ScaleSim sim("tcp", {"--delay", "100"});
        QVERIFY(sim.Started());
        const QString log = env->folder.File("run.log");
        QProcess p;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        const QString nowhere = QStringLiteral("unix:path=") + env->folder.File("no-bus");
        environment.insert("DBUS_SYSTEM_BUS_ADDRESS", buses[0] == 's' ? SystemBus->Address() : nowhere);
        environment.insert("DBUS_SESSION_BUS_ADDRESS", buses[1] == 'S' ? SessionBus->Address() : nowhere);
        p.setProcessEnvironment(environment);
        p.start(QStringLiteral(SCALEDB_BINARY), QStringList{"send", database, "--to", QStringLiteral("tcp://127.0.0.1:%1").arg(sim.Port()),
                                                            "--quiet", "--log", log} + extra);
        // The test's services answer from this loop while the program runs.
        QTRY_VERIFY_WITH_TIMEOUT(p.state() == QProcess::NotRunning, 30000);
        QCOMPARE(p.exitCode(), 0);
        QStringList lines;
        for (const QByteArray& line : ReadAll(log).split('\n'))
            if (const int at = line.indexOf(" desktop * "); at >= 0)
                lines << QString::fromUtf8(line.mid(at + 11));
        QCOMPARE(lines, expected);
        const bool logind = buses == QLatin1String("sS") && !expected.isEmpty();
        QCOMPARE(login->Calls.size(), logind ? 1 : 0);
        QTRY_COMPARE(login->Released, login->Calls.size());
        QCOMPARE(power->Calls, buses == QLatin1String("-S") ? QStringList{"scaledb|Sending a database to a scale"} : QStringList{});
        QCOMPARE(sim.Recorded().count("\r\n"), 5);  // start, three records, end
    }
};

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The program's bus connections are made on first use, and read these then.
    BusDaemon system, session;
    SystemBus = &system;
    SessionBus = &session;
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", system.Address().toUtf8());
    qputenv("DBUS_SESSION_BUS_ADDRESS", session.Address().toUtf8());
    DesktopTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "desktop_test.moc"
