// The command line's event loop: timers, socket notifiers and wake-ups from
// other threads, with the dispatcher installed as `scaledb send` installs it.
#include "EpollDispatcher.h"
#include "FdWatch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTest>
#include <QTimer>

#include <memory>
#include <thread>

#include <sys/socket.h>
#include <unistd.h>

namespace {
// Both ends of a connected socket pair, closed on the way out.
struct SocketPair {
    int fd[2] = {-1, -1};
    SocketPair() { ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fd); }
    ~SocketPair()
    {
        ::close(fd[0]);
        ::close(fd[1]);
    }
    void Send() const { QCOMPARE(::write(fd[1], "x", 1), 1); }
};
}

class EpollDispatcherTest : public QObject {
    Q_OBJECT
private slots:
    void timersFireInOrderNeverEarly()
    {
        QElapsedTimer clock;
        clock.start();
        QList<int> fired;
        QList<qint64> at;
        QTimer stopped;
        stopped.callOnTimeout([&] { fired << -1; });
        stopped.start(5);
        for (int ms : {30, 10, 20})
            QTimer::singleShot(ms, Qt::PreciseTimer, this, [&, ms] {
                fired << ms;
                at << clock.elapsed();
            });
        stopped.stop();
        QTRY_COMPARE(fired, (QList<int>{10, 20, 30}));
        for (int i = 0; i < 3; ++i)
            QVERIFY2(at[i] >= fired[i], qPrintable(QString::number(at[i])));
    }

    // A timer due every round must leave room for the sockets; a notifier
    // that joins a socket already watched, or comes back on, is heard.
    void socketsHeardBesideABusyTimer()
    {
        SocketPair pair;
        QSocketNotifier reader(pair.fd[0], QSocketNotifier::Read);
        int reads = 0;
        connect(&reader, &QSocketNotifier::activated, this, [&] {
            char c;
            while (::read(pair.fd[0], &c, 1) == 1)
                ++reads;
        });
        QTimer busy;
        busy.start(0);
        QSocketNotifier writer(pair.fd[0], QSocketNotifier::Write);  // writable at once
        int writable = 0;
        connect(&writer, &QSocketNotifier::activated, this, [&] {
            ++writable;
            writer.setEnabled(false);
        });
        QTRY_COMPARE(writable, 1);
        pair.Send();
        QTRY_COMPARE(reads, 1);
        reader.setEnabled(false);
        pair.Send();
        QTest::qWait(20);
        QCOMPARE(reads, 1);
        reader.setEnabled(true);
        QTRY_COMPARE(reads, 2);
        QCOMPARE(writable, 1);
    }

    // Two sockets ready at once; whichever is heard first deletes the other's
    // notifier, which must not be called after.
    void notifierDeletedMidRoundIsNotCalled()
    {
        SocketPair a, b;
        std::unique_ptr<QSocketNotifier> notifiers[2] = {
            std::make_unique<QSocketNotifier>(a.fd[0], QSocketNotifier::Read),
            std::make_unique<QSocketNotifier>(b.fd[0], QSocketNotifier::Read)};
        int calls = 0;
        for (int i = 0; i < 2; ++i)
            connect(notifiers[i].get(), &QSocketNotifier::activated, this, [&, i] {
                ++calls;
                notifiers[i]->setEnabled(false);
                notifiers[1 - i].reset();
            });
        a.Send();
        b.Send();
        QTRY_VERIFY(!notifiers[0] || !notifiers[1]);
        QTest::qWait(20);
        QCOMPARE(calls, 1);
    }

    // Watches called straight by the dispatcher: a read and a write watch on
    // one descriptor; the writer turns itself off, the reader stops itself
    // and is not called again, and a watch started anew is heard.
    void directWatchesStopFromTheirOwnCallback()
    {
        SocketPair pair;
        int reads = 0, writes = 0;
        TFdWatch* self = nullptr;
        TFdWatch reader(QSocketNotifier::Read, [&] {
            ++reads;
            self->Stop();
        });
        self = &reader;
        TFdWatch writer(QSocketNotifier::Write, [&] {
            ++writes;
            writer.SetEnabled(false);
        });
        reader.Start(pair.fd[0]);
        writer.Start(pair.fd[0]);
        pair.Send();
        QTRY_COMPARE(reads, 1);
        QTRY_COMPARE(writes, 1);
        pair.Send();
        QTest::qWait(20);
        QCOMPARE(reads, 1);  // both bytes still wait, unread
        QCOMPARE(writes, 1);
        reader.Start(pair.fd[0]);
        QTRY_COMPARE(reads, 2);
    }

    // A loop with nothing to do sleeps until another thread posts to it.
    void postFromAnotherThreadWakesTheWait()
    {
        QEventLoop loop;
        bool timedOut = false;
        QTimer::singleShot(10000, &loop, [&] {
            timedOut = true;
            loop.quit();
        });
        std::thread poster([&] { QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection); });
        loop.exec();
        poster.join();
        QVERIFY(!timedOut);
    }
};

int main(int argc, char** argv)
{
    QCoreApplication::setEventDispatcher(new TEpollDispatcher);
    QCoreApplication app(argc, argv);
    EpollDispatcherTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "epolldispatcher_test.moc"
