// The scale simulator as the program meets it: a real pseudo-terminal, real
// sockets on 127.0.0.1, the simulator as a child process.
#include "TestSupport.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace {

// The program's end of a link to the simulator, in whichever mode it runs.
class Link {
public:
    explicit Link(const QString& mode) : mode_(mode) {}
    ~Link()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }

    // To the simulator's scale-th scale (from 0).
    bool Open(const ScaleSim& sim, int scale = 0)
    {
        port_ = sim.Port(scale);
        if (mode_ == "serial") {
            fd_ = ::open(sim.Device().toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            return fd_ >= 0;
        }
        host_ = QHostAddress(sim.Host(scale));
        if (mode_ == "tcp") {
            tcp_.connectToHost(host_, port_);
            return tcp_.waitForConnected(5000);
        }
        return udp_.bind(QHostAddress::LocalHost, 0);
    }

    // How the program frames a command on this link.
    QByteArray Frame(const QByteArray& command) const
    {
        return mode_ == "udp" ? command + '\0' : command + "\r\n";
    }

    void SendRaw(const QByteArray& bytes)
    {
        if (mode_ == "serial")
            QCOMPARE(::write(fd_, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
        else if (mode_ == "tcp")
            tcp_.write(bytes);
        else
            udp_.writeDatagram(bytes, host_, port_);
    }

    // One reply: a whole datagram over UDP, else the bytes up to a LF.
    QByteArray ReadReply(int timeoutMs = 5000)
    {
        QDeadlineTimer deadline(timeoutMs);
        if (mode_ == "udp") {
            while (!udp_.hasPendingDatagrams() && !deadline.hasExpired())
                udp_.waitForReadyRead(50);
            return udp_.hasPendingDatagrams() ? udp_.receiveDatagram().data() : QByteArray();
        }
        while (!in_.contains('\n') && !deadline.hasExpired()) {
            if (mode_ == "tcp") {
                tcp_.waitForReadyRead(50);
                in_ += tcp_.readAll();
                continue;
            }
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0) {
                char buffer[256];
                const ssize_t n = ::read(fd_, buffer, sizeof buffer);
                if (n > 0)
                    in_.append(buffer, n);
            }
        }
        const qsizetype end = in_.indexOf('\n') + 1;
        const QByteArray reply = in_.left(end);
        in_.remove(0, end);
        return reply;
    }

private:
    QString mode_;
    QHostAddress host_;
    quint16 port_ = 0;
    int fd_ = -1;
    QTcpSocket tcp_;
    QUdpSocket udp_;
    QByteArray in_;
};

// Connects to a TCP simulator, sends everything at once and collects what
// comes back until the simulator closes the connection.
QByteArray TcpUntilClosed(quint16 port, const QByteArray& input, bool& closed)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(5000))
        return {};
    socket.write(input);
    QByteArray received;
    QDeadlineTimer deadline(10000);
    while (socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
        socket.waitForReadyRead(50);
        received += socket.readAll();
    }
    received += socket.readAll();
    closed = socket.state() != QAbstractSocket::ConnectedState;
    return received;
}

QByteArray ReadyLine(QProcess& process)
{
    QDeadlineTimer deadline(10000);
    while (!process.canReadLine() && !deadline.hasExpired())
        process.waitForReadyRead(50);
    return process.readLine();
}

} // namespace

class SimTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(qEnvironmentVariable("SCALE_SIM")), "SCALE_SIM names the simulator");
    }

    void exchange_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QByteArray>("opening"); // sent before the upload, never answered
        QTest::addColumn<int>("count");          // scales in the one simulator
        QTest::newRow("serial, pseudo-terminal") << "serial" << QByteArray() << 1;
        QTest::newRow("tcp") << "tcp" << QByteArray() << 1;
        QTest::newRow("udp, with the link's 1-byte opening datagram") << "udp" << QByteArray(1, '\0') << 1;
        QTest::newRow("three tcp scales, each its own count and recording") << "tcp" << QByteArray() << 3;
        QTest::newRow("three udp scales on 127.0.0.2-4") << "udp" << QByteArray(1, '\0') << 3;
    }
    void exchange()
    {
        QFETCH(QString, mode);
        QFETCH(QByteArray, opening);
        QFETCH(int, count);
        QStringList options{QStringLiteral("--wrong-at"), QStringLiteral("4")};
        if (count > 1)
            options << QStringLiteral("--count") << QString::number(count);
        if (count > 1 && mode == "udp")
            options << QStringLiteral("--host") << QStringLiteral("127.0.0.2");
        ScaleSim sim(mode, options);
        QVERIFY(sim.Started());
        std::vector<std::unique_ptr<Link>> links;
        for (int i = 0; i < count; ++i) {
            if (count > 1 && mode == "udp")
                QCOMPARE(sim.Host(i), QStringLiteral("127.0.0.%1").arg(i + 2));
            links.push_back(std::make_unique<Link>(mode));
            QVERIFY(links.back()->Open(sim, i));
        }

        const QList<QPair<QByteArray, QByteArray>> steps{
            {"SbP", "MbP\r\n"},
            {"Sr7;S\xE9l \xB9;1.20", "Mr\r\n"}, // bytes above 0x7F and a blank go through unchanged
            {"Sr;;;;", "Mr\r\n"},
            {"Sr8;x", "Mx\r\n"}, // each scale's fourth command: the opening datagram was not counted
            {"Se", "Me\r\n"},
        };
        QByteArray wire = opening;
        for (const auto& link : links)
            if (!opening.isEmpty())
                link->SendRaw(opening);
        // Every scale has its command before any reply is read: one scale
        // answering for another, or one count for all, shows as a wrong reply.
        for (const auto& [command, reply] : steps) {
            for (const auto& link : links)
                link->SendRaw(link->Frame(command));
            wire += links.front()->Frame(command);
            for (const auto& link : links)
                QCOMPARE(link->ReadReply(), reply);
        }
        for (int i = 0; i < count; ++i) {
            QVERIFY(sim.WaitRecorded(int(wire.size()), 5000, i));
            QCOMPARE(sim.Recorded(i), wire);
        }
    }

    void replies_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("product start") << QByteArray("SbP\r\n") << QByteArray("MbP\r\n");
        QTest::newRow("user start") << QByteArray("SbU\r\n") << QByteArray("MbU\r\n");
        QTest::newRow("status start") << QByteArray("SbS\r\n") << QByteArray("MbS\r\n");
        QTest::newRow("record without fields") << QByteArray("Sr\r\n") << QByteArray("Mr\r\n");
        QTest::newRow("bare LF ends a line") << QByteArray("SbU\n") << QByteArray("MbU\r\n");
        QTest::newRow("lower case unknown") << QByteArray("sbp\r\n") << QByteArray();
        QTest::newRow("start with more letters unknown") << QByteArray("SbPx\r\n") << QByteArray();
        QTest::newRow("end with trailing blank unknown") << QByteArray("Se \r\n") << QByteArray();
        QTest::newRow("CR alone ends nothing") << QByteArray("SbP\rSe\r\n") << QByteArray();
    }
    void replies()
    {
        QFETCH(QByteArray, line);
        QFETCH(QByteArray, reply);
        ScaleSim sim(QStringLiteral("tcp"));
        QVERIFY(sim.Started());
        Link link(QStringLiteral("tcp"));
        QVERIFY(link.Open(sim));
        // The end command after it shows, without waiting out a silence,
        // whether the line had a reply of its own.
        link.SendRaw(line + "Se\r\n");
        QByteArray received = link.ReadReply();
        if (received != "Me\r\n")
            received += link.ReadReply();
        QCOMPARE(received, reply + "Me\r\n");
    }

    void misbehaviour_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QByteArray>("received"); // everything before the simulator hangs up
        const QByteArray upload = "SbP\r\nSr1;a\r\nSr2;b\r\nSr3;c\r\nSe\r\n";
        QTest::newRow("wrong replies at 2 and 4")
            << QStringList{"--wrong-at", "2,4", "--drop-after", "5"} << upload
            << QByteArray("MbP\r\nMx\r\nMr\r\nMx\r\nMe\r\n");
        QTest::newRow("blank lines are not counted")
            << QStringList{"--wrong-at", "2", "--drop-after", "3"} << QByteArray("SbP\r\n\r\n \t\r\nSr1\r\nSe\r\n")
            << QByteArray("MbP\r\nMx\r\nMe\r\n");
        QTest::newRow("unknown command counted, still unanswered")
            << QStringList{"--wrong-at", "1,2", "--drop-after", "3"} << QByteArray("Sx\r\nSbP\r\nSe\r\n")
            << QByteArray("Mx\r\nMe\r\n");
        QTest::newRow("silent after the second")
            << QStringList{"--silent-after", "2", "--drop-after", "5"} << upload << QByteArray("MbP\r\nMr\r\n");
        QTest::newRow("silent after 0 never answers")
            << QStringList{"--silent-after", "0", "--drop-after", "2"} << upload << QByteArray();
        QTest::newRow("drop after the second: later commands unanswered")
            << QStringList{"--drop-after", "2"} << upload << QByteArray("MbP\r\nMr\r\n");
        QTest::newRow("drop at the third: it goes unanswered")
            << QStringList{"--drop-at", "3"} << upload << QByteArray("MbP\r\nMr\r\n");
        QTest::newRow("delayed split replies stay in order")
            << QStringList{"--delay", "30", "--split", "--drop-after", "5"} << upload
            << QByteArray("MbP\r\nMr\r\nMr\r\nMr\r\nMe\r\n");
    }
    void misbehaviour()
    {
        QFETCH(QStringList, options);
        QFETCH(QByteArray, input);
        QFETCH(QByteArray, received);
        ScaleSim sim(QStringLiteral("tcp"), options);
        QVERIFY(sim.Started());
        bool closed = false;
        QCOMPARE(TcpUntilClosed(sim.Port(), input, closed), received);
        QVERIFY(closed);
        QVERIFY(sim.WaitRecorded(int(input.size())));
        QCOMPARE(sim.Recorded(), input);
    }

    void tcpServesNextClient_data()
    {
        QTest::addColumn<bool>("simulatorDrops");
        QTest::newRow("after a drop") << true;
        QTest::newRow("after the client left") << false;
    }
    void tcpServesNextClient()
    {
        QFETCH(bool, simulatorDrops);
        ScaleSim sim(QStringLiteral("tcp"), simulatorDrops ? QStringList{"--drop-after", "1"} : QStringList{});
        QVERIFY(sim.Started());
        {
            QTcpSocket first;
            first.connectToHost(QHostAddress::LocalHost, sim.Port());
            QVERIFY(first.waitForConnected(5000));
            first.write("SbP\r\n");
            QTRY_COMPARE(first.bytesAvailable(), qint64(5));
            QCOMPARE(first.readAll(), QByteArray("MbP\r\n"));
            if (simulatorDrops)
                QTRY_COMPARE(first.state(), QAbstractSocket::UnconnectedState);
        }
        Link second(QStringLiteral("tcp"));
        QVERIFY(second.Open(sim));
        second.SendRaw("Sr1\r\n");
        QCOMPARE(second.ReadReply(), QByteArray("Mr\r\n"));
    }

    void splitSendsTwoPieces()
    {
        // A wide gap, so the two pieces cannot meet in the test's buffer.
        ScaleSim sim(QStringLiteral("tcp"), {QStringLiteral("--split"), QStringLiteral("--split-gap"), QStringLiteral("400")});
        QVERIFY(sim.Started());
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, sim.Port());
        QVERIFY(socket.waitForConnected(5000));
        socket.write("SbS\r\n");
        QTRY_VERIFY(socket.bytesAvailable() > 0);
        QCOMPARE(socket.readAll(), QByteArray("M"));
        QTRY_COMPARE(socket.bytesAvailable(), qint64(4));
        QCOMPARE(socket.readAll(), QByteArray("bS\r\n"));
    }

    void serialDropDeliversLastReplyThenExits()
    {
        QTemporaryDir dir;
        const QString record = dir.filePath(QStringLiteral("record.bin"));
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(qEnvironmentVariable("SCALE_SIM"), {"--serial", "--drop-after", "2", "--record", record});
        const QList<QByteArray> ready = ReadyLine(process).trimmed().split(' ');
        QCOMPARE(ready.size(), 3);
        QCOMPARE(ready[0], QByteArray("READY"));
        const int fd = ::open(ready[2].constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        const auto closeFd = qScopeGuard([fd] { ::close(fd); });
        QByteArray in;
        auto readUntil = [&](qsizetype size) {
            QDeadlineTimer deadline(5000);
            while (in.size() < size && !deadline.hasExpired()) {
                pollfd p{fd, POLLIN, 0};
                char buffer[64];
                if (::poll(&p, 1, 50) > 0 && (p.revents & POLLIN)) {
                    const ssize_t n = ::read(fd, buffer, sizeof buffer);
                    if (n > 0)
                        in.append(buffer, n);
                }
            }
        };
        QCOMPARE(::write(fd, "SbP\r\n", 5), ssize_t(5));
        readUntil(5);
        QCOMPARE(::write(fd, "Sr1\r\n", 5), ssize_t(5));
        QTRY_COMPARE(QFileInfo(record).size(), qint64(10));
        // Leave the last reply unread a while: a simulator that hung up now
        // would take it with it, since a hang-up flushes what was not read.
        process.waitForFinished(500);
        readUntil(9);
        QCOMPARE(in, QByteArray("MbP\r\nMr\r\n"));
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
    }

    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("runsUntilSignal");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("help") << QStringList{"--help"} << false << 0;
        QTest::newRow("no mode") << QStringList{} << false << 2;
        QTest::newRow("two modes") << QStringList{"--tcp", "0", "--udp", "0"} << false << 2;
        QTest::newRow("port out of range") << QStringList{"--tcp", "70000"} << false << 2;
        QTest::newRow("port not a number") << QStringList{"--udp", "12a"} << false << 2;
        QTest::newRow("wrong-at counts from 1") << QStringList{"--tcp", "0", "--wrong-at", "0"} << false << 2;
        QTest::newRow("wrong-at empty item") << QStringList{"--tcp", "0", "--wrong-at", "1,,2"} << false << 2;
        QTest::newRow("option without value") << QStringList{"--tcp", "0", "--delay"} << false << 2;
        QTest::newRow("unknown option") << QStringList{"--tcp", "0", "--frob"} << false << 2;
        QTest::newRow("host not IPv4") << QStringList{"--tcp", "0", "--host", "scale.local"} << false << 2;
        QTest::newRow("host with serial") << QStringList{"--serial", "--host", "127.0.0.1"} << false << 2;
        QTest::newRow("count with serial") << QStringList{"--serial", "--count", "2"} << false << 2;
        QTest::newRow("missing device") << QStringList{"--device", "/nonexistent/ttyS9"} << false << 1;
        QTest::newRow("SIGTERM ends serial") << QStringList{"--serial"} << true << 0;
        QTest::newRow("SIGTERM ends tcp") << QStringList{"--tcp", "0", "--log"} << true << 0;
        QTest::newRow("SIGTERM ends udp") << QStringList{"--udp=0", "--host=127.0.0.1"} << true << 0;
    }
    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, runsUntilSignal);
        QFETCH(int, exitCode);
        QProcess process;
        process.start(qEnvironmentVariable("SCALE_SIM"), arguments);
        QVERIFY(process.waitForStarted(5000));
        if (runsUntilSignal) {
            QVERIFY(ReadyLine(process).startsWith("READY "));
            process.terminate();
        }
        QVERIFY(process.waitForFinished(5000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), exitCode);
        if (arguments == QStringList{"--help"})
            QVERIFY(process.readAllStandardOutput().contains("--drop-after"));
        else if (exitCode != 0)
            QVERIFY(!process.readAllStandardError().isEmpty());
    }
};

QTEST_GUILESS_MAIN(SimTest)
#include "sim_test.moc"
