// Faults found by fuzzing ComPortTest.ini, kept so they stay fixed.
#include "CPort.h"
#include "ProcStatus.h"
#include "TestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

class FuzzRegressTest : public QObject {
    Q_OBJECT

private slots:
    // A 30-byte file was read into a buffer of the largest file allowed
    // (64 MiB); with little memory to spare the restore failed.
    void smallFileNeedsLittleMemory()
    {
        if (Sanitized)
            QSKIP("address-space limits do not work under sanitizers");
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("ComPortTest.ini"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[ComPort1]\nPort=COM7\nBaudRate=19200\n");
        file.close();

        TComPort port;
        port.setObjectName(QStringLiteral("ComPort1"));
        const qint64 used = ProcStatusBytes("VmSize");
        QVERIFY(used > 0);
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_AS, &saved), 0);
        rlimit tight = saved;
        tight.rlim_cur = static_cast<rlim_t>(used + 32 * 1024 * 1024);
        QCOMPARE(setrlimit(RLIMIT_AS, &tight), 0);
        bool restored = true;
        try {
            port.RestoreSettings(ssIniFile, path);
        } catch (...) {
            restored = false;
        }
        setrlimit(RLIMIT_AS, &saved);
        QVERIFY(restored);
        QCOMPARE(port.Port(), QStringLiteral("COM7"));
        QCOMPARE(port.BaudRate(), br19200);
    }
};

QTEST_GUILESS_MAIN(FuzzRegressTest)
#include "fuzzregress_test.moc"
