// The TCP client on its own: every failed attempt ends in a disconnect, and
// Active reads true exactly between connect and disconnect.
#include "ClientSocket.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QNetworkProxyFactory>
#include <QTest>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace {

// A listener on 127.0.0.1 whose accept queue is kept full, so the kernel
// drops further SYNs and a connect neither succeeds nor is refused.
class SilentListener {
public:
    SilentListener()
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&a), len);
        ::listen(listener_, 0);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        filled_ = ::connect(filler_, reinterpret_cast<sockaddr*>(&a), len) == 0;
    }
    ~SilentListener()
    {
        ::close(filler_);
        ::close(listener_);
    }
    bool Ready() const { return filled_; }
    quint16 Port() const { return port_; }

private:
    int listener_ = -1;
    int filler_ = -1;
    quint16 port_ = 0;
    bool filled_ = false;
};

quint16 ClosedTcpPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

class ClientSocketTest : public QObject {
    Q_OBJECT

    // Notifications in order, with what Active read inside each.
    QStringList log;

    void Wire(TClientSocket& client)
    {
        client.OnConnect = [this](TClientSocket& s) { log << QString("connect active=%1").arg(s.Active()); };
        client.OnDisconnect = [this](TClientSocket& s) { log << QString("disconnect active=%1").arg(s.Active()); };
        client.OnError = [this](TClientSocket&, TErrorEvent e, int& code) {
            log << QString("error %1 code=%2").arg(e).arg(code);
            code = 0;
        };
    }

    // Wired, and aimed at a local port.
    void Aim(TClientSocket& client, quint16 port)
    {
        Wire(client);
        client.Host = "127.0.0.1";
        client.Port = port;
    }

private slots:
    // The test's own sockets go direct too: no system proxy query and its thread.
    void initTestCase() { QNetworkProxyFactory::setUseSystemConfiguration(false); }

    void init() { log.clear(); }

    void failedAttemptEndsInDisconnect_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("empty host") << "" << 80 << QStringList{"disconnect active=0"};
        QTest::newRow("refused")
            << "127.0.0.1" << int(ClosedTcpPort())
            << QStringList{QString("error %1 code=%2").arg(eeConnect).arg(ECONNREFUSED), "disconnect active=0"};
        QTest::newRow("lookup failed")
            << "no-such-host.invalid" << 80
            << QStringList{QString("error %1 code=%2").arg(eeLookup).arg(EHOSTUNREACH), "disconnect active=0"};
    }

    void failedAttemptEndsInDisconnect()
    {
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(QStringList, expected);
        TClientSocket client;
        Wire(client);
        client.Host = host;
        client.Port = port;
        client.SetActive(true);
        QTRY_COMPARE(log, expected);
        QVERIFY(!client.Active());
    }

    void unansweredAttemptTimesOut()
    {
        SilentListener silent;
        QVERIFY(silent.Ready());
        TClientSocket client;
        Wire(client);
        client.Host = "127.0.0.1";
        client.Port = silent.Port();
        client.ConnectTimeoutMs = 200;
        client.SetActive(true);
        QTRY_COMPARE(log, QStringList({QString("error %1 code=%2").arg(eeConnect).arg(ETIMEDOUT),
                                       "disconnect active=0"}));
    }

    void activeOnlyBetweenConnectAndDisconnect()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        TClientSocket client;
        Aim(client, server.serverPort());
        client.SetActive(true);
        QVERIFY(!client.Active());
        QTRY_COMPARE(log, QStringList{"connect active=1"});
        QVERIFY(client.Active());

        client.SetActive(false); // the disconnect comes before this returns
        QCOMPARE(log, QStringList({"connect active=1", "disconnect active=0"}));
        QVERIFY_THROWS_EXCEPTION(ESocketError, client.SendString("Se\r\n"));
    }

    // Past what the socket's buffer takes at once, the rest goes as room frees:
    // every byte, in order, with what is sent after it.
    void sendBeyondTheBufferArrivesWhole()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        TClientSocket client;
        Aim(client, server.serverPort());
        client.SetActive(true);
        QTRY_VERIFY(client.Active() && server.hasPendingConnections());
        QTcpSocket* peer = server.nextPendingConnection();
        QByteArray big(8 << 20, '\0');
        for (qsizetype i = 0; i < big.size(); ++i)
            big[i] = static_cast<char>(i * 7 + i / 251);
        QCOMPARE(client.SendString(big), big.size());
        QCOMPARE(client.SendString("Se\r\n"), 4);
        QByteArray got;
        QTRY_VERIFY_WITH_TIMEOUT((got += peer->readAll()).size() >= big.size() + 4, 20000);
        QVERIFY(got == big + "Se\r\n");
        QCOMPARE(log, QStringList{"connect active=1"});
    }

    // A reader that closes the link on the reply it reads, as an upload's end does.
    void closeFromTheReadHandler()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        TClientSocket client;
        Aim(client, server.serverPort());
        client.OnRead = [this](TClientSocket& s) {
            log << "read " + QString::fromLatin1(s.ReceiveString());
            s.SetActive(false);
        };
        client.SetActive(true);
        QTRY_VERIFY(client.Active() && server.hasPendingConnections());
        QTcpSocket* peer = server.nextPendingConnection();
        peer->write("Me\r\n");
        QTRY_COMPARE(log, QStringList({"connect active=1", "read Me\r\n", "disconnect active=0"}));
        QTRY_COMPARE(peer->state(), QAbstractSocket::UnconnectedState);
    }

    void releaseClosesWithoutNotification()
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        auto client = std::make_unique<TClientSocket>();
        Aim(*client, server.serverPort());
        client->SetActive(true);
        QTRY_VERIFY(client->Active() && server.hasPendingConnections());
        QTcpSocket* peer = server.nextPendingConnection();
        client.reset();
        QTRY_COMPARE(peer->state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(log, QStringList{"connect active=1"});
    }
};

QTEST_GUILESS_MAIN(ClientSocketTest)
#include "clientsocket_test.moc"
