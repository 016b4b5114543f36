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

namespace {

TUpload::THooks Hooks()
{
    return {nullptr, [] { return 1; }, [](int) { return QByteArray("1;a"); }, [] { return 0; }, [](int) {}, [](bool) {}};
}

// A session whose TCP link goes to a scale listening on loopback; `peer` is
// the scale's end of it.
struct TcpRig {
    QTcpServer scale;
    TCommLog log;
    TLinkTarget target;
    TUploadSession session{Hooks(), [this] { return target; }, &log};
    std::unique_ptr<QTcpSocket> peer;

    void Connect()
    {
        QVERIFY(scale.listen(QHostAddress::LocalHost, 0));
        target = {ckEthernet, epTCP, QStringLiteral("127.0.0.1"), scale.serverPort()};
        session.MakeEthernet(quint16(0));
        session.ToggleEthernet();
        QTRY_VERIFY(scale.hasPendingConnections());
        peer.reset(scale.nextPendingConnection());
        QTRY_COMPARE(session.EthLink->State, lsConnected);
    }
};

} // namespace

class SessionTest : public QObject {
    Q_OBJECT

private slots:
    // A reply in two pieces: the log must see the first piece still waiting
    // in ReplyBuffer, so it is told before the upload takes it.
    void ReceivedTextIsLoggedBeforeTheUploadTakesIt()
    {
        TcpRig rig;
        rig.Connect();
        if (QTest::currentTestFailed())
            return;

        rig.session.Upload.Start(0);
        QByteArray sent;
        QTRY_COMPARE((sent += rig.peer->readAll()), QByteArray("SbP\r\n"));
        rig.peer->write("Mb");
        QTRY_COMPARE(rig.session.Upload.ReplyBuffer, QByteArray("Mb"));
        rig.peer->write("P\r\n");
        QTRY_COMPARE(Logged(rig.log, TCommLog::lkReply), QList<QByteArray>{"MbP\r\n"});
        QCOMPARE(rig.session.Upload.UploadIndex, 1);
    }

    // The log tells the upload's story: its start, each command sent again, Stop.
    void LogTellsTheUploadsStory()
    {
        TcpRig rig;
        rig.Connect();
        if (QTest::currentTestFailed())
            return;

        rig.session.Start(0, QStringLiteral("product database"));
        QByteArray sent;
        QTRY_COMPARE((sent += rig.peer->readAll()), QByteArray("SbP\r\n"));
        rig.peer->write("MbP\r\n");
        QTRY_COMPARE((sent += rig.peer->readAll()), QByteArray("SbP\r\nSr1;a\r\n"));
        rig.peer->write("Mx\r\n");
        QTRY_COMPARE((sent += rig.peer->readAll()), QByteArray("SbP\r\nSr1;a\r\nSr1;a\r\n"));
        rig.session.Stop();
        QCOMPARE(Logged(rig.log, TCommLog::lkEvent).mid(2), (QList<QByteArray>{"upload started: product database, 1 row",
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
