// The fleet runner in process: its queue, a refused scale among others,
// interruption, the same-scale check and reconnection, against the
// simulator on loopback.
#include "DatabaseFile.h"
#include "GridTable.h"
#include "ScaleFleet.h"
#include "ScaleKeys.h"
#include "TestSupport.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <algorithm>
#include <memory>

class FleetTest : public QObject {
    Q_OBJECT

    TGridTable table;
    QTemporaryDir dir;

    static std::vector<TTarget> Tcp(const ScaleSim& sim, int count)
    {
        std::vector<TTarget> targets(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i)
            ParseLink(QStringLiteral("tcp://127.0.0.1:%1").arg(sim.Port(i)), targets[static_cast<std::size_t>(i)]);
        return targets;
    }
    static TTarget Link(const QString& text)
    {
        TTarget t;
        ParseLink(text, t);
        return t;
    }
    // Runs the started fleet to its end; the most uploads that ran at once.
    static std::size_t RunToEnd(TFleet& fleet)
    {
        std::size_t most = fleet.Running();
        bool ended = false;
        fleet.OnEvent = [&](std::size_t, TScaleJob&, TScaleJob::TEvent) { most = std::max(most, fleet.Running()); };
        fleet.OnEnded = [&] { ended = true; };
        [&] { QTRY_VERIFY_WITH_TIMEOUT(ended, 20000); }();
        return most;
    }

private slots:
    void initTestCase()
    {
        table.Assign(ParseDatabase("1;Salt\n2;Pepper\n"));
        QVERIFY(dir.isValid());
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), dir.filePath(QStringLiteral("null"))));
    }

    // Scales start in the queue's order, never more than AtOnce together,
    // and a refused one (the first) holds none of the others up.
    void queueRunsAtMostNAtOnce_data()
    {
        QTest::addColumn<int>("scales");
        QTest::addColumn<int>("atOnce");
        QTest::newRow("one at a time") << 3 << 1;
        QTest::newRow("two of four") << 4 << 2;
        QTest::newRow("all at once") << 3 << 10;
    }
    void queueRunsAtMostNAtOnce()
    {
        QFETCH(int, scales);
        QFETCH(int, atOnce);
        ScaleSim sim("tcp", {"--count", QString::number(scales)});
        QVERIFY(sim.Started());
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        std::vector<TTarget> targets = Tcp(sim, scales);
        targets.insert(targets.begin(), Link(QStringLiteral("tcp://127.0.0.1:%1").arg(probe.serverPort())));
        probe.close();  // nobody listens there now: the scale refuses
        TFleetPolicy policy;
        policy.AtOnce = static_cast<std::size_t>(atOnce);
        TFleet fleet(targets, table, policy);
        fleet.Start();
        for (std::size_t i = 0; i < targets.size(); ++i)
            QCOMPARE(fleet.Job(i) != nullptr, i < policy.AtOnce);
        QCOMPARE(RunToEnd(fleet), std::min(policy.AtOnce, targets.size()));
        QCOMPARE(fleet.Results[0].Cause, QStringLiteral("cannot connect: connection refused"));
        for (int i = 0; i < scales; ++i) {
            QCOMPARE(fleet.Results[static_cast<std::size_t>(i) + 1].State, TJobState::Accepted);
            QCOMPARE(sim.Recorded(i), QByteArray("SbP\r\nSr1;Salt\r\nSr2;Pepper\r\nSe\r\n"));
        }
    }

    // Every unfinished scale, started or still waiting, ends interrupted
    // where it stood; the run ends once.
    void interruptionMarksEveryUnfinishedScale()
    {
        ScaleSim sim("tcp", {"--count", "3", "--silent-after", "1"});
        QVERIFY(sim.Started());
        TFleetPolicy policy;
        policy.AtOnce = 2;
        TFleet fleet(Tcp(sim, 3), table, policy);
        int ended = 0;
        fleet.OnEnded = [&] { ++ended; };
        fleet.Start();
        QTRY_VERIFY(fleet.Job(0) && fleet.Job(0)->RecordsSent == 1 && fleet.Job(1) && fleet.Job(1)->RecordsSent == 1);
        fleet.Interrupt();
        QCOMPARE(ended, 1);
        QCOMPARE(fleet.Running(), std::size_t(0));
        const QString causes[] = {"interrupted at record 1 of 2", "interrupted at record 1 of 2", "interrupted at record 0 of 2"};
        for (std::size_t i = 0; i < 3; ++i) {
            QCOMPARE(fleet.Results[i].State, TJobState::Interrupted);
            QCOMPARE(fleet.Results[i].Cause, causes[i]);
        }
        fleet.Interrupt();  // nothing left to end
        QCOMPARE(ended, 1);
    }

    // Two links that reach one scale, over each link kind; the second is
    // refused with why, the first runs.
    void sameScaleCheck_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("cause");
        const QString same = QStringLiteral("%1 and %2 are the same scale");
        const QString udp = QStringLiteral("%1 and %2 are one address over UDP: its replies could not be told apart");
        QTest::newRow("TCP twice") << "tcp://127.0.0.1:4001" << "tcp://127.0.0.1:4001" << same;
        QTest::newRow("TCP leading zeros") << "tcp://127.0.0.1:4001" << "tcp://127.000.000.001:04001" << same;
        QTest::newRow("TCP name and port") << "tcp://Scale.shop:4001" << "tcp://scale.shop:4001" << same;
        QTest::newRow("TCP other port") << "tcp://127.0.0.1:4001" << "tcp://127.0.0.1:4002" << QString();
        QTest::newRow("UDP other port") << "udp://127.0.0.2:4001" << "udp://127.0.0.2:4002" << udp;
        QTest::newRow("UDP other address") << "udp://127.0.0.2:4001" << "udp://127.0.0.3:4001" << QString();
        QTest::newRow("UDP and TCP") << "udp://127.0.0.2:4001" << "tcp://127.0.0.2:4001" << QString();
        QTest::newRow("serial through a link") << "serial:/dev/null" << "serial:" + dir.filePath("null") << same;
        QTest::newRow("serial other device") << "serial:/dev/null" << "serial:/dev/zero" << QString();
    }
    void sameScaleCheck()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, cause);
        const TTarget a = Link(first), b = Link(second);
        const QString told = cause.isEmpty() ? QString()
                           : cause.contains("UDP") ? cause.arg(first, second) : cause.arg(a.Name, b.Name);
        TScaleKeys keys;
        QCOMPARE(keys.Hold(a), QString());
        QCOMPARE(keys.Hold(b), told);
        QString error;
        QCOMPARE(FindSameScale({a, b}, error), cause.isEmpty());
        TFleet fleet({a, b}, table, TFleetPolicy{});
        fleet.Start();
        QCOMPARE(fleet.Results[1].Cause, told);
        QCOMPARE(fleet.Running(), cause.isEmpty() ? std::size_t(2) : std::size_t(1));
        fleet.Interrupt();
    }

    // A link lost mid-upload is tried again: a scale that comes back gets the
    // upload whole; one that stays away ends it after ReconnectSeconds with the cause.
    void reconnection()
    {
        ScaleSim back("tcp", {"--drop-after", "2"});
        QVERIFY(back.Started());
        QTcpServer gone;
        QVERIFY(gone.listen(QHostAddress::LocalHost, 0));
        // The scale answers the start command, then goes away for good.
        connect(&gone, &QTcpServer::newConnection, this, [&gone] {
            QTcpSocket* s = gone.nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, s, [s, &gone] {
                s->readAll();
                s->write("MbP\r\n");
                s->flush();
                gone.close();
                s->disconnectFromHost();
            });
        });
        TFleetPolicy policy;
        policy.ReconnectSeconds = 1;
        TFleet fleet({Link(QStringLiteral("tcp://127.0.0.1:%1").arg(back.Port())),
                      Link(QStringLiteral("tcp://127.0.0.1:%1").arg(gone.serverPort()))}, table, policy);
        fleet.Start();
        RunToEnd(fleet);
        QCOMPARE(fleet.Results[0].State, TJobState::Accepted);
        QCOMPARE(fleet.Results[0].Reconnects, 1);
        QCOMPARE(fleet.Results[1].Cause, QStringLiteral("the connection was lost at record 1 of 2: connection refused"));
    }
};

QTEST_MAIN(FleetTest)
#include "fleet_test.moc"
