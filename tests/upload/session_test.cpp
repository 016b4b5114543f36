// One scale's session on its own: a real TCP scale on loopback, a serial
// device that is not there.
#include "CPort.h"
#include "CommLog.h"
#include "EthConnection.h"
#include "LogEntries.h"
#include "UploadSession.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

class SessionTest : public QObject {
    Q_OBJECT

    TUpload::THooks Hooks()
    {
        return {nullptr, [] { return 1; }, [](int) { return QByteArray("1;a"); }, [] { return 0; },
                [](int) {}, [](bool) {}};
    }

    // The session's TCP link to a scale listening on loopback, and the scale's end of it.
    static void Connect(QTcpServer& scale, TLinkTarget& target, TUploadSession& session, std::unique_ptr<QTcpSocket>& peer)
    {
        QVERIFY(scale.listen(QHostAddress::LocalHost, 0));
        target = {ckEthernet, epTCP, QStringLiteral("127.0.0.1"), scale.serverPort()};
        session.MakeEthernet(quint16(0));
        session.ToggleEthernet();
        QTRY_VERIFY(scale.hasPendingConnections());
        peer.reset(scale.nextPendingConnection());
        QTRY_COMPARE(session.EthLink->State, lsConnected);
    }

private slots:
    // A reply in two pieces: the log must see the first piece still waiting
    // in ReplyBuffer, so it is told before the upload takes it.
    void ReceivedTextIsLoggedBeforeTheUploadTakesIt()
    {
        QTcpServer scale;
        TCommLog log;
        TLinkTarget target;
        TUploadSession session(Hooks(), [&] { return target; }, &log);
        std::unique_ptr<QTcpSocket> peer;
        Connect(scale, target, session, peer);
        if (QTest::currentTestFailed())
            return;

        session.Upload.Start(0);
        QByteArray sent;
        QTRY_COMPARE((sent += peer->readAll()), QByteArray("SbP\r\n"));
        peer->write("Mb");
        QTRY_COMPARE(session.Upload.ReplyBuffer, QByteArray("Mb"));
        peer->write("P\r\n");
        QTRY_COMPARE(Logged(log, TCommLog::lkReply), QList<QByteArray>{"MbP\r\n"});
        QCOMPARE(session.Upload.UploadIndex, 1);
    }

    // The log tells the upload's story: its start, each command sent again, Stop.
    void LogTellsTheUploadsStory()
    {
        QTcpServer scale;
        TCommLog log;
        TLinkTarget target;
        TUploadSession session(Hooks(), [&] { return target; }, &log);
        std::unique_ptr<QTcpSocket> peer;
        Connect(scale, target, session, peer);
        if (QTest::currentTestFailed())
            return;

        session.Start(0, QStringLiteral("product database"));
        QByteArray sent;
        QTRY_COMPARE((sent += peer->readAll()), QByteArray("SbP\r\n"));
        peer->write("MbP\r\n");
        QTRY_COMPARE((sent += peer->readAll()), QByteArray("SbP\r\nSr1;a\r\n"));
        peer->write("Mx\r\n");
        QTRY_COMPARE((sent += peer->readAll()), QByteArray("SbP\r\nSr1;a\r\nSr1;a\r\n"));
        session.Stop();
        QCOMPARE(Logged(log, TCommLog::lkEvent).mid(2), (QList<QByteArray>{"upload started: product database, 1 row",
                                                                           "record 1 sent again (2nd time)",
                                                                           "upload stopped at record 1 of 1"}));
    }

    void FailedOpenKeepsItsCause()
    {
        TCommLog log;
        TUploadSession session(Hooks(), [] { return TLinkTarget{}; }, &log);
        session.Serial().SetPort(QStringLiteral("/nonexistent/scale"));
        QVERIFY(!session.OpenSerial());
        QCOMPARE(session.LinkState, lsDisconnected);
        QVERIFY(!session.Cause().isEmpty());
        QCOMPARE(session.Status().Cause, session.Cause());
        QVERIFY(Logged(log, TCommLog::lkEvent).contains(("failed: " + session.Cause()).toUtf8()));
    }
};

QTEST_GUILESS_MAIN(SessionTest)
#include "session_test.moc"
