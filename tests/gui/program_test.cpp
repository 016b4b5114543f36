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
