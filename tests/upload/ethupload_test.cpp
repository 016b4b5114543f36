// Uploads from the real main window over TCP and UDP to the scale simulator.
#include "CheckFormAnswer.h"
#include "LogEntries.h"
#include "EthConnection.h"
#include "Global.h"
#include "TestSupport.h"
#include "WindowTestEnv.h"
#include "StatusLine.h"
#include "okno.h"

#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>
#include <QUdpSocket>

#include <QElapsedTimer>
#include <QRegularExpression>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>

class EthUploadTest : public QObject {
    Q_OBJECT

    std::unique_ptr<WindowTestEnv> env;

    std::unique_ptr<TForm1> ConnectedWindow(int protocol, const QString& host, quint16 port, const QByteArray& database)
    {
        auto w = std::make_unique<TForm1>();
        const QString path = env->folder.File("db.csv");
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return nullptr;
        f.write(database);
        f.close();
        w->LoadDatabase(path);
        ConnectionKind = 1;
        EthProtocol = static_cast<std::int8_t>(protocol);
        EthHost = host;
        EthPort = port;
        w->btnOpenPort->click();
        if (!QTest::qWaitFor([&] { return w->LinkState == 2; }, 5000))
            return nullptr;
        return w;
    }

    // A host on 127.0.0.9 sending the replies a scale would give to `port`, as
    // fast as the endpoint takes them: never more than fill its receive buffer
    // half-way, where the kernel would start dropping the scale's replies too.
    static void Flood(quint16 port, const TUdpPort& udp, const std::atomic<bool>& stop, std::atomic<long>& sent)
    {
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in from{}, to{};
        from.sin_family = to.sin_family = AF_INET;
        from.sin_addr.s_addr = htonl(0x7F000009);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(port);
        if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&from), sizeof from) != 0)
            return;
        for (long n = 0; n < 50'000'000 && !stop.load(); ++n) {
            while (sent.load() - static_cast<long>(udp.Ignored()) > 2000 && !stop.load())
                std::this_thread::yield();
            if (::sendto(fd, "Mr\r\n", 4, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 4)
                ++sent;
        }
        ::close(fd);
    }

private slots:
    void init() { env = std::make_unique<WindowTestEnv>(); }
    void cleanup() { env.reset(); }

    void uploadReachesTheScale_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray cell("\xA5\xB9 \xFF");
        QTest::newRow("tcp") << "tcp" << "127.0.0.1"
                             << QByteArray("SbP\r\nSr1;Salt\r\nSr2;" + cell + "\r\nSe\r\n");
        QTest::newRow("tcp by host name") << "tcp" << "localhost"
                                          << QByteArray("SbP\r\nSr1;Salt\r\nSr2;" + cell + "\r\nSe\r\n");
        // Over UDP each command is one datagram ending in one zero byte; the first is the opening datagram.
        QTest::newRow("udp") << "udp" << "127.0.0.1"
                             << QByteArray("\0SbP\0Sr1;Salt\0Sr2;", 18) + cell + QByteArray("\0Se\0", 4);
    }
    void uploadReachesTheScale()
    {
        QFETCH(QString, mode);
        QFETCH(QString, host);
        QFETCH(QByteArray, expected);
        ScaleSim sim(mode);
        QVERIFY(sim.Started());
        auto w = ConnectedWindow(mode == "udp" ? 1 : 0, host, sim.Port(), "1;Salt\n2;\xA5\xB9 \xFF\n");
        QVERIFY(w);
        QCOMPARE(w->LabelConnection->text(), host + QStringLiteral(" connected"));
        w->bbWyslijBaze->click();
        QVERIFY(QTest::qWaitFor([&] { return env->boxes.Count() >= 1; }, 10000));
        QCOMPARE(env->boxes.Boxes()[0].text, QStringLiteral("Database was sent to scale."));
        QCOMPARE(sim.Recorded(), expected);
        QCOMPARE(w->ProgressBar1->value(), 100);
        const quint16 local = w->EthLink->UdpBoundPort();
        w->btnOpenPort->click();
        QTRY_COMPARE(w->LinkState, 0);
        QCOMPARE(w->LabelConnection->text(), host + QStringLiteral(" disconnected"));
        // The log: each command as framed, as the scale recorded it (less
        // UDP's opening datagram), and the scale's replies, piece and line.
        const TCommLog& log = w->CommLog;
        const QByteArray replies("MbP\r\nMr\r\nMr\r\nMe\r\n");
        QCOMPARE(Logged(log, TCommLog::lkSent),
                 mode == "udp" ? Commands(expected.mid(1), '\0') : Commands(expected, '\n'));
        QCOMPARE(Logged(log, TCommLog::lkReceived).join(), replies);
        QCOMPARE(Logged(log, TCommLog::lkReply), Commands(replies, '\n'));
        QCOMPARE(log.LinkName(log.At(0).Link), QStringLiteral("%1://%2:%3").arg(mode, host).arg(sim.Port()));
        const QList<QByteArray> story{"upload started: product database, 2 rows", "upload accepted"};
        const QList<QByteArray> events = mode == "udp"
            ? QList<QByteArray>{"opened, local UDP port " + QByteArray::number(local)} + story + QList<QByteArray>{"closed"}
            : QList<QByteArray>{"connecting", "connected"} + story + QList<QByteArray>{"closed"};
        // The link's events, apart from the desktop's (the sleep lock).
        QCOMPARE(Logged(log, TCommLog::lkEvent, log.At(0).Link), events);
        w->FormClose();
    }

    void eightRowsOverUdp()
    {
        ScaleSim sim("udp");
        QVERIFY(sim.Started());
        auto w = ConnectedWindow(1, "127.0.0.1", sim.Port(), "1\n2\n3\n4\n5\n6\n7\n8\n");
        QVERIFY(w);
        QList<int> seen;
        connect(w->ProgressBar1, &QProgressBar::valueChanged, this, [&](int v) { seen << v; });
        w->bbWyslijBaze->click();
        QVERIFY(QTest::qWaitFor([&] { return env->boxes.Count() >= 1; }, 10000));
        QCOMPARE(seen, (QList<int>{12, 25, 38, 50, 62, 75, 88, 100}));
        w->FormClose();
    }

    // A record of 98 bytes makes a 100-byte command: too long for UDP alone.
    void recordTooLongForUdpIsFoundOverUdpOnly_data()
    {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<int>("shown");
        QTest::newRow("tcp") << 0 << 0;
        QTest::newRow("udp") << 1 << 1;
    }
    void recordTooLongForUdpIsFoundOverUdpOnly()
    {
        QFETCH(int, protocol);
        QFETCH(int, shown);
        TForm1 w;
        const QString path = env->folder.File("db.csv");
        WriteAll(path, QByteArray(98, 'x') + "\n");
        w.LoadDatabase(path);
        ConnectionKind = 1;
        EthProtocol = static_cast<std::int8_t>(protocol);
        CheckFormAnswer answer("btnCancel");
        w.bbWyslijBaze->click();
        QCOMPARE(answer.Shown, shown);
        QCOMPARE(answer.Listed.contains("row 1: 98 bytes; its UDP command is 100 bytes"), shown == 1);
        w.FormClose();
    }

    // A stranger flooding our UDP port neither starves the scale's replies
    // nor fills the log: one summary line a second, with the count.
    void strangerFloodCannotStarveTheScale()
    {
        ScaleSim sim("udp");
        QVERIFY(sim.Started());
        auto w = ConnectedWindow(1, "127.0.0.1", sim.Port(), "1;Salt\n2;Pepper\n3;Sugar\n");
        QVERIFY(w);
        std::atomic<bool> stop{false};
        std::atomic<long> sent{0};
        QElapsedTimer flooding;
        flooding.start();
        const TUdpPort& udp = *w->EthLink->UdpPort;
        std::thread stranger(Flood, w->EthLink->UdpBoundPort(), std::cref(udp), std::cref(stop), std::ref(sent));
        QTRY_VERIFY(sent.load() > 1000);
        w->bbWyslijBaze->click();
        const bool done = QTest::qWaitFor([&] { return env->boxes.Count() >= 1; }, 20000);
        stop = true;
        stranger.join();
        QVERIFY(done);
        QCOMPARE(env->boxes.Boxes()[0].text, QStringLiteral("Database was sent to scale."));
        QCOMPARE(sim.Recorded(), QByteArray("\0SbP\0Sr1;Salt\0Sr2;Pepper\0Sr3;Sugar\0Se\0", 38));

        const QRegularExpression line("^ignored ([0-9,]+) datagrams? from 127\\.0\\.0\\.9$");
        std::uint64_t reported = 0;
        int lines = 0;
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
            reported = 0;
            lines = 0;
            for (const QByteArray& e : Logged(w->CommLog, TCommLog::lkEvent)) {
                const auto m = line.match(QString::fromUtf8(e));
                if (m.hasMatch()) {
                    reported += m.captured(1).remove(',').toULongLong();
                    ++lines;
                }
            }
            return reported > 0 && reported == udp.Ignored();
        }()), 10000);
        QVERIFY(lines <= 1 + flooding.elapsed() / 1000);
        w->FormClose();
    }

    // A command longer than the largest datagram is not sent, and says so.
    void commandTooLongForADatagram()
    {
        ScaleSim sim("udp");
        QVERIFY(sim.Started());
        auto w = ConnectedWindow(1, "127.0.0.1", sim.Port(), QByteArray(70000, 'x') + "\n");
        QVERIFY(w);
        CheckFormAnswer anyway("btnSendAnyway");  // the check finds it too long for UDP
        w->bbWyslijBaze->click();
        const QString cause("a command of 70,002 bytes and its zero byte do not fit in a datagram's 65,507");
        QTRY_COMPARE(w->StatusLine->Text(), QStringLiteral("Could not send record 1 of 1 (%1): press Stop").arg(cause));
        QVERIFY(Logged(w->CommLog, TCommLog::lkEvent).contains("not sent: " + cause.toUtf8()));
        QCOMPARE(Logged(w->CommLog, TCommLog::lkSent), QList<QByteArray>{QByteArray("SbP\0", 4)});
        w->FormClose();
    }

    void scaleDroppingTheConnectionShowsDisconnected()
    {
        ScaleSim sim("tcp", {"--drop-after", "2"});
        QVERIFY(sim.Started());
        auto w = ConnectedWindow(0, "127.0.0.1", sim.Port(), "a\nb\nc\n");
        QVERIFY(w);
        w->bbWyslijBaze->click();
        QTRY_COMPARE(w->LinkState, 0);
        QCOMPARE(w->LabelConnection->text(), QStringLiteral("127.0.0.1 disconnected"));
        QCOMPARE(w->LabelConnection->toolTip(), QStringLiteral("connection lost"));
        QTRY_COMPARE(w->StatusLine->Text(), QStringLiteral("Connection lost at record 2 of 3: press Connect to go on, or Stop"));
        QCOMPARE(env->boxes.Count(), 0);
        w->FormClose();
    }

    // The scale drops the link while record 5 awaits its answer, or cuts it
    // in the middle of record 3, and takes the next connection: Connect is
    // free, and once pressed the scale's half line is ended, the record goes
    // again whole (a stray answer on the new connection completes nothing)
    // and the upload ends as ever.
    void droppedLinkGoesOnAfterConnect_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("lostAt");
        QTest::addColumn<QByteArray>("recorded");
        const QByteArray upTo2("SbP\r\nSr1\r\nSr2\r\n");
        QTest::newRow("dropped awaiting record 5") << QStringList{"--drop-at", "6"} << 5
            << upTo2 + "Sr3\r\nSr4\r\nSr5\r\n\r\nSr5\r\nSr6\r\nSe\r\n";
        QTest::newRow("cut mid-record, converter, stray answer")
            << QStringList{"--cut-after", "17", "--keep-line", "--greet", "Mr"} << 3
            << upTo2 + "Sr\r\nSr3\r\nSr4\r\nSr5\r\nSr6\r\nSe\r\n";
    }
    void droppedLinkGoesOnAfterConnect()
    {
        QFETCH(QStringList, options);
        QFETCH(int, lostAt);
        QFETCH(QByteArray, recorded);
        ScaleSim sim("tcp", options);
        QVERIFY(sim.Started());
        auto w = ConnectedWindow(0, "127.0.0.1", sim.Port(), "1\n2\n3\n4\n5\n6\n");
        QVERIFY(w);
        w->bbWyslijBaze->click();
        QTRY_COMPARE(w->LinkState, 0);
        QTRY_COMPARE(w->StatusLine->Text(),
                     QStringLiteral("Connection lost at record %1 of 6: press Connect to go on, or Stop").arg(lostAt));
        QVERIFY(w->btnOpenPort->isEnabled());
        w->btnOpenPortClick();
        QVERIFY(QTest::qWaitFor([&] { return env->boxes.Count() >= 1; }, 10000));
        QCOMPARE(env->boxes.Boxes()[0].text, QStringLiteral("Database was sent to scale."));
        QCOMPARE(sim.Recorded(), recorded);
        QVERIFY(Logged(w->CommLog, TCommLog::lkEvent).contains("line ended before the resend: the scale may hold the front of a cut command"));
        w->FormClose();
    }

    // Connect fails: the label turns red as ever, its tooltip and the status line say why.
    void failedConnectNamesTheCause_data()
    {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("cause");
        QTest::newRow("refused") << 0 << "127.0.0.1" << "connection refused";
        QTest::newRow("name that does not resolve") << 0 << "no-such-scale.invalid"
                                                    << "host not found: no-such-scale.invalid";
        QTest::newRow("udp port held by another socket") << 1 << "127.0.0.1" << "UDP port %1 in use by another program";
    }
    void failedConnectNamesTheCause()
    {
        QFETCH(int, protocol);
        QFETCH(QString, host);
        QFETCH(QString, cause);
        QUdpSocket holder;  // another program on our local UDP port
        QVERIFY(holder.bind(QHostAddress::AnyIPv4, 0));
        TForm1::UdpLocalPort = holder.localPort();
        QTcpServer closed;  // a free TCP port that nobody listens on
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        auto w = std::make_unique<TForm1>();
        ConnectionKind = 1;
        EthProtocol = static_cast<std::int8_t>(protocol);
        EthHost = host;
        EthPort = port;
        w->btnOpenPort->click();
        if (cause.contains("%1"))
            cause = cause.arg(holder.localPort());
        QTRY_COMPARE_WITH_TIMEOUT(w->LabelConnection->toolTip(), cause, 15000);
        QCOMPARE(w->LabelConnection->text(), host + QStringLiteral(" disconnected"));
        QCOMPARE(w->StatusLine->Text(), host + QStringLiteral(": ") + cause);
        w->FormClose();
    }
};

QTEST_MAIN(EthUploadTest)
#include "ethupload_test.moc"
