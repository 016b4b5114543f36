// The real `scaledb send` against simulated scales over every link.
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

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
    static QString Link(const QString& mode, const ScaleSim& sim, const QString& host = QStringLiteral("127.0.0.1"))
    {
        if (mode == QLatin1String("serial"))
            return QStringLiteral("serial:") + sim.Device();
        return QStringLiteral("%1://%2:%3").arg(mode, host).arg(sim.Port());
    }
    static quint16 FreeUdpPort()
    {
        QUdpSocket probe;
        probe.bind(QHostAddress::AnyIPv4, 0);
        return probe.localPort();  // free again on return
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
        QTest::addColumn<QString>("scale");  // the simulator's address
        QTest::addColumn<QString>("typed");  // as the link names it
        QTest::newRow("serial") << "serial" << "" << "";
        QTest::newRow("tcp") << "tcp" << "127.0.0.1" << "127.0.0.1";
        QTest::newRow("udp") << "udp" << "127.0.0.1" << "127.0.0.1";
        QTest::newRow("tcp leading zeros") << "tcp" << "127.0.0.1" << "127.000.000.001";
        QTest::newRow("udp leading zeros") << "udp" << "127.0.0.1" << "127.000.000.001";
        QTest::newRow("tcp 010 is ten") << "tcp" << "127.0.0.10" << "127.0.0.010";
        QTest::newRow("udp 010 is ten") << "udp" << "127.0.0.10" << "127.0.0.010";
    }
    void acceptedOverEachLink()
    {
        QFETCH(QString, mode);
        QFETCH(QString, scale);
        QFETCH(QString, typed);
        ScaleSim sim(mode, scale.isEmpty() ? QStringList{} : QStringList{"--host", scale});
        QVERIFY(sim.Started());
        const Run r = Send({database, "--to", Link(mode, sim, typed), "--udp-port", "0"});
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
        QTest::newRow("refuses a record again and again")
            << QStringList{"--wrong-at", "2,3,4,5,6,7,8,9,10"} << QByteArray("answered \"Mx\" to record 1 5 times in a row");
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
        QTest::newRow("udp to a name") << QStringList{"db.csv", "--to", "udp://scale.local:1001"};
        QTest::newRow("two udp scales at one address")
            << QStringList{"db.csv", "--to", "udp://127.0.0.2:4001", "--to", "udp://127.000.000.002:4002"};
        QTest::newRow("unknown option") << QStringList{"db.csv", "--to", "tcp://h:1", "--nonsense"};
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
            // UDP scales are told apart by address, so each has its own.
            const QString host = QStringLiteral("127.0.0.%1").arg(i + 1);
            QStringList extra = i == 3 ? QStringList{"--silent-after", "1"} : QStringList{};
            if (modes[i] == QLatin1String("udp"))
                extra << "--host" << host;
            sims.push_back(std::make_unique<ScaleSim>(modes[i], extra));
            QVERIFY(sims.back()->Started());
            args << "--to" << Link(modes[i], *sims.back(), modes[i] == QLatin1String("udp") ? host : QStringLiteral("127.0.0.1"));
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

    // Scales that answer to the protocol's port share the one local port.
    void fiveUdpScalesShareOneLocalPort()
    {
        const QString local = QString::number(FreeUdpPort());
        std::vector<std::unique_ptr<ScaleSim>> sims;
        QStringList args{database, "--udp-port", local};
        for (int i = 2; i <= 6; ++i) {
            const QString host = QStringLiteral("127.0.0.%1").arg(i);
            sims.push_back(std::make_unique<ScaleSim>("udp", QStringList{"--host", host, "--reply-port", local}));
            QVERIFY(sims.back()->Started());
            args << "--to" << Link("udp", *sims.back(), host);
        }
        const Run r = Send(args);
        QVERIFY2(r.code == 0, r.out.constData());
        QByteArray expected = streamed;
        expected.replace("\r\n", QByteArray(1, '\0'));
        for (const auto& sim : sims)
            QCOMPARE(sim->Recorded(), QByteArray(1, '\0') + expected);
    }

    // Another host answering every command cannot stand in for a silent scale.
    void strangerCannotAnswerForTheScale()
    {
        ScaleSim sim("udp", {"--host", "127.0.0.2", "--silent-after", "0"});
        QVERIFY(sim.Started());
        const quint16 local = FreeUdpPort();
        QProcess p;
        p.start(QStringLiteral(SCALEDB_BINARY), {"send", database, "--to", Link("udp", sim, "127.0.0.2"),
                                                 "--udp-port", QString::number(local), "--timeout", "1"});
        QUdpSocket stranger;
        QVERIFY(stranger.bind(QHostAddress("127.0.0.3"), 0));
        QTimer answers;
        QObject::connect(&answers, &QTimer::timeout, [&] {
            for (const char* reply : {"MbP\r\n", "Mr\r\n", "Me\r\n"})
                stranger.writeDatagram(reply, QHostAddress::LocalHost, local);
        });
        answers.start(20);
        QVERIFY(p.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(p.state() == QProcess::NotRunning, 20000);
        QCOMPARE(p.exitCode(), 1);
        QVERIFY(p.readAllStandardOutput().contains("no reply"));
    }

    void toFileWithJsonReport()
    {
        ScaleSim tcp("tcp"), udp("udp", {"--host", "127.0.0.2"}), silent("tcp", {"--silent-after", "0"});
        QVERIFY(tcp.Started() && udp.Started() && silent.Started());
        const QStringList links{Link("tcp", tcp), Link("udp", udp, "127.0.0.2"), Link("tcp", silent)};
        const QString list = dir.filePath("scales.txt");
        WriteAll(list, ("# the shop's scales\n" + links[0] + "  # counter\n\n" + links[1] + "\n  \n" + links[2] + "\n").toUtf8());
        const QString logPath = dir.filePath("log.txt");
        const Run r = Send({database, "--to-file", list, "--report", "json", "--jobs", "2", "--udp-port", "0", "--timeout", "1",
                            "--log", logPath});
        QCOMPARE(r.code, 1);
        const QJsonArray scales = QJsonDocument::fromJson(r.out).array();
        QCOMPARE(scales.size(), 3);
        for (int i = 0; i < 3; ++i) {
            const QJsonObject s = scales[i].toObject();
            QCOMPARE(s["link"].toString(), links[i]);
            QCOMPARE(s["outcome"].toString(), i < 2 ? QStringLiteral("accepted") : QStringLiteral("failed"));
            QCOMPARE(s["records"].toInt(), i < 2 ? 2 : 0);
        }
        QVERIFY(scales[2].toObject()["cause"].toString().contains("no reply"));
        QCOMPARE(tcp.Recorded(), streamed);
        // --log: every scale's entries, each line led by its time and link.
        QMap<QString, QStringList> logged;  // "link dir" -> texts
        for (const QString& line : QString::fromUtf8(ReadAll(logPath)).split('\n', Qt::SkipEmptyParts)) {
            QVERIFY2(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d ").match(line).hasMatch(), qPrintable(line));
            const QStringList parts = line.split(' ');
            logged[parts.value(1) + ' ' + parts.value(2)] << line.section(' ', 3);
        }
        QCOMPARE(logged[links[0] + " >"], QStringList({"SbP<0D><0A>", QString::fromUtf8("Sr1;Salt;ąę<0D><0A>"),
                                                        "Sr2; Pepper ;<0D><0A>", "Se<0D><0A>"}));
        QCOMPARE(logged[links[1] + " <<"], QStringList({"MbP<0D><0A>", "Mr<0D><0A>", "Mr<0D><0A>", "Me<0D><0A>"}));
        QCOMPARE(logged[links[1] + " >"].value(0), QStringLiteral("SbP<00>"));
        QVERIFY(logged[links[2] + " *"].contains("upload failed: no reply from the scale"));
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
