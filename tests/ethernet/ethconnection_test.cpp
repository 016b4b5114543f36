// The Ethernet link against real sockets on 127.0.0.1: states as the main
// window receives them, bytes as the scale receives them, replies as the
// upload receives them.
#include "EthConnection.h"
#include "Global.h"
#include "PostMessage.h"

#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QNetworkProxyFactory>
#include <QTest>
#include <QThread>
#include <QUdpSocket>

#include <memory>

using States = QList<qint64>;

// Stands in for the main window: keeps every WM_LINKSTATE in order.
class StateRecorder : public QObject {
public:
    States Posted;

    bool event(QEvent* e) override
    {
        if (e->type() != TWindowMessage::Type())
            return QObject::event(e);
        const auto* message = static_cast<TWindowMessage*>(e);
        if (message->Msg == WM_LINKSTATE && message->LParam == 0)
            Posted << message->WParam;
        return true;
    }
};

class EthConnectionTest : public QObject {
    Q_OBJECT

    std::unique_ptr<StateRecorder> window;
    QList<QByteArray> replies;
    bool replyOffMainThread = false;

    std::unique_ptr<CEthConnection> NewLink(quint16 udpPort = 0)
    {
        auto link = std::make_unique<CEthConnection>(
            [this](const QByteArray& text) {
                if (QThread::currentThread() != QCoreApplication::instance()->thread())
                    replyOffMainThread = true;
                replies << text;
            },
            udpPort);
        link->StateTarget = window.get();
        return link;
    }

    States Delivered()
    {
        QCoreApplication::sendPostedEvents(window.get());
        return window->Posted;
    }

    // Connects the link to server and returns the scale's end.
    static QTcpSocket* ConnectTcp(CEthConnection& link, QTcpServer& server, const QString& host)
    {
        link.ToggleConnection(0, host, server.serverPort());
        if (!QTest::qWaitFor([&] { return link.State == 2 && server.hasPendingConnections(); }))
            return nullptr;
        return server.nextPendingConnection();
    }

    static quint16 ClosedTcpPort()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        return probe.serverPort(); // closed again on return
    }

    static QByteArray NextDatagram(QUdpSocket& socket, quint16* senderPort = nullptr)
    {
        if (!QTest::qWaitFor([&] { return socket.hasPendingDatagrams(); }))
            return "(nothing came)";
        const QNetworkDatagram d = socket.receiveDatagram();
        if (senderPort)
            *senderPort = static_cast<quint16>(d.senderPort());
        return d.data();
    }

private slots:
    // The test's own sockets go direct too: no system proxy query and its thread.
    void initTestCase() { QNetworkProxyFactory::setUseSystemConfiguration(false); }

    void init()
    {
        ResetGlobals();
        window = std::make_unique<StateRecorder>();
        replies.clear();
        replyOffMainThread = false;
    }

    void cleanup()
    {
        window.reset();
    }

    void tcpEmptyHostEndsAtOnce()
    {
        auto link = NewLink();
        link->ToggleConnection(0, "", 4000);
        QCOMPARE(link->State, 0);
        QCOMPARE(Delivered(), States({0, 0}));
    }

    void tcpFailedAttemptEndsDisconnected_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::newRow("refused on a closed port") << "127.0.0.1" << int(ClosedTcpPort());
        QTest::newRow("name that cannot be looked up") << "no-such-host.invalid" << 80;
    }

    void tcpFailedAttemptEndsDisconnected()
    {
        QFETCH(QString, host);
        QFETCH(int, port);
        auto link = NewLink();
        link->ToggleConnection(0, host, port);
        QCOMPARE(Delivered(), States({1}));
        QTRY_COMPARE(window->Posted, States({1, 0}));
        QCOMPARE(link->State, 0);

        // The next press starts a fresh attempt rather than resetting.
        link->ToggleConnection(0, host, port);
        QTRY_COMPARE(window->Posted, States({1, 0, 1, 0}));
    }

    void tcpConnectSendAndDisconnect_data()
    {
        QTest::addColumn<QString>("host");
        QTest::newRow("dotted address") << "127.0.0.1";
        QTest::newRow("host name looked up") << "localhost";
    }

    void tcpConnectSendAndDisconnect()
    {
        QFETCH(QString, host);
        QTcpServer scale;
        QVERIFY(scale.listen(QHostAddress::LocalHost, 0));
        auto link = NewLink();
        QTcpSocket* peer = ConnectTcp(*link, scale, host);
        QVERIFY(peer);
        QCOMPARE(Delivered(), States({1, 2}));

        link->SendTcpText("Se\r\n");
        QTRY_COMPARE(peer->bytesAvailable(), qint64(4));
        QCOMPARE(peer->readAll(), QByteArray("\x53\x65\x0d\x0a"));

        link->ToggleConnection(0, host, scale.serverPort());
        QCOMPARE(Delivered(), States({1, 2, 0, 0}));
        QVERIFY(!link->TcpClient);
        QTRY_COMPARE(peer->state(), QAbstractSocket::UnconnectedState);

        link->SendTcpText("late\r\n"); // nothing open: silently nothing
        QCOMPARE(link->State, 0);
    }

    void tcpPeerCloseDisconnects()
    {
        QTcpServer scale;
        QVERIFY(scale.listen(QHostAddress::LocalHost, 0));
        auto link = NewLink();
        QTcpSocket* peer = ConnectTcp(*link, scale, "127.0.0.1");
        QVERIFY(peer);
        peer->close();
        QTRY_COMPARE(window->Posted, States({1, 2, 0}));
        QCOMPARE(link->State, 0);

        link->ToggleConnection(0, "127.0.0.1", scale.serverPort());
        QTRY_COMPARE(window->Posted, States({1, 2, 0, 1, 2}));
    }

    void tcpReplyPiecesReachSinkOneByOne()
    {
        QTcpServer scale;
        QVERIFY(scale.listen(QHostAddress::LocalHost, 0));
        auto link = NewLink();
        QTcpSocket* peer = ConnectTcp(*link, scale, "127.0.0.1");
        QVERIFY(peer);
        peer->write("Mr");
        QTRY_COMPARE(replies.size(), 1);
        peer->write("\r\n");
        QTRY_COMPARE(replies.size(), 2);
        QCOMPARE(replies, QList<QByteArray>({"Mr", "\r\n"}));
    }

    void destroyWhileTcpConnectedPostsOneZero()
    {
        QTcpServer scale;
        QVERIFY(scale.listen(QHostAddress::LocalHost, 0));
        auto link = NewLink();
        QTcpSocket* peer = ConnectTcp(*link, scale, "127.0.0.1");
        QVERIFY(peer);
        QCOMPARE(Delivered(), States({1, 2}));
        link.reset();
        QCOMPARE(Delivered(), States({1, 2, 0}));
        QTRY_COMPARE(peer->state(), QAbstractSocket::UnconnectedState);
    }

    void otherProtocolRepostsState_data()
    {
        QTest::addColumn<bool>("udpOpen");
        QTest::addColumn<qint64>("state");
        QTest::newRow("idle") << false << qint64(0);
        QTest::newRow("udp endpoint open") << true << qint64(2);
    }

    void otherProtocolRepostsState()
    {
        QFETCH(bool, udpOpen);
        QFETCH(qint64, state);
        auto link = NewLink();
        if (udpOpen)
            link->ToggleConnection(1, "127.0.0.1", 9);
        const States before = Delivered();
        link->ToggleConnection(2, "127.0.0.1", 9);
        QCOMPARE(Delivered(), before + States({state}));
        QCOMPARE(link->State, state);
    }

    void udpOpenSendsZeroByteFromBoundPort()
    {
        QUdpSocket scale;
        QVERIFY(scale.bind(QHostAddress::LocalHost, 0));
        auto link = NewLink();
        link->ToggleConnection(1, "127.0.0.1", scale.localPort());
        QCOMPARE(Delivered(), States({2}));
        quint16 from = 0;
        QCOMPARE(NextDatagram(scale, &from), QByteArray(1, '\0'));
        QCOMPARE(from, link->UdpBoundPort());
        QVERIFY(from != 0);
    }

    void udpCommandIsOneDatagramWithZero_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("end command") << QByteArray("Se");
        QTest::newRow("command over 99 bytes") << QByteArray("Sr" + QByteArray(148, 'x'));
    }

    void udpCommandIsOneDatagramWithZero()
    {
        QFETCH(QByteArray, text);
        QUdpSocket scale;
        QVERIFY(scale.bind(QHostAddress::LocalHost, 0));
        EthHost = "127.0.0.1";
        EthPort = scale.localPort();
        auto link = NewLink();
        link->ToggleConnection(1, EthHost, EthPort);
        QCOMPARE(NextDatagram(scale), QByteArray(1, '\0'));
        link->SendUdpText(EthHost, EthPort, text);
        QCOMPARE(NextDatagram(scale), text + '\0');
    }

    void udpHostNameSendsNothing()
    {
        QUdpSocket scale;
        QVERIFY(scale.bind(QHostAddress::LocalHost, 0));
        EthHost = "localhost";
        EthPort = scale.localPort();
        auto link = NewLink();
        link->ToggleConnection(1, EthHost, EthPort);
        QCOMPARE(Delivered(), States({0}));  // a name is no address the scale answers from
        QVERIFY(link->LastCause.contains("not an IPv4 address"));
        link->SendUdpText(EthHost, EthPort, "Se");

        // Redirected: the next command goes to the address it is given.
        EthHost = "127.0.0.1";
        link->ToggleConnection(1, EthHost, EthPort);
        QCOMPARE(NextDatagram(scale), QByteArray(1, '\0'));
        link->SendUdpText(EthHost, EthPort, "Sx");
        QCOMPARE(NextDatagram(scale), QByteArray("Sx\0", 3));
    }

    // Typed as the dialog's mask suggests: the parts are decimal, never octal.
    void leadingZerosMeanDecimal_data()
    {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("scale");
        QTest::newRow("udp 127.000.000.001") << 1 << "127.000.000.001" << "127.0.0.1";
        QTest::newRow("udp 127.0.0.010") << 1 << "127.0.0.010" << "127.0.0.10";
        QTest::newRow("tcp 127.000.000.001") << 0 << "127.000.000.001" << "127.0.0.1";
        QTest::newRow("tcp 127.0.0.010") << 0 << "127.0.0.010" << "127.0.0.10";
    }
    void leadingZerosMeanDecimal()
    {
        QFETCH(int, protocol);
        QFETCH(QString, typed);
        QFETCH(QString, scale);
        auto link = NewLink();
        if (protocol == 0) {
            QTcpServer server;
            QVERIFY(server.listen(QHostAddress(scale), 0));
            QVERIFY(ConnectTcp(*link, server, typed));
        } else {
            QUdpSocket socket;
            QVERIFY(socket.bind(QHostAddress(scale), 0));
            link->ToggleConnection(1, typed, socket.localPort());
            QCOMPARE(NextDatagram(socket), QByteArray(1, '\0'));
            link->SendUdpText(typed, socket.localPort(), "Se");
            QCOMPARE(NextDatagram(socket), QByteArray("Se\0", 3));
        }
    }

    // Only the scale's address answers for it, from whatever port.
    void udpRepliesCountOnlyFromTheScale()
    {
        QUdpSocket scale, scaleOtherPort, stranger;
        QVERIFY(scale.bind(QHostAddress("127.0.0.2"), 0));
        QVERIFY(scaleOtherPort.bind(QHostAddress("127.0.0.2"), 0));
        QVERIFY(stranger.bind(QHostAddress("127.0.0.3"), 0));
        auto link = NewLink();
        link->ToggleConnection(1, "127.0.0.2", scale.localPort());
        QList<QPair<std::uint32_t, std::uint64_t>> reports;
        link->UdpPort->OnIgnored = [&](std::uint32_t from, std::uint64_t count) { reports.append({from, count}); };
        for (int i = 0; i < 3; ++i)
            stranger.writeDatagram("Mr\r\n", QHostAddress::LocalHost, link->UdpBoundPort());
        scaleOtherPort.writeDatagram("Me\r\n", QHostAddress::LocalHost, link->UdpBoundPort());
        QTRY_COMPARE(replies, QList<QByteArray>{"Me\r\n"});
        QTRY_COMPARE(link->UdpPort->Ignored(), 3u);
        // Counted, then told once for the three.
        QTRY_VERIFY(!reports.isEmpty());
        QCOMPARE(reports, (QList<QPair<std::uint32_t, std::uint64_t>>{{0x7F000003u, 3u}}));
    }

    void causeIsNamed_data()
    {
        QTest::addColumn<int>("protocol");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("cause");
        QTest::newRow("refused") << 0 << "127.0.0.1" << "connection refused";
        QTest::newRow("name that does not resolve") << 0 << "no-such-scale.invalid" << "host not found";
        QTest::newRow("not four numbers") << 0 << "192.168.1" << "not an IPv4 address";
        QTest::newRow("udp part over 255") << 1 << "192.168.1.300" << "not an IPv4 address";
        QTest::newRow("udp port held by another socket") << 1 << "127.0.0.1" << "in use by another program";
    }
    void causeIsNamed()
    {
        QFETCH(int, protocol);
        QFETCH(QString, host);
        QFETCH(QString, cause);
        QUdpSocket holder;
        QVERIFY(holder.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::DontShareAddress));
        auto link = NewLink(QTest::currentDataTag() == QByteArray("udp port held by another socket") ? holder.localPort() : 0);
        link->ToggleConnection(static_cast<std::uint8_t>(protocol), host, ClosedTcpPort());
        // A name lookup may take its time where no resolver answers at once.
        QTRY_COMPARE_WITH_TIMEOUT(link->State, 0, 15000);
        QVERIFY2(link->LastCause.contains(cause), qPrintable(link->LastCause));
    }

    void udpDatagramsReachSink_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QList<QByteArray>>("expected");
        QTest::newRow("reply with CR LF") << QByteArray("Mr\r\n") << QList<QByteArray>{"Mr\r\n"};
        QTest::newRow("bytes after a zero dropped") << QByteArray("Mr\0abc", 6) << QList<QByteArray>{"Mr"};
        QTest::newRow("empty datagram passes nothing") << QByteArray() << QList<QByteArray>{};
        QTest::newRow("leading zero passes nothing") << QByteArray("\0Mr", 3) << QList<QByteArray>{};
        QTest::newRow("200 bytes cut to 100") << QByteArray(200, 'a') << QList<QByteArray>{QByteArray(100, 'a')};
        QTest::newRow("100 bytes whole") << QByteArray(100, 'b') << QList<QByteArray>{QByteArray(100, 'b')};
    }

    void udpDatagramsReachSink()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QList<QByteArray>, expected);
        QUdpSocket scale;
        QVERIFY(scale.bind(QHostAddress::LocalHost, 0));
        auto link = NewLink();
        link->ToggleConnection(1, "127.0.0.1", scale.localPort());
        const quint16 port = link->UdpBoundPort();
        QVERIFY(port != 0);

        // A marker after the datagram shows when everything before it was handled.
        scale.writeDatagram(datagram, QHostAddress::LocalHost, port);
        scale.writeDatagram("end", QHostAddress::LocalHost, port);
        QTRY_VERIFY(!replies.isEmpty() && replies.last() == "end");
        QCOMPARE(replies, expected + QList<QByteArray>{"end"});
        QVERIFY(!replyOffMainThread);
    }

    void udpBurstArrivesWholeAndInOrder()
    {
        QUdpSocket scale;
        QVERIFY(scale.bind(QHostAddress::LocalHost, 0));
        auto link = NewLink();
        link->ToggleConnection(1, "127.0.0.1", scale.localPort());
        QList<QByteArray> sent;
        for (int i = 0; i < 100; ++i) {
            sent << "Mr" + QByteArray::number(i) + "\n";
            scale.writeDatagram(sent.last(), QHostAddress::LocalHost, link->UdpBoundPort());
        }
        QTRY_COMPARE(replies.size(), sent.size());
        QCOMPARE(replies, sent);
    }

    void udpLocalPortTakenReportsDisconnected()
    {
        QUdpSocket other;
        QVERIFY(other.bind(QHostAddress::AnyIPv4, 0, QAbstractSocket::DontShareAddress));
        auto link = NewLink(other.localPort());
        link->ToggleConnection(1, "127.0.0.1", 9);
        QCOMPARE(Delivered(), States({0}));
        QCOMPARE(link->State, 0);

        // Once the port is free, the next press opens the endpoint.
        other.close();
        link->ToggleConnection(1, "127.0.0.1", 9);
        QCOMPARE(Delivered(), States({0, 2}));
    }

    void udpCloseFreesPort()
    {
        auto link = NewLink();
        link->ToggleConnection(1, "127.0.0.1", 9);
        const quint16 port = link->UdpBoundPort();
        link->ToggleConnection(1, "127.0.0.1", 9);
        QCOMPARE(Delivered(), States({2, 0}));
        QVERIFY(!link->UdpPort);
        QUdpSocket after;
        QVERIFY(after.bind(QHostAddress::AnyIPv4, port, QAbstractSocket::DontShareAddress));
    }

    void destroyWithUdpRepliesPendingDropsThem()
    {
        QUdpSocket scale;
        QVERIFY(scale.bind(QHostAddress::LocalHost, 0));
        auto link = NewLink();
        link->ToggleConnection(1, "127.0.0.1", scale.localPort());
        const quint16 port = link->UdpBoundPort();
        scale.writeDatagram("Mr\n", QHostAddress::LocalHost, port);
        QTRY_COMPARE(replies.size(), 1);

        // These may be queued for the main thread when the link goes away;
        // the queued call must then die with the link.
        for (int i = 0; i < 20; ++i)
            scale.writeDatagram("Mr\n", QHostAddress::LocalHost, port);
        link.reset();
        const qsizetype seen = replies.size();
        QCoreApplication::processEvents();
        QCOMPARE(replies.size(), seen);
    }
};

QTEST_GUILESS_MAIN(EthConnectionTest)
#include "ethconnection_test.moc"
