// The real `scaledb send` against simulated scales over every link.
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QDateTime>
#include <QEventLoop>
#include <QTimer>
#include <QUdpSocket>

#include <QDir>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
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
    static Run Send(const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment())
    {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(SCALEDB_BINARY), QStringList{"send"} + args);
        if (!p.waitForFinished(30000))
            return {-1, {}, {}};
        return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
    }
    // The environment of a run under one language: LANG alone decides it.
    static QProcessEnvironment Language(const QString& lang)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES"})
            env.remove(name);
        env.insert("LANG", lang);
        return env;
    }
    static QString Link(const QString& mode, const ScaleSim& sim, const QString& host = QStringLiteral("127.0.0.1"))
    {
        if (mode == QLatin1String("serial"))
            return QStringLiteral("serial:") + sim.Device();
        return QStringLiteral("%1://%2:%3").arg(mode, host).arg(sim.Port());
    }
    // As Send, with this test's event loop running, for a scale the test itself plays.
    static Run SendServing(const QStringList& args)
    {
        QProcess p;
        QEventLoop loop;
        connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        p.start(QStringLiteral(SCALEDB_BINARY), QStringList{"send"} + args);
        loop.exec();
        if (p.state() != QProcess::NotRunning)
            return {-1, {}, {}};
        return {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
    }
    // `scaledb send` in a network namespace of its own that has only
    // loopback, beside a TCP scale at 127.0.0.1:4001, so no name lookup ever
    // leaves the machine. `skip` says why it could not run; `boundMs` bounds the whole run.
    struct Isolated {
        QString skip;
        Run run;
        QByteArray recorded;
    };
    static Isolated SendIsolated(const QStringList& args, int boundMs, bool loopbackUp = true)
    {
        QProcess probe;
        probe.start(QStringLiteral("unshare"), {"-n", "true"});
        if (!probe.waitForFinished(10000) || probe.exitStatus() != QProcess::NormalExit || probe.exitCode() != 0)
            return {QStringLiteral("unshare -n is not permitted here: ") + probe.readAllStandardError(), {}, {}};
        if (QStandardPaths::findExecutable(QStringLiteral("ip"), {"/usr/sbin", "/sbin", "/usr/bin", "/bin"}).isEmpty())
            return {QStringLiteral("ip is not installed (iproute2, see tools/install-deps)"), {}, {}};
        // A new namespace's loopback is down until brought up.
        const QString script = QStringLiteral(
            "if [ \"$LOOPBACK\" = up ]; then ip link set lo up || exit 97; fi\n"
            "mkfifo \"$0/ready\" || exit 97\n"
            "\"$SCALE_SIM\" --tcp 4001 --record \"$0/record\" > \"$0/ready\" &\n"
            "read ready < \"$0/ready\"\n"
            "\"$SCALEDB\" send \"$@\"; code=$?\n"
            "kill $!; wait; exit $code\n");
        QTemporaryDir scratch;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("SCALEDB", QStringLiteral(SCALEDB_BINARY));
        env.insert("LOOPBACK", loopbackUp ? "up" : "down");
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("unshare"), QStringList{"-n", "sh", "-c", script, scratch.path()} + args);
        if (!p.waitForFinished(boundMs)) {
            p.kill();
            p.waitForFinished();
            return {{}, {-1, {}, "not finished in time"}, {}};
        }
        return {{}, {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()}, ReadAll(scratch.filePath("record"))};
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
        f.write("1;Salt;\xB9\xEA\r\n\r\n2; Pepper \n");  // row 2 is padded: one finding
        WriteAll(dir.filePath("clean.csv"), "1;Salt\n2;Pepper\n");
        WriteAll(dir.filePath("long.csv"), QByteArray(98, 'x') + "\n");  // a 100-byte UDP command
    }

    void acceptedOverEachLink_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("scale");  // the simulator's address
        QTest::addColumn<QString>("typed");  // as the link names it
        QTest::addColumn<QString>("lang");
        QTest::newRow("serial") << "serial" << "" << "" << "C";
        QTest::newRow("serial by a stable name") << "serial" << "" << "usb-FTDI_FT232R_A5:02-if00-port0" << "C";
        QTest::newRow("tcp") << "tcp" << "127.0.0.1" << "127.0.0.1" << "C";
        QTest::newRow("udp") << "udp" << "127.0.0.1" << "127.0.0.1" << "C";
        QTest::newRow("tcp leading zeros") << "tcp" << "127.0.0.1" << "127.000.000.001" << "C";
        QTest::newRow("udp leading zeros") << "udp" << "127.0.0.1" << "127.000.000.001" << "C";
        QTest::newRow("tcp 010 is ten") << "tcp" << "127.0.0.10" << "127.0.0.010" << "C";
        QTest::newRow("udp 010 is ten") << "udp" << "127.0.0.10" << "127.0.0.010" << "C";
        // The language changes what the technician reads, never the bytes, the report or the exit status.
        QTest::newRow("serial in Polish") << "serial" << "" << "" << "pl_PL.UTF-8";
        QTest::newRow("tcp in Polish") << "tcp" << "127.0.0.1" << "127.0.0.1" << "pl_PL.UTF-8";
        QTest::newRow("udp in Polish") << "udp" << "127.0.0.1" << "127.0.0.1" << "pl_PL.UTF-8";
    }
    void acceptedOverEachLink()
    {
        QFETCH(QString, mode);
        QFETCH(QString, scale);
        QFETCH(QString, typed);
        QFETCH(QString, lang);
        ScaleSim sim(mode, scale.isEmpty() ? QStringList{} : QStringList{"--host", scale});
        QVERIFY(sim.Started());
        QString link = Link(mode, sim, typed);
        if (mode == QLatin1String("serial") && !typed.isEmpty()) {
            // As udev names an adapter: ':' and '-' in the name, the rate after the last '@'.
            QFile::remove(dir.filePath(typed));
            QVERIFY(QFile::link(sim.Device(), dir.filePath(typed)));
            link = QStringLiteral("serial:%1@9600").arg(dir.filePath(typed));
        }
        const QString log = dir.filePath("log-" + lang);
        const Run r = Send({database, "--to", link, "--udp-port", "0", "--report", "json", "--log", log}, Language(lang));
        QVERIFY2(r.code == 0, r.err.constData());
        const QJsonObject outcome = QJsonDocument::fromJson(r.out).array().at(0).toObject();
        QCOMPARE(outcome.value("outcome").toString(), QStringLiteral("accepted"));
        QCOMPARE(outcome.keys(), QStringList({"cause", "link", "name", "outcome", "reconnects", "records", "seconds",
                                               "started_over"}));
        QVERIFY2(r.err.startsWith(lang == QLatin1String("C") ? QByteArray("scaledb: warning: row 2: 2 fields where the widest row has 3; it is sent padded with 1 empty field\n")
                                                             : QByteArray("scaledb: ostrzeżenie: wiersz 2: pola: 2, a najszerszy wiersz ma 3")),
                 r.err.constData());
        QVERIFY(ReadAll(log).contains(" * upload started: product database, "));  // --log lines stay as scripts read them
        QByteArray recorded = sim.Recorded();
        if (mode == QLatin1String("udp")) {
            QByteArray expected = streamed;
            expected.replace("\r\n", QByteArray(1, '\0'));
            QCOMPARE(recorded, QByteArray(1, '\0') + expected);  // after the one-byte opening datagram
        } else {
            QCOMPARE(recorded, streamed);
        }
    }

    // A silent scale is given 3 s; one that answers a margin no load can miss.
    void scalesThatFail_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("reason");
        const QStringList silent{"--timeout", "3"}, answers{"--timeout", "60"};
        QTest::newRow("start answered wrongly, until --timeout") << QStringList{"--wrong-at", "1"} << silent << QByteArray(
            "the scale answered \"Mx\" to the start command \"SbP\"\n");
        QTest::newRow("start answered for another kind") << QStringList{"ANSWERS", "MbU"} << silent << QByteArray(
            "the scale answered \"MbU\" to the start command \"SbP\": it expects another database kind (is --kind right?)\n");
        QTest::newRow("end answered wrongly, --retries 1") << QStringList{"--wrong-at", "4"} << answers + QStringList{"--retries", "1"}
                                                           << QByteArray("the scale answered \"Mx\" to the end command \"Se\"\n");
        QTest::newRow("goes silent") << QStringList{"--silent-after", "2"} << silent << QByteArray("no reply");
        QTest::newRow("drops the connection") << QStringList{"--drop-after", "2"} << answers << QByteArray("connection was lost");
        QTest::newRow("refuses a record again and again")
            << QStringList{"--wrong-at", "2,3,4,5,6,7,8,9,10"} << answers << QByteArray("answered \"Mx\" to record 1 5 times in a row");
    }
    void scalesThatFail()
    {
        QFETCH(QStringList, options);
        QFETCH(QStringList, args);
        QFETCH(QByteArray, reason);
        // A scale of another kind: the one answer to every command.
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress::LocalHost));
        connect(&other, &QTcpServer::newConnection, this, [&] {
            QTcpSocket* s = other.nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, s, [s, &options] {
                s->readAll();
                s->write(options.value(1).toLatin1() + "\r\n");
            });
        });
        ScaleSim sim("tcp", options.value(0) == "ANSWERS" ? QStringList{} : options);
        QVERIFY(sim.Started());
        const QString link = options.value(0) == "ANSWERS" ? QStringLiteral("tcp://127.0.0.1:%1").arg(other.serverPort()) : Link("tcp", sim);
        const Run r = SendServing(QStringList{database, "--to", link, "--reconnect", "0"} + args);
        QCOMPARE(r.code, 1);
        QVERIFY2(r.out.contains(reason), r.out.constData());
    }

    // The scale drops the link while record 5 awaits its answer, or cuts it
    // in the middle of record 3, and takes the next connection: the scale's
    // half line is ended, the record goes again whole and the upload goes
    // on; a stray answer on the new connection completes nothing (a scale
    // behind a converter keeps its half line and answers it); a scale that
    // lost the upload with the link refuses the record, and all starts over.
    void reconnectsAfterADrop_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("recorded");
        QTest::addColumn<QByteArray>("outcome");
        QTest::addColumn<int>("lostAt");
        const QByteArray upTo2("SbP\r\nSr1\r\nSr2\r\n");
        const QByteArray upTo5 = upTo2.mid(5) + "Sr3\r\nSr4\r\nSr5\r\n";
        const QByteArray from3("\r\nSr3\r\nSr4\r\nSr5\r\nSr6\r\nSe\r\n");
        const QByteArray once("accepted after 1 reconnect\n");
        QTest::newRow("scale keeps the upload") << QStringList{"--drop-at", "6"}
            << "SbP\r\n" + upTo5 + "\r\nSr5\r\nSr6\r\nSe\r\n" << QByteArray() << 5;  // the JSON report
        QTest::newRow("drop after the answer") << QStringList{"--drop-after", "6"}
            << "SbP\r\n" + upTo5 + "\r\nSr6\r\nSe\r\n" << once << 6;
        QTest::newRow("scale forgets the upload") << QStringList{"--drop-at", "6", "--forget"}
            << "SbP\r\n" + upTo5 + "\r\nSr5\r\nSbP\r\n" + upTo5 + "Sr6\r\nSe\r\n"
            << QByteArray("accepted after 1 reconnect, started over after the connection came back\n") << 5;
        QTest::newRow("forgets after answering") << QStringList{"--drop-after", "6", "--forget"}
            << "SbP\r\n" + upTo5 + "\r\nSr6\r\nSbP\r\n" + upTo5 + "Sr6\r\nSe\r\n"
            << QByteArray("accepted after 1 reconnect, started over after the connection came back\n") << 6;
        QTest::newRow("cut at a record's start") << QStringList{"--cut-after", "16"} << upTo2 + "S" + from3 << once << 3;
        QTest::newRow("cut mid-record, stray answer") << QStringList{"--cut-after", "17", "--greet", "Mr"}
            << upTo2 + "Sr" + from3 << once << 3;
        QTest::newRow("cut before its LF, converter") << QStringList{"--cut-after", "19", "--keep-line", "--greet", "Mr"}
            << upTo2 + "Sr3\r" + from3 << once << 3;
    }
    void reconnectsAfterADrop()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, recorded);
        QFETCH(QByteArray, outcome);
        QFETCH(int, lostAt);
        ScaleSim sim("tcp", options);
        QVERIFY(sim.Started());
        WriteAll(dir.filePath("six.csv"), "1\n2\n3\n4\n5\n6\n");
        const QString log = dir.filePath("reconnect.log");
        const Run r = Send({dir.filePath("six.csv"), "--to", Link("tcp", sim), "--reconnect", "10", "--log", log,
                            "--report", outcome.isEmpty() ? "json" : "text"});
        QVERIFY2(r.code == 0, r.out + r.err);
        if (outcome.isEmpty()) {
            const QJsonObject scale = QJsonDocument::fromJson(r.out).array().at(0).toObject();
            QCOMPARE(scale["outcome"].toString(), QStringLiteral("accepted"));
            QCOMPARE(scale["reconnects"].toInt(), 1);
            QCOMPARE(scale["started_over"].toBool(), false);
        } else {
            QVERIFY2(r.out.endsWith(outcome), r.out.constData());
        }
        QCOMPARE(sim.Recorded(), recorded);
        QVERIFY2(r.err.contains(": the connection was lost at record " + QByteArray::number(lostAt)
                                + " of 6: reconnecting for up to 10 s\n"), r.err.constData());
        QVERIFY(r.err.contains(": reconnected at attempt 1\n"));
        const QByteArray logged = ReadAll(log);
        QVERIFY(logged.contains("reconnect attempt 1") && logged.contains("* line ended before the resend"));
        QCOMPARE(logged.contains("* ignored: arrived before the resend"), options.contains("--greet"));
    }

    // A record too long for any datagram ends that scale at once, with the cause, in the report and the log.
    void udpCommandTooLongForADatagram()
    {
        ScaleSim sim("udp");
        QVERIFY(sim.Started());
        const QString huge = dir.filePath("huge.csv"), log = dir.filePath("huge.log");
        WriteAll(huge, QByteArray(70000, 'x') + "\n");
        const Run r = Send({huge, "--to", Link("udp", sim), "--udp-port", "0", "--timeout", "60", "--log", log});
        QCOMPARE(r.code, 1);
        const QByteArray cause("a command of 70,002 bytes and its zero byte do not fit in a datagram's 65,507");
        QVERIFY2(r.out.contains("record 1 of 1 was not sent: " + cause), r.out.constData());
        QVERIFY(ReadAll(log).contains("not sent: " + cause));
    }

    // The link has its own limit: --timeout counts only once a command went out.
    void connectionHasItsOwnLimit()
    {
        // A listener whose queue of one is full: the kernel drops further
        // connection requests, so the link never comes up.
        QTcpServer full;
        QVERIFY(full.listen(QHostAddress::LocalHost));
        QVERIFY(::listen(int(full.socketDescriptor()), 0) == 0);
        full.pauseAccepting();
        QTcpSocket filler;
        filler.connectToHost(QHostAddress::LocalHost, full.serverPort());
        QVERIFY(filler.waitForConnected(5000));
        const Run r = Send({database, "--to", QStringLiteral("tcp://127.0.0.1:%1").arg(full.serverPort()),
                            "--connect-timeout", "2", "--timeout", "1"});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.out.contains("cannot connect: no connection after 2 s\n"), r.out.constData());
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

    // Each link failure ends that scale with its cause, in the report's `cause`;
    // a device that hangs up ends it at once, long before --timeout.
    void linkFailuresNameTheirCause_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("cause");
        QTest::newRow("refused") << "tcp refused" << "cannot connect: connection refused";
        QTest::newRow("udp port held by another socket") << "udp held"
                                                         << "cannot connect: UDP port %1 in use by another program";
        QTest::newRow("missing serial device") << "serial missing"
                                               << "cannot open /dev/no-such-scale: serial device not found";
        QTest::newRow("serial device held by another program")
            << "serial held" << "cannot open %1: serial device in use by another program";
        QTest::newRow("serial device hangs up mid-upload") << "serial hang-up"
                                                           << "the connection was lost at record %1 of 2: serial device disappeared";
    }
    void linkFailuresNameTheirCause()
    {
        QFETCH(QString, setup);
        QFETCH(QString, cause);
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress::AnyIPv4, 0));
        PtyPair pty;
        std::unique_ptr<ExclusiveHold> hold;
        std::unique_ptr<ScaleSim> sim;
        QString link;
        if (setup == "tcp refused") {
            QTcpServer server;  // a free port that nobody listens on
            QVERIFY(server.listen(QHostAddress::LocalHost));
            link = QStringLiteral("tcp://127.0.0.1:%1").arg(server.serverPort());
        } else if (setup == "udp held") {
            link = QStringLiteral("udp://127.0.0.1:1001");
            cause = cause.arg(holder.localPort());
        } else if (setup == "serial missing") {
            link = QStringLiteral("serial:/dev/no-such-scale");
        } else if (setup == "serial held") {
            hold = std::make_unique<ExclusiveHold>(pty.SlavePath());
            QVERIFY(hold->Held());
            link = QStringLiteral("serial:") + pty.SlavePath();
            cause = cause.arg(pty.SlavePath());
        } else {
            sim = std::make_unique<ScaleSim>("serial", QStringList{"--drop-after", "2"});
            QVERIFY(sim->Started());
            link = Link("serial", *sim);
        }
        const Run r = Send({database, "--to", link, "--udp-port", QString::number(holder.localPort()),
                            "--timeout", "60", "--report", "json", "--reconnect", "0"});
        QCOMPARE(r.code, 1);
        const QJsonObject scale = QJsonDocument::fromJson(r.out).array().at(0).toObject();
        QCOMPARE(scale["outcome"].toString(), QStringLiteral("failed"));
        const QString reported = scale["cause"].toString();
        if (sim)  // the scale's last answer may go with the hang-up, so record 1 or 2
            QVERIFY2(reported == cause.arg(1) || reported == cause.arg(2), qPrintable(reported));
        else
            QCOMPARE(reported, cause);
        QVERIFY2(r.err.contains("failed: " + reported.toLocal8Bit()), r.err.constData());
    }

    // A device that hangs up while record 1 awaits its answer is opened again
    // by its stable name: when it comes back, record 1 goes again; when it
    // stays away past --reconnect, the scale fails with the last cause.
    void serialDeviceReopenedByName_data()
    {
        QTest::addColumn<bool>("comesBack");
        QTest::newRow("comes back") << true;
        QTest::newRow("gone for good") << false;
    }
    void serialDeviceReopenedByName()
    {
        QFETCH(bool, comesBack);
        auto pty = std::make_unique<PtyPair>();
        const QString device = dir.filePath("usb-scale-if00");
        QFile::remove(device);
        QVERIFY(QFile::link(pty->SlavePath(), device));
        WriteAll(dir.filePath("two.csv"), "a\nb\n");
        QProcess p;
        p.start(QStringLiteral(SCALEDB_BINARY), {"send", dir.filePath("two.csv"), "--to", "serial:" + device,
                                                 "--reconnect", comesBack ? "20" : "3", "--report", "json"});
        QCOMPARE(pty->ReadExactly(5, 10000), QByteArray("SbP\r\n"));
        pty->Write("MbP\r\n");
        QCOMPARE(pty->ReadExactly(5), QByteArray("Sra\r\n"));
        pty.reset();  // hangs up
        QVERIFY(QFile::remove(device));
        PtyPair back;  // open until the program is done with it
        if (comesBack) {
            QVERIFY(QFile::link(back.SlavePath(), device));
            for (const QByteArray command : {"Sra", "Srb", "Se"}) {
                // The half line the hang-up may have left is ended before the resend.
                const QByteArray expected = (command == "Sra" ? "\r\n" : "") + command + "\r\n";
                QCOMPARE(back.ReadExactly(static_cast<int>(expected.size()), 10000), expected);
                back.Write(command == "Se" ? "Me\r\n" : "Mr\r\n");
            }
        }
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), comesBack ? 0 : 1);
        const QJsonObject scale = QJsonDocument::fromJson(p.readAllStandardOutput()).array().at(0).toObject();
        QCOMPARE(scale["reconnects"].toInt(), comesBack ? 1 : 0);
        QCOMPARE(scale["cause"].toString(),
                 comesBack ? QString() : QStringLiteral("the connection was lost at record 1 of 2: serial device not found"));
    }

    // A serial device that stops taking data in the middle of a record:
    // --timeout ends the scale with the cause, the log says how far the
    // record got, and no command follows the cut record on the line.
    void serialDeviceThatStopsTakingData()
    {
        PtyPair pty;
        const QByteArray command = "Sr" + QByteArray(200000, 'x') + "\r\n";
        WriteAll(dir.filePath("big.csv"), command.mid(2, 200000) + "\n");
        const QString log = dir.filePath("stalled.log");
        QProcess p;
        p.start(QStringLiteral(SCALEDB_BINARY), {"send", dir.filePath("big.csv"), "--to", "serial:" + pty.SlavePath(),
                                                 "--timeout", "3", "--log", log});
        QCOMPARE(pty.ReadExactly(5, 10000), QByteArray("SbP\r\n"));
        pty.Write("MbP\r\n");  // and from now on the test reads nothing
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 1);
        const QByteArray out = p.readAllStandardOutput();
        QVERIFY2(out.contains("the connection was lost at record 1 of 1: the device stopped taking data (flow control?)"),
                 out.constData());
        QVERIFY(ReadAll(log).contains(" of 200,004 bytes of Srxxxxxxxxxxxxxx"));
        QByteArray line;
        for (QByteArray piece; !(piece = pty.Read(200)).isEmpty();)
            line += piece;
        QVERIFY(command.startsWith(line));
    }

    void portsListsDevices()
    {
        ScratchSerialTree tree;
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("SCALEDB_SYSFS_TTY", tree.Tty());
        env.insert("SCALEDB_SERIAL_BY_ID", tree.ById());
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(SCALEDB_BINARY), {"ports"});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(p.readAllStandardError(), QByteArray("scaledb: no serial devices found\n"));

        tree.AddPort("ttyS0");
        tree.AddAdapter("ttyUSB0", "1-1", "FT232R USB UART", "A50285BI");
        const QString link = tree.Link("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ttyUSB0", "/dev/null");
        p.start(QStringLiteral(SCALEDB_BINARY), {"ports"});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(p.readAllStandardOutput(),
                 "ttyS0\t\t\t\nttyUSB0\t" + link.toLocal8Bit() + "\tFT232R USB UART\tA50285BI\n");
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
        // A port is decimal digits alone: no sign, no spaces.
        QTest::newRow("port with a sign") << QStringList{"db.csv", "--to", "tcp://127.0.0.1:+4001"};
        QTest::newRow("port after a space") << QStringList{"db.csv", "--to", "udp://127.0.0.1: 4001"};
        QTest::newRow("baud with a sign") << QStringList{"db.csv", "--to", "serial:/dev/ttyS0@+9600"};
        QTest::newRow("two udp scales at one address")
            << QStringList{"db.csv", "--to", "udp://127.0.0.2:4001", "--to", "udp://127.000.000.002:4002"};
        QTest::newRow("unknown option") << QStringList{"db.csv", "--to", "tcp://h:1", "--nonsense"};
        QTest::newRow("quiet with progress") << QStringList{"db.csv", "--to", "tcp://h:1", "--quiet", "--progress"};
    }
    void badArguments()
    {
        QFETCH(QStringList, args);
        const Run r = Send(args);
        QCOMPARE(r.code, 2);
        QVERIFY(r.err.startsWith("scaledb: "));
    }

    void checkAndStrict_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("err");  // what standard error starts with
        QTest::newRow("check clean") << QStringList{"clean.csv", "--check"} << 0 << QByteArray();
        QTest::newRow("check with a finding")
            << QStringList{"db.csv", "--check"} << 1 << QByteArray("scaledb: warning: row 2: 2 fields");
        QTest::newRow("check long record, no link") << QStringList{"long.csv", "--check"} << 0 << QByteArray();
        QTest::newRow("check long record over udp")
            << QStringList{"long.csv", "--check", "--to", "udp://127.0.0.1:4001"} << 1
            << QByteArray("scaledb: warning: row 1: 98 bytes; its UDP command is 100 bytes, over the 99 a UDP command holds\n");
        QTest::newRow("check long record over tcp")
            << QStringList{"long.csv", "--check", "--to", "tcp://127.0.0.1:4001"} << 0 << QByteArray();
        QTest::newRow("check a port with leading zeros")
            << QStringList{"clean.csv", "--check", "--to", "tcp://127.0.0.1:04001"} << 0 << QByteArray();
        QTest::newRow("check with an unusual baud rate")
            << QStringList{"clean.csv", "--check", "--to", "serial:/dev/ttyS0@9601"} << 0
            << QByteArray("scaledb: 9601 is not a standard baud rate (nearest: 9600)\n");
        QTest::newRow("check without a file") << QStringList{"--check"} << 2 << QByteArray("scaledb: ");
        QTest::newRow("check a missing file") << QStringList{"missing.csv", "--check"} << 2 << QByteArray("scaledb: ");
        // Nothing listens at port 1: an upload would fail there, so exit 1 with nothing on
        // standard output says the upload was never tried.
        QTest::newRow("strict refuses to send")
            << QStringList{"db.csv", "--strict", "--to", "tcp://127.0.0.1:1"} << 1 << QByteArray("scaledb: warning: row 2: ");
    }
    void checkAndStrict()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QByteArray, err);
        if (!args.isEmpty() && args[0].endsWith(".csv"))
            args[0] = dir.filePath(args[0]);
        const Run r = Send(args);
        QCOMPARE(r.code, code);
        QVERIFY2(r.err.startsWith(err), r.err.constData());
        if (args.contains("--strict")) {
            QVERIFY(r.err.endsWith("scaledb: not sent: 1 finding (--strict)\n"));
            QCOMPARE(r.out, QByteArray());
        } else if (code != 2) {
            QCOMPARE(r.out, (args[0] + (code ? ": 1 finding\n" : ": nothing found\n")).toLocal8Bit());
        }
    }

    void strictSendsACleanFile()
    {
        ScaleSim sim("tcp");
        QVERIFY(sim.Started());
        const Run r = Send({dir.filePath("clean.csv"), "--strict", "--to", Link("tcp", sim)});
        QCOMPARE(r.code, 0);
        QCOMPARE(sim.Recorded(), QByteArray("SbP\r\nSr1;Salt\r\nSr2;Pepper\r\nSe\r\n"));
    }

    // The QD-58's third kind starts its upload with SbS.
    void statusDatabaseOfAQd58()
    {
        ScaleSim sim("tcp");
        QVERIFY(sim.Started());
        const Run r = Send({dir.filePath("clean.csv"), "--device", "qd58", "--kind", "status", "--to", Link("tcp", sim)});
        QCOMPARE(r.code, 0);
        QCOMPARE(sim.Recorded(), QByteArray("SbS\r\nSr1;Salt\r\nSr2;Pepper\r\nSe\r\n"));
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
                                                 "--udp-port", QString::number(local), "--timeout", "3"});
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
        const Run r = Send({database, "--to-file", list, "--report", "json", "--jobs", "2", "--udp-port", "0", "--timeout", "3",
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
        QMap<QString, QList<int>> loggedAt;  // "link dir" -> ms of the day
        for (const QString& line : QString::fromUtf8(ReadAll(logPath)).split('\n', Qt::SkipEmptyParts)) {
            QVERIFY2(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d ").match(line).hasMatch(), qPrintable(line));
            const QStringList parts = line.split(' ');
            logged[parts.value(1) + ' ' + parts.value(2)] << line.section(' ', 3);
            loggedAt[parts.value(1) + ' ' + parts.value(2)] << QDateTime::fromString(parts[0], Qt::ISODateWithMs).time().msecsSinceStartOfDay();
        }
        // Every scale's next command waits at least 100 ms after the reply.
        for (const QString& link : links.mid(0, 2))
            for (int i = 1; i < 4; ++i)
                QVERIFY((loggedAt[link + " >"][i] - loggedAt[link + " <<"].value(i - 1) + 86400000) % 86400000 >= 100);
        QCOMPARE(logged[links[0] + " >"], QStringList({"SbP<0D><0A>", QString::fromUtf8("Sr1;Salt;ąę<0D><0A>"),
                                                        "Sr2; Pepper ;<0D><0A>", "Se<0D><0A>"}));
        QCOMPARE(logged[links[1] + " <<"], QStringList({"MbP<0D><0A>", "Mr<0D><0A>", "Mr<0D><0A>", "Me<0D><0A>"}));
        QCOMPARE(logged[links[1] + " >"].value(0), QStringLiteral("SbP<00>"));
        QVERIFY(logged[links[2] + " *"].contains("upload failed: no reply from the scale"));
    }

    // A name after the link names the scale in the progress, the log and the report.
    void toFileNamesTheScales()
    {
        ScaleSim sim("tcp");
        QVERIFY(sim.Started());
        const QString list = dir.filePath("named.txt");
        WriteAll(list, (Link("tcp", sim) + " Deli counter  # by the door\n").toUtf8());
        const QString logPath = dir.filePath("named-log.txt");
        const Run r = Send({database, "--to-file", list, "--report", "json", "--log", logPath});
        QCOMPARE(r.code, 0);
        const QJsonObject s = QJsonDocument::fromJson(r.out).array().at(0).toObject();
        QCOMPARE(s["link"].toString(), Link("tcp", sim));
        QCOMPARE(s["name"].toString(), QStringLiteral("Deli counter"));
        QVERIFY(r.err.contains("Deli counter: accepted\n"));
        QVERIFY(ReadAll(logPath).contains(" Deli counter > SbP<0D><0A>\n"));
    }

    // Each finished scale's socket is closed at once: with --jobs 3 the
    // descriptors stay few however many scales have finished.
    void finishedScalesLetGoOfTheirLinks()
    {
        ScaleSim sim("tcp", {"--count", "30"});
        QVERIFY(sim.Started());
        QByteArray links;
        for (int i = 0; i < 30; ++i)
            links += QStringLiteral("tcp://127.0.0.1:%1\n").arg(sim.Port(i)).toLatin1();
        WriteAll(dir.filePath("fleet.txt"), links);
        WriteAll(dir.filePath("one.csv"), "1;Salt\n");
        QProcess p;
        p.start(QStringLiteral(SCALEDB_BINARY), {"send", dir.filePath("one.csv"), "--to-file", dir.filePath("fleet.txt"),
                                                 "--jobs", "3"});
        QVERIFY(p.waitForStarted());
        p.setReadChannel(QProcess::StandardError);  // a line per event
        const QString fds = QStringLiteral("/proc/%1/fd").arg(p.processId());
        QByteArray progress;
        int most = 0, lateSamples = 0;
        while (p.state() == QProcess::Running && p.waitForReadyRead(20000)) {
            progress += p.readAllStandardError();
            const int open = static_cast<int>(QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size());
            if (progress.count(": accepted\n") >= 20 && open > 0) {  // two thirds of the fleet finished
                ++lateSamples;
                most = std::max(most, open);
            }
        }
        QVERIFY(p.state() == QProcess::NotRunning || p.waitForFinished());
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(lateSamples > 0);
        // What the program holds besides, and each upload's few.
        QVERIFY2(most <= 12 + 3 * 3, qPrintable(QString::number(most)));
    }

    // A signal ends the run where it stands, with the whole report and log.
    void signalInterruptsEveryScale_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("code");
        QTest::newRow("SIGINT") << int(SIGINT) << 130;
        QTest::newRow("SIGTERM") << int(SIGTERM) << 143;
    }
    void signalInterruptsEveryScale()
    {
        QFETCH(int, signal);
        QFETCH(int, code);
        ScaleSim sim("tcp", {"--count", "3", "--silent-after", "1"});
        QVERIFY(sim.Started());
        const QString logPath = dir.filePath("interrupted.log");
        QStringList args{"send", dir.filePath("clean.csv"), "--jobs", "2", "--timeout", "60", "--report", "json",
                         "--log", logPath};
        for (int i = 0; i < 3; ++i)
            args << "--to" << QStringLiteral("tcp://127.0.0.1:%1").arg(sim.Port(i));
        QProcess p;
        p.start(QStringLiteral(SCALEDB_BINARY), args);
        const int sent = static_cast<int>(qstrlen("SbP\r\nSr1;Salt\r\n"));
        QVERIFY(sim.WaitRecorded(sent, 20000, 0) && sim.WaitRecorded(sent, 20000, 1));
        ::kill(static_cast<pid_t>(p.processId()), signal);
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), code);
        const QJsonArray scales = QJsonDocument::fromJson(p.readAllStandardOutput()).array();
        QCOMPARE(scales.size(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(scales[i].toObject()["outcome"].toString(), QStringLiteral("interrupted"));
            QCOMPARE(scales[i].toObject()["cause"].toString(), QStringLiteral("interrupted at record %1 of 2").arg(i < 2));
        }
        const QByteArray log = ReadAll(logPath);
        QCOMPARE(log.count("> Sr1;Salt<0D><0A>\n"), 2);
        QCOMPARE(log.count("upload interrupted at record 1 of 2\n"), 2);
    }

    // A database or log that is no regular file is refused before it is
    // opened in a way that waits; a links pipe nobody writes to is empty. A
    // links file's line that is no link is refused, its bytes shown safely.
    void inputsThatCouldBlock_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("err");
        QTest::newRow("database is a named pipe") << QStringList{"PIPE", "--to", "tcp://127.0.0.1:1"}
                                                  << QByteArray("pipe is not a regular file\n");
        QTest::newRow("database is a device") << QStringList{"/dev/zero", "--to", "tcp://127.0.0.1:1"}
                                              << QByteArray("scaledb: /dev/zero is not a regular file\n");
        QTest::newRow("log is a named pipe") << QStringList{"CLEAN", "--to", "tcp://127.0.0.1:1", "--log", "PIPE"}
                                             << QByteArray("pipe is not a regular file\n");
        QTest::newRow("links from a named pipe nobody writes to")
            << QStringList{"CLEAN", "--to-file", "PIPE"} << QByteArray("at least one --to LINK");
        QTest::newRow("links file with a line that is no link")
            << QStringList{"CLEAN", "--to-file", "BAD"} << QByteArray("bad.txt:2: bad link <01>tcp://[::1]:1<FF>\n");
    }
    void inputsThatCouldBlock()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, err);
        const QString pipe = dir.filePath("pipe");
        QFile::remove(pipe);
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        args.replaceInStrings(QRegularExpression("^PIPE$"), pipe);
        args.replaceInStrings(QRegularExpression("^CLEAN$"), dir.filePath("clean.csv"));
        WriteAll(dir.filePath("bad.txt"), "tcp://127.0.0.1:1\n\x01tcp://[::1]:1\xff\n");
        args.replaceInStrings(QRegularExpression("^BAD$"), dir.filePath("bad.txt"));
        const Run r = Send(args);
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains(err), r.err.constData());
    }

    void linksFromStandardInputOrANamedPipe()
    {
        ScaleSim sim("tcp", {"--count", "2"});
        QVERIFY(sim.Started());
        const auto link = [&](int i) { return QStringLiteral("tcp://127.0.0.1:%1\n").arg(sim.Port(i)).toLatin1(); };
        QProcess p;
        p.start(QStringLiteral(SCALEDB_BINARY), {"send", dir.filePath("clean.csv"), "--to-file", "-"});
        p.write("# from a pipe\n" + link(0));
        p.closeWriteChannel();
        QVERIFY(p.waitForFinished());
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        QVERIFY(sim.Recorded(0).endsWith("Se\r\n"));

        // A writer holds the pipe open while scaledb waits for its links.
        const QString pipe = dir.filePath("links-pipe");
        QFile::remove(pipe);
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        const int reader = ::open(QFile::encodeName(pipe).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        const int writer = ::open(QFile::encodeName(pipe).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(writer >= 0);
        const QByteArray text = link(1);
        QCOMPARE(::write(writer, text.constData(), static_cast<size_t>(text.size())), ssize_t(text.size()));
        ::close(reader);  // the writer keeps the pipe and what it holds
        p.start(QStringLiteral(SCALEDB_BINARY), {"send", dir.filePath("clean.csv"), "--to-file", pipe});
        QVERIFY(p.waitForStarted());
        int unread = 1;
        QTRY_VERIFY((::ioctl(writer, FIONREAD, &unread), unread == 0));  // scaledb took it
        ::close(writer);
        QVERIFY(p.waitForFinished());
        QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
        QVERIFY(sim.Recorded(1).endsWith("Se\r\n"));
    }

    void reportThatCannotBeWrittenExitsOne()
    {
        ScaleSim sim("tcp");
        QVERIFY(sim.Started());
        QProcess p;
        p.setStandardOutputFile(QStringLiteral("/dev/full"));
        p.start(QStringLiteral(SCALEDB_BINARY), {"send", dir.filePath("clean.csv"), "--to", Link("tcp", sim)});
        QVERIFY(p.waitForFinished());
        QCOMPARE(p.exitCode(), 1);
        const QByteArray err = p.readAllStandardError();
        QVERIFY2(err.contains("scaledb: cannot write the report: No space left on device\n"), err.constData());
    }

    void emptyDatabaseIsNotAccepted()
    {
        ScaleSim sim("tcp");
        QVERIFY(sim.Started());
        WriteAll(dir.filePath("empty.csv"), "\r\n\n");
        const Run r = Send({dir.filePath("empty.csv"), "--to", Link("tcp", sim)});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.out.contains(" the database is empty: only the start and end commands were sent\n"), r.out.constData());
        QCOMPARE(sim.Recorded(), QByteArray("SbP\r\nSe\r\n"));
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

    // Decided before any window: without a display each ends with its exit
    // status and message, never in Qt's "could not connect to display".
    void withoutADisplay_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QByteArray>("out");  // what standard output contains
        QTest::addColumn<QByteArray>("err");  // what standard error starts with
        QTest::newRow("unknown option") << QStringList{"--nonsense"} << 2 << QByteArray()
                                        << QByteArray("scaledb: unknown option --nonsense (see --help)\n");
        QTest::newRow("send misspelt") << QStringList{"sned", "x.csv"} << 2 << QByteArray()
                                       << QByteArray("scaledb: no file sned; did you mean `scaledb send`?\n");
        QTest::newRow("ports misspelt") << QStringList{"port"} << 2 << QByteArray()
                                        << QByteArray("scaledb: no file port; did you mean `scaledb ports`?\n");
        QTest::newRow("missing file") << QStringList{"/no/such/db.csv"} << 2 << QByteArray()
                                      << QByteArray("scaledb: no file /no/such/db.csv\n");
        QTest::newRow("scales list, then a missing file") << QStringList{"--scales", "list.txt", "/no/such/db.csv"} << 2
                                                          << QByteArray() << QByteArray("scaledb: no file /no/such/db.csv\n");
        QTest::newRow("Qt option without its value") << QStringList{"-style"} << 2 << QByteArray() << QByteArray("scaledb: ");
        QTest::newRow("help") << QStringList{"--help"} << 0 << QByteArray("  --timeout SECONDS     Ends an upload") << QByteArray();
        QTest::newRow("help under POSIX") << QStringList{"--help", "LANG=POSIX"} << 0
                                          << QByteArray("Usage: scaledb [--scales LIST] [FILE]\n") << QByteArray();
        QTest::newRow("help in Polish") << QStringList{"--help", "LANG=pl_PL.UTF-8"} << 0
                                        << QByteArray("  --timeout SECONDS     Kończy wysyłanie, gdy polecenie nie dostaje") << QByteArray();
        QTest::newRow("help in Polish, from LANGUAGE") << QStringList{"--help", "LANGUAGE=de:pl", "LANG=de_DE.UTF-8"} << 0
                                                       << QByteArray("Użycie: scaledb [--scales LIST] [FILE]\n") << QByteArray();
        QTest::newRow("help in German: no catalogue") << QStringList{"--help", "LANG=de_DE.UTF-8"} << 0
                                                      << QByteArray("\nOptions:\n  --to LINK") << QByteArray();
        QTest::newRow("send's message in Polish") << QStringList{"send", "x.csv", "--to", "tcp://h:1", "--quiet", "--progress", "LANG=pl_PL.UTF-8"}
                                                  << 2 << QByteArray() << QByteArray("scaledb: --quiet i --progress wykluczają się\n");
        QTest::newRow("version") << QStringList{"--version"} << 0 << QByteArray("scaledb 1.03\n") << QByteArray();
        QTest::newRow("send with a wrong option") << QStringList{"send", "x.csv", "--to", "tcp://h:1", "--nonsense"} << 2
                                                  << QByteArray() << QByteArray("scaledb: Unknown option 'nonsense'");
    }
    void withoutADisplay()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        QProcess p;
        // LANG=C unless a row's trailing NAME=VALUE arguments say otherwise.
        QProcessEnvironment env = Language(QStringLiteral("C"));
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(name);
        while (!args.isEmpty() && args.last().contains('=')) {
            const QString setting = args.takeLast();
            env.insert(setting.section('=', 0, 0), setting.section('=', 1));
        }
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(SCALEDB_BINARY), args);
        QVERIFY(p.waitForFinished(30000));
        const QByteArray error = p.readAllStandardError();
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QVERIFY2(p.exitCode() == code, error.constData());
        QVERIFY(p.readAllStandardOutput().contains(out));
        QVERIFY2(error.startsWith(err), error.constData());
    }

    // Two links to one scale are refused before anything is sent.
    void sameScaleTwice_data()
    {
        QTest::addColumn<QString>("first");  // host of each link
        QTest::addColumn<QString>("second");
        QTest::newRow("the same link") << "127.0.0.1" << "127.0.0.1";
        QTest::newRow("leading zeros") << "127.0.0.1" << "127.000.000.001";
    }
    void sameScaleTwice()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        ScaleSim sim("tcp");
        QVERIFY(sim.Started());
        const QString a = Link("tcp", sim, first), b = Link("tcp", sim, second);
        const Run r = Send({database, "--to", a, "--to", b});
        QCOMPARE(r.code, 2);
        QCOMPARE(r.err, QStringLiteral("scaledb: %1 and %2 are the same scale\n").arg(a, b).toLocal8Bit());
        QCOMPARE(sim.Recorded(), QByteArray());
    }

    // Off a terminal: a line per event; --progress draws the bar there too;
    // --quiet leaves standard error empty.
    void progressOnStandardError_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("err");  // a pattern for standard error
        QTest::newRow("event lines") << "" << "^tcp://[0-9.:]+: connected\n(.*\n)*tcp://[0-9.:]+: accepted\n$";
        QTest::newRow("--progress") << "--progress" << R"(\[#{20}\] 2 of 2, [0-9]+\.[0-9] records/s, accepted\n$)";
        QTest::newRow("--quiet") << "--quiet" << "^$";
        // COLUMNS gives the width off a terminal: a long name is cut only where the bar would not fit.
        QTest::newRow("--progress, 400 columns") << "--progress COLUMNS=400"
                                                 << R"(\r\033\[Kw{170} \[#{20}\] 2 of 2, [^\n]*accepted\n$)";
    }
    void progressOnStandardError()
    {
        QFETCH(QString, option);
        QFETCH(QString, err);
        ScaleSim sim("tcp");
        QVERIFY(sim.Started());
        QStringList args{dir.filePath("clean.csv"), "--to", Link("tcp", sim)};
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (option.contains("COLUMNS=")) {
            const QString list = dir.filePath("wide.txt");
            WriteAll(list, (Link("tcp", sim) + ' ' + QString(170, 'w') + '\n').toUtf8());
            args = QStringList{dir.filePath("clean.csv"), "--to-file", list};
            env.insert("COLUMNS", option.section("COLUMNS=", 1));
            option = option.section(' ', 0, 0);
        }
        if (!option.isEmpty())
            args << option;
        const Run r = Send(args, env);
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.contains("accepted"));
        QVERIFY2(QRegularExpression(err).match(QString::fromLocal8Bit(r.err)).hasMatch(), r.err.constData());
    }

    // Names are looked up as their scales start, 20 at a time, each within
    // --connect-timeout; links that need no lookup start at once. The whole
    // run ends within twice the connect timeout, however many names.
    void linksInALoopbackNamespace_data()
    {
        QTest::addColumn<QStringList>("links");
        QTest::addColumn<QStringList>("causes");  // what each scale's cause starts with; empty: accepted
        QTest::addColumn<bool>("loopbackUp");
        const QString scale("tcp://127.0.0.1:4001");
        QStringList names, notFound;
        for (int i = 1; i <= 2000; ++i) {
            names << QStringLiteral("tcp://n%1.invalid:4001").arg(i);
            notFound << QStringLiteral("cannot connect: host not found: n%1.invalid").arg(i);
        }
        QTest::newRow("2,000 names that do not resolve, one scale") << names + QStringList{scale} << notFound + QStringList{""} << true;
        QTest::newRow("a name that resolves") << QStringList{"tcp://localhost:4001"} << QStringList{""} << true;
        QTest::newRow("a name and its address")
            << QStringList{"tcp://localhost:4001", scale} << QStringList{"cannot connect: the same scale as " + scale, ""} << true;
        // The link's own cause, said once.
        QTest::newRow("loopback down") << QStringList{scale} << QStringList{"cannot connect: Network is down"} << false;
    }
    void linksInALoopbackNamespace()
    {
        QFETCH(QStringList, links);
        QFETCH(QStringList, causes);
        QFETCH(bool, loopbackUp);
        const QString list = dir.filePath("names.txt");
        WriteAll(list, (links.join('\n') + '\n').toUtf8());
        // Twice a connect timeout long enough that a sanitized build on a busy machine starts in it.
        const Isolated r = SendIsolated({dir.filePath("clean.csv"), "--to-file", list, "--connect-timeout", "5", "--report", "json"},
                                        10000, loopbackUp);
        if (!r.skip.isEmpty())
            QSKIP(qPrintable(r.skip));
        QVERIFY2(r.run.code != 97 && r.run.code != -1, r.run.err.constData());
        QCOMPARE(r.run.code, causes.count(QString()) == causes.size() ? 0 : 1);
        const QJsonArray scales = QJsonDocument::fromJson(r.run.out).array();
        QCOMPARE(scales.size(), links.size());
        for (qsizetype i = 0; i < links.size(); ++i) {
            const QJsonObject s = scales[i].toObject();
            QCOMPARE(s["outcome"].toString(), causes[i].isEmpty() ? QStringLiteral("accepted") : QStringLiteral("failed"));
            QVERIFY2(s["cause"].toString().startsWith(causes[i]), qPrintable(s["cause"].toString()));
        }
        QCOMPARE(r.recorded, causes.contains(QString()) ? QByteArray("SbP\r\nSr1;Salt\r\nSr2;Pepper\r\nSe\r\n") : QByteArray());
        QCOMPARE(r.run.err.count(": looking up\n"), links.filter(".invalid:").size() + links.filter("localhost").size());
    }

    // A reader that goes away or stops reading: a closed standard error ends
    // the progress, not the upload; a report nobody reads holds the run at
    // most a second after SIGTERM.
    void pipesNobodyReads_data()
    {
        QTest::addColumn<int>("fd");  // the program's end of the pipe
        QTest::newRow("standard error closed") << int(STDERR_FILENO);
        QTest::newRow("standard output not read, SIGTERM") << int(STDOUT_FILENO);
    }
    void pipesNobodyReads()
    {
        QFETCH(int, fd);
        ScaleSim sim("tcp");
        QVERIFY(sim.Started());
        int ends[2];
        QCOMPARE(::pipe2(ends, O_CLOEXEC), 0);
        if (fd == STDERR_FILENO) {
            ::close(ends[0]);
        } else {  // full before the run: the report cannot go
            QCOMPARE(::fcntl(ends[1], F_SETFL, O_NONBLOCK), 0);
            const QByteArray fill(4096, 'x');
            while (::write(ends[1], fill.constData(), fill.size()) > 0) {
            }
        }
        const int writer = ends[1];
        QProcess p;
        p.setChildProcessModifier([writer, fd] { ::dup2(writer, fd); });
        p.start(QStringLiteral(SCALEDB_BINARY), {"send", dir.filePath("clean.csv"), "--to", Link("tcp", sim)});
        QVERIFY(p.waitForStarted());
        ::close(writer);
        if (fd == STDERR_FILENO) {
            QVERIFY(p.waitForFinished(30000));
            QCOMPARE(p.exitStatus(), QProcess::NormalExit);
            QCOMPARE(p.exitCode(), 0);
            QVERIFY(p.readAllStandardOutput().endsWith(" accepted\n"));
            return;
        }
        QVERIFY(sim.WaitRecorded(int(qstrlen("SbP\r\nSr1;Salt\r\nSr2;Pepper\r\nSe\r\n")), 20000));
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(2000));
        ::close(ends[0]);
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 143);
        QVERIFY(p.readAllStandardError().contains("scaledb: cannot write the report: "));
    }

    // A record no scale may take, or memory that runs out, fails every scale
    // with the cause in the report (exit 1), never an abort.
    void everyScaleFailsWithTheCause_data()
    {
        QTest::addColumn<char>("fill");          // the file's bytes: 0 is a sparse file
        QTest::addColumn<int>("addressSpaceMiB");  // the program's limit; 0: none
        QTest::addColumn<QString>("cause");
        QTest::newRow("a record over 16 MiB") << '\0' << 0 << "record 1 is 16,777,217 bytes, over the 16 MiB a record may have";
        // 16 Mi lines need 192 MiB of row tables.
        QTest::newRow("out of memory") << '\n' << 150 << "out of memory";
    }
    void everyScaleFailsWithTheCause()
    {
        QFETCH(char, fill);
        QFETCH(int, addressSpaceMiB);
        QFETCH(QString, cause);
        if (addressSpaceMiB && Sanitized)
            QSKIP("a sanitizer's shadow memory makes an address-space limit meaningless");
        const QString path = dir.filePath("large.csv");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        if (fill)
            QCOMPARE(file.write(QByteArray(16777217, fill)), qint64(16777217));
        else
            QVERIFY(file.resize(16777217));  // sparse, as truncate -s makes it
        file.close();
        QProcess p;
        p.setChildProcessModifier([addressSpaceMiB] {
            if (addressSpaceMiB) {
                const rlimit limit{rlim_t(addressSpaceMiB) << 20, rlim_t(addressSpaceMiB) << 20};
                ::setrlimit(RLIMIT_AS, &limit);
            }
        });
        p.start(QStringLiteral(SCALEDB_BINARY), {"send", path, "--to", "tcp://127.0.0.1:1", "--to", "udp://127.0.0.1:1",
                                                 "--udp-port", "0", "--report", "json"});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 1);
        const QJsonArray scales = QJsonDocument::fromJson(p.readAllStandardOutput()).array();
        QCOMPARE(scales.size(), 2);
        for (const QJsonValue& s : scales) {
            QCOMPARE(s.toObject()["outcome"].toString(), QStringLiteral("failed"));
            QVERIFY2(s.toObject()["cause"].toString().startsWith(cause), qPrintable(s.toObject()["cause"].toString()));
        }
        QFile::remove(path);
    }

    // What bash offers after `scaledb send db.csv --k`, with the completion sourced.
    void bashCompletesOptions()
    {
        QProcess bash;
        bash.start(QStringLiteral("bash"), {"-c", "source \"$0\"; COMP_WORDS=(scaledb send db.csv --k); COMP_CWORD=3; _scaledb; "
                                                  "echo \"${COMPREPLY[*]}\"",
                                            QStringLiteral(SCALEDB_DATA "/scaledb.bash-completion")});
        QVERIFY(bash.waitForFinished(30000));
        QCOMPARE(bash.readAllStandardOutput(), QByteArray("--kind\n"));
    }

    void manPageHasNoWarnings()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("man")).isEmpty())
            QSKIP("man is not installed");
        QProcess man;
        man.start(QStringLiteral("man"), {"--warnings", "-l", QStringLiteral(SCALEDB_DATA "/scaledb.1")});
        QVERIFY(man.waitForFinished(30000));
        QCOMPARE(man.exitCode(), 0);
        QCOMPARE(man.readAllStandardError(), QByteArray());
        QVERIFY(man.readAllStandardOutput().contains("scaledb send"));
    }

    // A scale that answers record 2 with a late duplicate of record 1's "Mr"
    // and then its own "Mx": record 2 goes again, and every record arrives whole.
    void lateDuplicateAnswerResendsTheRecord()
    {
        ScaleSim sim("tcp", {"--repeat-reply-at", "3", "--wrong-at", "3"});
        QVERIFY(sim.Started());
        const Run r = Send({database, "--to", Link("tcp", sim)});
        QVERIFY2(r.code == 0, r.out.constData());
        QByteArray expected = streamed;
        expected.replace("Sr2; Pepper ;\r\n", "Sr2; Pepper ;\r\nSr2; Pepper ;\r\n");
        QCOMPARE(sim.Recorded(), expected);
    }

    // A device that streams text without line ends: the scale fails with the
    // cause at --timeout, and the log holds a bounded part of the stream.
    void deviceWithoutLineEnds_data()
    {
        QTest::addColumn<QByteArray>("chunk");
        QTest::addColumn<qint64>("logBound");  // one run of discarded text logs no more than this
        QTest::addColumn<QByteArray>("answer");  // to the start command, before the stream
        QTest::newRow("no line end ever") << QByteArray(64 * 1024, '0') << qint64(1024 * 1024) << QByteArray();
        // Each line is past what a reply may be: wrong answers to record 1 with
        // no text to quote, each line a run of its own, until --retries ends it.
        QTest::newRow("lines past the bound") << QByteArray(100 * 1024, '0') + '\n' << qint64(-1) << QByteArray("MbP\r\n");
    }
    void deviceWithoutLineEnds()
    {
        QFETCH(QByteArray, chunk);
        QFETCH(qint64, logBound);
        QFETCH(QByteArray, answer);
        QTcpServer device;
        QVERIFY(device.listen(QHostAddress::LocalHost));
        qint64 streamed = 0;
        connect(&device, &QTcpServer::newConnection, this, [&] {
            QTcpSocket* s = device.nextPendingConnection();
            const auto more = [s, &chunk, &streamed] {
                while (s->bytesToWrite() < 4 * chunk.size())
                    streamed += s->write(chunk);
            };
            // The stream starts with the first command.
            connect(s, &QTcpSocket::readyRead, s, [s, &answer, more] {
                if (s->readAll().contains("Sb")) {
                    s->write(answer);
                    connect(s, &QTcpSocket::bytesWritten, s, more);
                    more();
                }
            });
        });
        const QString log = dir.filePath("stream.log");
        QProcess p;
        p.start(QStringLiteral(SCALEDB_BINARY), {"send", database, "--to", QStringLiteral("tcp://127.0.0.1:%1").arg(device.serverPort()),
                                                 "--timeout", "3", "--retries", "2", "--log", log});
        QTRY_VERIFY_WITH_TIMEOUT(p.state() == QProcess::NotRunning, 30000);
        QCOMPARE(p.exitCode(), 1);
        QVERIFY2(p.readAllStandardOutput().contains("the device sends text without line ends (a scale in continuous output mode, or the wrong port?)"),
                 "cause not named");
        QVERIFY(streamed > 2 * 1024 * 1024);
        QFile file(log);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(logBound < 0 || file.size() < logBound);
        QVERIFY(file.readAll().contains(" bytes without a line end"));
    }
};

QTEST_GUILESS_MAIN(SendCommandTest)
#include "sendcommand_test.moc"
