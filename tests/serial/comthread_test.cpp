#include "CPort.h"
#include "ComThread.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTest>
#include <QThread>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <thread>

#include <sys/syscall.h>

namespace {
QSet<QString> Tasks()
{
    const QStringList list = QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    return QSet<QString>(list.begin(), list.end());
}

// The system call a thread sleeps in, or -1 while it runs.
long SyscallOf(const QString& tid)
{
    QFile f("/proc/self/task/" + tid + "/syscall");
    if (!f.open(QIODevice::ReadOnly))
        return -2;
    bool ok = false;
    const long n = f.readAll().split(' ').value(0).toLong(&ok);
    return ok ? n : -1;
}

// Waits for a condition while the event loop stays still, so nothing queued
// for the main thread runs meanwhile.
bool WaitWithoutEvents(const std::function<bool()>& condition, int timeoutMs = 5000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Reads what each notification announces and keeps it.
struct Reader {
    QByteArray text;
    int calls = 0;
    QList<int> counts;
    bool onMainThread = true;
    void Attach(TCustomComPort& port)
    {
        port.OnRxChar = [this](TCustomComPort* sender, std::int32_t count) {
            ++calls;
            counts << count;
            onMainThread = onMainThread && QThread::currentThread() == QCoreApplication::instance()->thread();
            QByteArray t;
            sender->ReadText(t, count);
            text += t;
        };
    }
};
}

class ComThreadTest : public QObject {
    Q_OBJECT
private slots:
    void rxCharOnMainThreadWithCount_data();
    void rxCharOnMainThreadWithCount();
    void unreadBytesAreNotReportedAgain();
    void bytesLeftByAPartialReadAreReportedAgain();
    void txEmptyAfterWrite();
    void handlerExceptionStopsNotificationsUntilReopen();
    void closeRunsPendingHandOverFirst();
    void closeFromInsideHandler();
    void lostDeviceEndsThread_data();
    void lostDeviceEndsThread();
    void noSyncRunsOnEventThread();
    void unreadBytesAccount_data();
    void unreadBytesAccount();
};

void ComThreadTest::rxCharOnMainThreadWithCount_data()
{
    QTest::addColumn<int>("sync");
    QTest::newRow("thread sync") << int(smThreadSync);
    QTest::newRow("window sync") << int(smWindowSync);
}

void ComThreadTest::rxCharOnMainThreadWithCount()
{
    QFETCH(int, sync);
    PtyPair pty;
    Reader reader; // declared first: closing in the port's destructor may still report
    TComPort port;
    port.SetSyncMethod(static_cast<TSyncMethod>(sync));
    port.SetPort(pty.SlavePath());
    reader.Attach(port);
    port.OpenPort();
    QVERIFY(port.EventThreadRunning());

    pty.Write("MbP\r\n");
    QTRY_COMPARE(reader.text, QByteArray("MbP\r\n"));
    QCOMPARE(reader.counts.value(0), 5);
    QVERIFY(reader.onMainThread);

    pty.Write("Mr\r\n");
    QTRY_COMPARE(reader.text, QByteArray("MbP\r\nMr\r\n"));
    QVERIFY(reader.onMainThread);
    port.ClosePort();
    QVERIFY(!port.Connected());
}

void ComThreadTest::unreadBytesAreNotReportedAgain()
{
    // A handler that leaves the bytes waiting hears of them once, and again
    // only when more arrive; the thread must not turn on the same bytes.
    PtyPair pty;
    QList<int> counts;
    TComPort port;
    port.SetPort(pty.SlavePath());
    port.OnRxChar = [&](TCustomComPort*, std::int32_t count) { counts << count; };
    port.OpenPort();
    pty.Write("abc");
    QTRY_COMPARE(counts.size(), 1);
    pty.Write("de");
    QTRY_VERIFY(counts.contains(5));
    QCOMPARE(counts, QList<int>({3, 5}));
}

void ComThreadTest::bytesLeftByAPartialReadAreReportedAgain()
{
    // A handler that takes fewer bytes than wait (as when more arrive between
    // the count and the read) must hear of the rest without new input.
    PtyPair pty;
    QByteArray got;
    TComPort port;
    port.SetPort(pty.SlavePath());
    port.OnRxChar = [&](TCustomComPort*, std::int32_t) {
        QByteArray one;
        port.ReadText(one, 1);
        got += one;
    };
    port.OpenPort();
    pty.Write("Mr\r\n");
    QTRY_COMPARE(got, QByteArray("Mr\r\n"));
}

void ComThreadTest::txEmptyAfterWrite()
{
    PtyPair pty;
    int empties = 0;
    bool main = true;
    TComPort port;
    port.SetPort(pty.SlavePath());
    port.OnTxEmpty = [&](TCustomComPort*) {
        ++empties;
        main = main && QThread::currentThread() == QCoreApplication::instance()->thread();
    };
    port.OpenPort();
    QCOMPARE(port.WriteText("SbP\r\n"), 5);
    QTRY_COMPARE(empties, 1);
    QVERIFY(main);
    QCOMPARE(pty.ReadExactly(5), QByteArray("SbP\r\n"));
}

void ComThreadTest::handlerExceptionStopsNotificationsUntilReopen()
{
    PtyPair pty;
    PtyPair sentinel;
    int calls = 0;
    bool fail = true;
    Reader seen;
    TComPort port;
    port.SetPort(pty.SlavePath());
    port.OnRxChar = [&](TCustomComPort* sender, std::int32_t count) {
        ++calls;
        if (fail)
            throw std::runtime_error("handler failed");
        QByteArray t;
        sender->ReadText(t, count);
    };
    port.OpenPort();
    pty.Write("x");
    QTRY_COMPARE(calls, 1);
    QTRY_VERIFY(!port.EventThreadRunning());
    QVERIFY(port.Connected());

    // More bytes, and a second port to show the event loop ran meanwhile.
    TComPort watcher;
    watcher.SetPort(sentinel.SlavePath());
    seen.Attach(watcher);
    watcher.OpenPort();
    pty.Write("y");
    sentinel.Write("z");
    QTRY_COMPARE(seen.text, QByteArray("z"));
    QCOMPARE(calls, 1);

    port.ClosePort();
    QVERIFY(!port.Connected());
    fail = false;
    port.OpenPort();
    pty.Write("again");
    QTRY_VERIFY(calls >= 2);
    QVERIFY(port.EventThreadRunning());
}

void ComThreadTest::closeRunsPendingHandOverFirst()
{
    PtyPair pty;
    Reader reader;
    TComPort port;
    port.SetPort(pty.SlavePath());
    reader.Attach(port);
    const QSet<QString> before = Tasks();
    port.OpenPort();
    const QSet<QString> added = Tasks() - before;
    QCOMPARE(added.size(), 1);
    const QString eventThread = *added.begin();

    pty.Write("Me\r\n");
    // The thread now waits for the main thread, which has not looked yet.
    QVERIFY(WaitWithoutEvents([&] { return SyscallOf(eventThread) == SYS_futex; }));
    QCOMPARE(reader.calls, 0);

    port.ClosePort();
    QCOMPARE(reader.text, QByteArray("Me\r\n"));
    QVERIFY(reader.onMainThread);
    QVERIFY(!port.Connected());
    QTRY_VERIFY(!Tasks().contains(eventThread));
}

void ComThreadTest::closeFromInsideHandler()
{
    PtyPair pty;
    int calls = 0;
    TComPort port;
    port.SetPort(pty.SlavePath());
    port.OnRxChar = [&](TCustomComPort* sender, std::int32_t) {
        ++calls;
        sender->ClosePort();
    };
    port.OpenPort();
    pty.Write("bye");
    QTRY_VERIFY(!port.Connected());
    QCOMPARE(calls, 1);
    port.OpenPort(); // and it opens again
    QVERIFY(port.EventThreadRunning());
}

void ComThreadTest::lostDeviceEndsThread_data()
{
    QTest::addColumn<int>("sync");
    QTest::newRow("thread sync") << int(smThreadSync);
    QTest::newRow("window sync") << int(smWindowSync);
    QTest::newRow("no sync") << int(smNone);
}

void ComThreadTest::lostDeviceEndsThread()
{
    QFETCH(int, sync);
    PtyPair pty;
    Reader reader;
    TComPort port;
    port.SetPort(pty.SlavePath());
    port.SetSyncMethod(static_cast<TSyncMethod>(sync));
    reader.Attach(port);
    int lost = 0;
    bool lostOnMainThread = false;
    port.OnDeviceLost = [&](TCustomComPort* sender) {
        ++lost;
        lostOnMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        QCOMPARE(sender->LastCause, QStringLiteral("serial device disappeared"));
    };
    const QSet<QString> before = Tasks();
    port.OpenPort();
    QVERIFY(port.LastCause.isEmpty());
    const QSet<QString> added = Tasks() - before;
    QCOMPARE(added.size(), 1);

    pty.CloseMaster(); // as an unplugged adapter
    QTRY_VERIFY(!port.EventThreadRunning());
    QTRY_VERIFY(!Tasks().contains(*added.begin()));
    QTRY_COMPARE(lost, 1);
    QVERIFY(lostOnMainThread);
    QVERIFY(port.Connected());
    QCOMPARE(reader.calls, 0);
    port.ClosePort();
    QVERIFY(!port.Connected());
    QCOMPARE(port.LastCause, QStringLiteral("serial device disappeared"));
    QTest::qWait(50);
    QCOMPARE(lost, 1);
}

void ComThreadTest::noSyncRunsOnEventThread()
{
    PtyPair pty;
    std::mutex m;
    QByteArray text;
    bool onEventThread = true;
    TComPort port;
    port.SetSyncMethod(smNone);
    port.SetPort(pty.SlavePath());
    port.OnRxChar = [&](TCustomComPort* sender, std::int32_t count) {
        QByteArray t;
        sender->ReadText(t, count);
        std::lock_guard lock(m);
        text += t;
        onEventThread = onEventThread && QThread::currentThread() != QCoreApplication::instance()->thread();
    };
    port.OpenPort();
    pty.Write("Mb");
    QVERIFY(WaitWithoutEvents([&] {
        std::lock_guard lock(m);
        return text == "Mb";
    }));
    port.ClosePort();
    std::lock_guard lock(m);
    QVERIFY(onEventThread);
}

void ComThreadTest::unreadBytesAccount_data()
{
    // One received-characters hand-over: bytes waiting before and after the
    // handler, what it read; then the looks at the queue while stale.
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("after");
    QTest::addColumn<int>("handlerRead");
    QTest::addColumn<bool>("counted");
    QTest::addColumn<bool>("stale");
    QTest::addColumn<QList<int>>("looks");
    QTest::addColumn<QList<bool>>("grew");
    QTest::addColumn<bool>("staleAfterLooks");
    QTest::newRow("left unread, nothing new") << 5 << 5 << 0 << true << true
                                              << QList<int>{5} << QList<bool>{false} << true;
    QTest::newRow("left unread, more came later") << 5 << 5 << 0 << true << true
                                                  << QList<int>{7} << QList<bool>{true} << true;
    QTest::newRow("came in while the handler ran") << 5 << 7 << 0 << true << false
                                                   << QList<int>{} << QList<bool>{} << false;
    QTest::newRow("handler read some") << 5 << 3 << 2 << true << false
                                       << QList<int>{} << QList<bool>{} << false;
    QTest::newRow("count failed") << 5 << 0 << 0 << false << false
                                  << QList<int>{} << QList<bool>{} << false;
    QTest::newRow("read elsewhere, then one more") << 5 << 5 << 0 << true << true
                                                   << QList<int>{3, 4} << QList<bool>{false, true} << true;
    QTest::newRow("emptied elsewhere") << 5 << 5 << 0 << true << true
                                       << QList<int>{0} << QList<bool>{false} << false;
}

void ComThreadTest::unreadBytesAccount()
{
    QFETCH(int, before);
    QFETCH(int, after);
    QFETCH(int, handlerRead);
    QFETCH(bool, counted);
    QFETCH(bool, stale);
    QFETCH(QList<int>, looks);
    QFETCH(QList<bool>, grew);
    QFETCH(bool, staleAfterLooks);

    TUnreadBytes unread;
    unread.HandingOver(before, 100);
    unread.HandlerRan(counted, after, 100 + handlerRead);
    QCOMPARE(unread.Stale(), stale);
    for (qsizetype i = 0; i < looks.size(); ++i)
        QCOMPARE(unread.Grew(looks[i]), grew[i]);
    QCOMPARE(unread.Stale(), staleAfterLooks);

    // With smWindowSync the judgement waits for the queued handler.
    unread.Queued();
    QVERIFY(!unread.Stale());
    QVERIFY(unread.AwaitingHandler(0));
    QVERIFY(!unread.AwaitingHandler(1));
}

QTEST_GUILESS_MAIN(ComThreadTest)
#include "comthread_test.moc"
