// The UDP endpoint on its own: what it refuses to send to, what its listener
// hands over, and that closing waits for the listener.
#include "IdUdpServer.h"

#include <QNetworkProxyFactory>
#include <QTest>
#include <QUdpSocket>

#include <atomic>
#include <mutex>
#include <thread>

class UdpServerTest : public QObject {
    Q_OBJECT

    // Datagrams as the listener thread saw them, read back under the lock.
    struct Inbox {
        std::mutex mutex;
        QList<QByteArray> items;
        void Add(const QByteArray& d)
        {
            std::lock_guard lock(mutex);
            items << d;
        }
        QList<QByteArray> Items()
        {
            std::lock_guard lock(mutex);
            return items;
        }
    };

    static void Open(TIdUDPServer& server)
    {
        server.DefaultPort = 0;
        server.AddBinding();
        server.SetActive(true);
    }

private slots:
    // The test's own sockets go direct too: no system proxy query and its thread.
    void initTestCase() { QNetworkProxyFactory::setUseSystemConfiguration(false); }

    void sendRefusesAnythingButDottedIpv4_data()
    {
        QTest::addColumn<QString>("host");
        QTest::newRow("host name") << "localhost";
        QTest::newRow("empty") << "";
        QTest::newRow("three numbers") << "127.0.1";
        QTest::newRow("number over 255") << "127.0.0.256";
        QTest::newRow("IPv6 loopback") << "::1";
        QTest::newRow("trailing blank") << "127.0.0.1 ";
    }

    void sendRefusesAnythingButDottedIpv4()
    {
        QFETCH(QString, host);
        TIdUDPServer server;
        Open(server);
        QVERIFY_THROWS_EXCEPTION(EIdSocketError,
                                 server.ActiveBinding().SendDatagram(host, 9, QByteArray(1, '\0')));
    }

    void listenerHandsOverExactBytes_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("zero bytes inside") << QByteArray("a\0b\0", 4);
        QTest::newRow("full buffer") << QByteArray(8192, 'z');
    }

    void listenerHandsOverExactBytes()
    {
        QFETCH(QByteArray, datagram);
        Inbox inbox;
        TIdUDPServer server;
        std::atomic<std::uint32_t> from{0};
        server.OnUDPRead = [&](const QByteArray& d, std::uint32_t peer) {
            from = peer;
            inbox.Add(d);
        };
        Open(server);
        QUdpSocket peer;
        peer.writeDatagram(datagram, QHostAddress::LocalHost, server.BoundPort());
        QTRY_COMPARE(inbox.Items().size(), 1);
        QCOMPARE(inbox.Items().first(), datagram);
        QCOMPARE(from.load(), 0x7F000001u);
    }

    void dottedDecimalAddresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<quint32>("address");
        QTest::newRow("plain") << "192.168.1.100" << true << 0xC0A80164u;
        QTest::newRow("leading zeros as the mask suggests") << "192.168.001.100" << true << 0xC0A80164u;
        QTest::newRow("010 is ten, not octal eight") << "127.0.0.010" << true << 0x7F00000Au;
        QTest::newRow("part over 255") << "192.168.1.256" << false << 0u;
        QTest::newRow("three parts") << "192.168.1" << false << 0u;
        QTest::newRow("four digits") << "192.168.1.0100" << false << 0u;
        QTest::newRow("empty part") << "192..1.1" << false << 0u;
        QTest::newRow("five parts") << "192.168.1.1.1" << false << 0u;
        QTest::newRow("trailing dot") << "192.168.1.1." << false << 0u;
        QTest::newRow("name") << "localhost" << false << 0u;
        QTest::newRow("hex") << "0x7f.0.0.1" << false << 0u;
    }
    void dottedDecimalAddresses()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(quint32, address);
        std::uint32_t parsed = 0;
        QCOMPARE(ParseDottedDecimal(text, parsed), valid);
        if (valid)
            QCOMPARE(parsed, address);
    }

    void failingHandlerDropsOnlyThatDatagram()
    {
        Inbox inbox;
        TIdUDPServer server;
        server.OnUDPRead = [&](const QByteArray& d, std::uint32_t) {
            if (d == "bad")
                throw std::runtime_error("handler failed");
            inbox.Add(d);
        };
        Open(server);
        QUdpSocket peer;
        peer.writeDatagram("bad", QHostAddress::LocalHost, server.BoundPort());
        peer.writeDatagram("good", QHostAddress::LocalHost, server.BoundPort());
        QTRY_COMPARE(inbox.Items(), QList<QByteArray>{"good"});
    }

    void closeWaitsForHandlerToFinish()
    {
        std::atomic<bool> entered{false}, release{false}, finished{false};
        TIdUDPServer server;
        server.OnUDPRead = [&](const QByteArray&, std::uint32_t) {
            entered = true;
            while (!release)
                std::this_thread::yield();
            finished = true;
        };
        Open(server);
        QUdpSocket peer;
        peer.writeDatagram("Mr", QHostAddress::LocalHost, server.BoundPort());
        QTRY_VERIFY(entered.load());

        // Let the handler go only once the close is under way.
        std::atomic<bool> closing{false};
        std::thread releaser([&] {
            while (!closing)
                std::this_thread::yield();
            for (int i = 0; i < 10000; ++i)
                std::this_thread::yield();
            release = true;
        });
        closing = true;
        server.SetActive(false);
        const bool finishedBeforeReturn = finished;
        releaser.join();
        QVERIFY(finishedBeforeReturn);
        QVERIFY(!server.Active());
    }
};

QTEST_GUILESS_MAIN(UdpServerTest)
#include "udpserver_test.moc"
