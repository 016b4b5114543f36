// The real scaledb binary, run from a scratch folder of its own: it writes
// its settings beside itself when closed by a signal.
#include "ProcStatus.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {
// Whether the process has a handler for `sig` (the SigCgt mask of /proc/PID/status).
bool CatchesSignal(qint64 pid, int sig)
{
    return (ProcStatusField("SigCgt", pid).toULongLong(nullptr, 16) >> (sig - 1)) & 1;
}
}

class ProgramTest : public QObject {
    Q_OBJECT
private slots:
    void signalsCloseThroughTheCloseSequence_data()
    {
        QTest::addColumn<int>("sig");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void signalsCloseThroughTheCloseSequence()
    {
        QFETCH(int, sig);
        QTemporaryDir dir;
        const QString exe = dir.filePath("scaledb");
        QVERIFY(QFile::copy(QStringLiteral(SCALEDB_BINARY), exe));
        QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile ini(dir.filePath("ComPortTest.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[ComPort1]\nPort=COM3\nBaudRate=19200\n");
        ini.close();

        QProcess p;
        p.setProcessChannelMode(QProcess::ForwardedChannels);
        p.start(exe, {});
        QVERIFY(p.waitForStarted());
        // The program catches the signal once its handler is in place: wait for
        // that, as /proc shows it, instead of guessing how long start-up takes.
        QTRY_VERIFY_WITH_TIMEOUT(CatchesSignal(p.processId(), sig), 60000);
        QCOMPARE(p.state(), QProcess::Running);
        ::kill(static_cast<pid_t>(p.processId()), sig);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);

        QFile config(dir.filePath("config.xml"));
        QVERIFY(config.open(QIODevice::ReadOnly));
        QDomDocument doc;
        QVERIFY(doc.setContent(&config));
        QCOMPARE(doc.documentElement().tagName(), QStringLiteral("TarvikConfig"));
        QCOMPARE(doc.documentElement().firstChildElement("Interface").firstChildElement("Kind").text(), QStringLiteral("COM"));
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray saved = ini.readAll();
        QVERIFY2(saved.contains("Port=COM3") && saved.contains("BaudRate=19200"), saved.constData());
    }

    // A quit signal ends the program at once whatever it shows: the box of a
    // database that cannot be opened at start (its text also goes to
    // standard error, which tells the test the box is up), or a scales list
    // with lines it cannot read, which shows no box at all.
    void signalEndsTheProgramAtOnce_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("shown");
        QTest::newRow("database box") << QStringList{"big.csv"} << QByteArray("scaledb: Cannot read the file big.csv");
        QTest::newRow("unreadable scales") << QStringList{"--scales", "list.txt"} << QByteArray();
    }
    void signalEndsTheProgramAtOnce()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, shown);
        QTemporaryDir dir;
        const QString exe = dir.filePath("scaledb");
        QVERIFY(QFile::copy(QStringLiteral(SCALEDB_BINARY), exe));
        QFile::setPermissions(exe, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QByteArray list = "tcp://127.0.0.1:4001\ntcp://[::1]:4001\n\x01\xff\r\n" + QByteArray(1 << 20, 'x') + "\n";
        QFile file(dir.filePath("list.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(list) == list.size());
        file.close();
        QFile big(dir.filePath("big.csv"));  // 4 GiB, sparse: too large to load
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(qint64(1) << 32));
        big.close();

        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start(exe, args);
        QVERIFY(p.waitForStarted());
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT(CatchesSignal(p.processId(), SIGTERM), 60000);
        QTRY_VERIFY_WITH_TIMEOUT((err += p.readAllStandardError()).contains(shown), 60000);
        QCOMPARE(p.state(), QProcess::Running);
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(2000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(QFile::exists(dir.filePath("config.xml")));  // through the close sequence
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), list);
        if (shown.isEmpty())
            QVERIFY2(!(err + p.readAllStandardError()).contains("scaledb:"), err.constData());  // no box
    }

    // Qt takes its own arguments; anything else with a dash is refused, not
    // opened as a database.
    void unknownOptionIsAnError()
    {
        QProcess p;
        p.start(QStringLiteral(SCALEDB_BINARY), {"-platform", "offscreen", "--nonsense"});
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(p.readAllStandardError().contains("scaledb: unknown option --nonsense"));
    }
};

QTEST_GUILESS_MAIN(ProgramTest)
#include "program_test.moc"
