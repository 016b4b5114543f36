// The real `scaledb send` against simulated scales over every link.
#include "TestSupport.h"

#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

class SendCommandTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString database;
    const QByteArray streamed = "SbP\r\nSr1;Salt;\xB9\xEA\r\nSr2; Pepper ;\r\nSe\r\n";

    struct Run {
        int code;
        QByteArray out;
        QByteArray err;
    };
    static Run Send(const QStringList& args)
    {
        QProcess p;
        p.start(QStringLiteral(SCALEDB_BINARY), QStringList{"send"} + args);
        if (!p.waitForFinished(30000))
            return {-1, {}, {}};
        return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
    }
    static QString Link(const QString& mode, const ScaleSim& sim)
    {
        if (mode == QLatin1String("serial"))
            return QStringLiteral("serial:") + sim.Device();
        return QStringLiteral("%1://127.0.0.1:%2").arg(mode).arg(sim.Port());
    }

private slots:
    void initTestCase()
    {
        database = dir.filePath("db.csv");
        QFile f(database);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("1;Salt;\xB9\xEA\r\n\r\n2; Pepper \n");
    }

    void acceptedOverEachLink_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::newRow("serial") << "serial";
        QTest::newRow("tcp") << "tcp";
        QTest::newRow("udp") << "udp";
    }
    void acceptedOverEachLink()
    {
        QFETCH(QString, mode);
        ScaleSim sim(mode);
        QVERIFY(sim.Started());
        const Run r = Send({database, "--to", Link(mode, sim), "--udp-port", "0"});
        QVERIFY2(r.code == 0, r.err.constData());
        QVERIFY(r.out.contains("accepted"));
        QByteArray recorded = sim.Recorded();
        if (mode == QLatin1String("udp")) {
            QByteArray expected = streamed;
            expected.replace("\r\n", QByteArray(1, '\0'));
            QCOMPARE(recorded, QByteArray(1, '\0') + expected);  // after the one-byte opening datagram
        } else {
            QCOMPARE(recorded, streamed);
        }
    }

    void scalesThatFail_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("reason");
        QTest::newRow("start answered wrongly") << QStringList{"--wrong-at", "1"} << QByteArray("no reply");
        QTest::newRow("goes silent") << QStringList{"--silent-after", "2"} << QByteArray("no reply");
        QTest::newRow("drops the connection") << QStringList{"--drop-after", "2"} << QByteArray("connection was lost");
    }
    void scalesThatFail()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, reason);
        ScaleSim sim("tcp", options);
        QVERIFY(sim.Started());
        const Run r = Send({database, "--to", Link("tcp", sim), "--timeout", "1"});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.out.contains(reason), r.out.constData());
    }

    void nothingListening()
    {
        QTcpServer server;  // takes a free port, then gives it up: nothing listens there
        QVERIFY(server.listen(QHostAddress::LocalHost));
        const QString link = QStringLiteral("tcp://127.0.0.1:%1").arg(server.serverPort());
        server.close();
        const Run r = Send({database, "--to", link, "--timeout", "2"});
        QCOMPARE(r.code, 1);
        QVERIFY(r.out.contains("cannot connect"));
    }

    void badArguments_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no link") << QStringList{"db.csv"};
        QTest::newRow("bad scheme") << QStringList{"db.csv", "--to", "http://x:1"};
        QTest::newRow("no port") << QStringList{"db.csv", "--to", "tcp://127.0.0.1"};
        QTest::newRow("bad baud") << QStringList{"db.csv", "--to", "serial:/dev/ttyS0@fast"};
        QTest::newRow("kind not offered") << QStringList{"db.csv", "--to", "tcp://h:1", "--kind", "status"};
        QTest::newRow("unknown device") << QStringList{"db.csv", "--to", "tcp://h:1", "--device", "big"};
        QTest::newRow("bad timeout") << QStringList{"db.csv", "--to", "tcp://h:1", "--timeout", "0"};
        QTest::newRow("missing file") << QStringList{"/no/such/db.csv", "--to", "tcp://h:1"};
    }
    void badArguments()
    {
        QFETCH(QStringList, args);
        const Run r = Send(args);
        QCOMPARE(r.code, 2);
        QVERIFY(r.err.startsWith("scaledb: "));
    }

    void fiveScalesAtOnceOneFailing()
    {
        std::vector<std::unique_ptr<ScaleSim>> sims;
        QStringList args{database, "--kind", "user", "--timeout", "2", "--udp-port", "0"};
        const QStringList modes{"tcp", "udp", "serial", "tcp", "udp"};
        for (int i = 0; i < modes.size(); ++i) {
            sims.push_back(std::make_unique<ScaleSim>(modes[i], i == 3 ? QStringList{"--silent-after", "1"} : QStringList{}));
            QVERIFY(sims.back()->Started());
            args << "--to" << Link(modes[i], *sims.back());
        }
        const Run r = Send(args);
        QCOMPARE(r.code, 1);
        const QList<QByteArray> lines = r.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 6);
        for (int i = 0; i < modes.size(); ++i)
            QCOMPARE(lines[i + 1].endsWith("accepted"), i != 3);
        QVERIFY(sims[0]->Recorded().startsWith("SbU\r\nSr1;Salt;\xB9\xEA\r\n"));
        QCOMPARE(sims[2]->Recorded(), QByteArray(streamed).replace("SbP", "SbU"));
    }

    void helpAndVersion()
    {
        QProcess p;
        p.start(QStringLiteral(SCALEDB_BINARY), {"--help"});
        QVERIFY(p.waitForFinished());
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(p.readAllStandardOutput().contains("scaledb send FILE --to LINK"));
        p.start(QStringLiteral(SCALEDB_BINARY), {"--version"});
        QVERIFY(p.waitForFinished());
        QCOMPARE(p.readAllStandardOutput(), QByteArray("scaledb 1.03\n"));
    }
};

QTEST_GUILESS_MAIN(SendCommandTest)
#include "sendcommand_test.moc"
