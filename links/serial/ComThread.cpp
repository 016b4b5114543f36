#include "ComThread.h"

#include <QMetaObject>
#include <QPointer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <cstdint>
#include <exception>
#include <mutex>

namespace {
// While bytes sit unread there is no edge to wait for, so the queue is looked
// at this often instead of waking for the same bytes again and again.
constexpr int UnreadRecheckMs = 100;
// How often the output queue is looked at between a write and its draining.
constexpr int TxDrainCheckMs = 10;

// The sooner of two poll timeouts, -1 being none.
int Earliest(int a, int b)
{
    if (a < 0)
        return b;
    return b < 0 ? a : std::min(a, b);
}
}

// What the event thread and the main thread share. Only this crosses between
// them, under its mutex or as atomics: the queued calls carry no data (Qt's
// queue is invisible to the race checker), they just say "look here".
struct TComThread::TShared {
    explicit TShared(TCustomComPort& p) : port(&p) {}
    TCustomComPort* const port; // used on the main thread only (smNone aside)

    std::mutex m;
    std::condition_variable cv;
    // Guarded by m:
    TComEvents events = 0;
    bool pending = false;         // a hand-over is queued and not yet taken
    bool running = false;         // the main thread is running one
    bool takenAfterStop = false;  // ... that it took while stopping
    bool stop = false;
    bool finished = false;
    std::uint64_t posted = 0;
    std::uint64_t handled = 0;
    std::exception_ptr error;
    bool lost = false;          // the device hung up; the port is yet to hear of it
    bool stalled = false;       // a queued write ran out of time; the port is yet to hear of it

    std::deque<TComEvents> windowEvents; // guarded by m; one entry per queued smWindowSync call

    std::atomic<bool> written{false};
    std::atomic<std::uint64_t> windowRxDone{0}; // smWindowSync received-characters calls that ran
    TWakeEvent wake;
};

TComThread::TComThread(TCustomComPort& port, const TSerialDevice& device, TWriteQueue& writes, TComEvents events,
                       TSyncMethod sync)
    : device_(device), writes_(writes), events_(events), sync_(sync), shared_(std::make_shared<TShared>(port))
{
}

TComThread::~TComThread()
{
    Stop();
}

int TComThread::Start()
{
    if (!shared_->wake.Valid())
        return shared_->wake.Error();
    thread_ = std::thread([this] { Body(); });
    return 0;
}

void TComThread::Written()
{
    if (!InSet(events_, evTxEmpty))
        return;
    shared_->written.store(true, std::memory_order_release);
    shared_->wake.Signal();
}

void TComThread::WriteQueued()
{
    shared_->wake.Signal();
}

bool TComThread::Running() const
{
    std::lock_guard lock(shared_->m);
    return thread_.joinable() && !shared_->finished;
}

void TComThread::Stop()
{
    if (!thread_.joinable())
        return;
    TShared& s = *shared_;
    {
        std::lock_guard lock(s.m);
        s.stop = true;
    }
    s.cv.notify_all();
    s.wake.Signal();
    std::this_thread::yield();

    std::unique_lock lock(s.m);
    for (;;) {
        if (s.pending) {
            lock.unlock();
            RunPending(shared_);
            lock.lock();
            continue;
        }
        if (s.finished)
            break;
        // Woken by each hand-over and by the end; the timeout is a safety net.
        s.cv.wait_for(lock, std::chrono::seconds(1));
    }
    lock.unlock();
    thread_.join();
}

void TComThread::RunQueued()
{
    // A handler may close the port, which frees this object: keep what we use.
    const std::shared_ptr<TShared> shared = shared_;
    const QPointer<TCustomComPort> port(shared->port);  // a handler may even destroy the port
    if (sync_ == smWindowSync)
        RunWindowEvent(shared);
    else
        RunPending(shared);
    if (port)
        ReportLost(shared);
}

void TComThread::ReportLost(const std::shared_ptr<TShared>& shared)
{
    TShared& s = *shared;
    bool stalled = false;
    {
        std::lock_guard lock(s.m);
        if ((!s.lost && !s.stalled) || s.pending || !s.windowEvents.empty())
            return;
        stalled = s.stalled;
        s.lost = s.stalled = false;
    }
    if (stalled)
        s.port->AbandonWrite();  // nothing when the port told it already
    else
        s.port->DeviceLost();
}

void TComThread::RunWindowEvent(const std::shared_ptr<TShared>& shared)
{
    TShared& s = *shared;
    TComEvents one = 0;
    {
        std::lock_guard lock(s.m);
        if (s.windowEvents.empty())
            return;
        one = s.windowEvents.front();
        s.windowEvents.pop_front();
    }
    // Tell the thread when a received-characters call is over, also when its
    // handler throws (on to the application's handler).
    struct Done {
        TShared& s;
        bool rx;
        ~Done()
        {
            if (!rx)
                return;
            s.windowRxDone.fetch_add(1, std::memory_order_release);
            s.wake.Signal();
        }
    } done{s, InSet(one, evRxChar)};
    if (s.port->Connected())
        s.port->CallEvents(one);
}

void TComThread::Body()
{
    Run();
    {
        std::lock_guard lock(shared_->m);
        shared_->finished = true;
    }
    shared_->cv.notify_all();
}

bool TUnreadBytes::Grew(std::int32_t waiting)
{
    if (waiting > staleCount_)
        return true;
    if (waiting == 0)
        stale_ = false;
    else
        staleCount_ = waiting;
    return false;
}

void TUnreadBytes::HandingOver(std::int32_t waiting, std::uint64_t readTotal)
{
    before_ = waiting;
    readBefore_ = readTotal;
}

void TUnreadBytes::HandlerRan(bool counted, std::int32_t waiting, std::uint64_t readTotal)
{
    // A handler that read nothing and left the bytes there waits for more;
    // if it read some, what waits now came in meanwhile and is reported.
    stale_ = counted && waiting > 0 && waiting <= before_ && readTotal == readBefore_;
    staleCount_ = waiting;
}

void TUnreadBytes::Queued()
{
    ++queued_;
    stale_ = false;
}

// What the event loop carries from one wait to the next.
struct TComThread::TLoopState {
    TUnreadBytes unread;
    bool draining = false; // a write went out and its queue is not yet empty
    bool stuck = false;    // the device said it takes bytes and took none: look again later
};

void TComThread::Run()
{
    TLoopState st;
    TStep step = TStep::Next;
    while (step == TStep::Next)
        step = Step(st);
    if (step == TStep::End)
        device_.ClearQueues(); // as the port closes; a device that is gone refuses, which changes nothing
}

TComThread::TStep TComThread::Step(TLoopState& st)
{
    const bool awaitingWindow = st.unread.AwaitingHandler(WindowRxDone());
    const TDeviceWait w = Wait(st, awaitingWindow);
    if (w.Error)
        return TStep::End;
    if (w.Woken && !TakeWake(st, awaitingWindow))
        return TStep::End;
    if (w.Gone) {
        // Unplugged or hung up: nothing more will come. The port learns
        // it on the main thread; the thread does not wait for that.
        ReportEnd(false);
        return TStep::End;
    }
    if (!WriteWaiting(st.draining, st.stuck, w.Output))
        return TStep::End;
    TComEvents events = 0;
    if (!CollectEvents(st, w.Input, events))
        return TStep::End;
    if (events == 0)
        return TStep::Next;
    // A handler that failed ends the thread at once: no clean-up, no more events.
    return Dispatch(st, events) ? TStep::Next : TStep::Abort;
}

TDeviceWait TComThread::Wait(const TLoopState& st, bool awaitingWindow)
{
    int timeoutMs = st.draining ? TxDrainCheckMs : st.unread.Stale() ? UnreadRecheckMs : -1;
    const bool sending = writes_.Pending();
    if (sending)
        timeoutMs = Earliest(timeoutMs, st.stuck ? TxDrainCheckMs : writes_.MsLeft(TWriteQueue::Clock::now()));
    const bool watchRx = InSet(events_, evRxChar) && !st.unread.Stale() && !awaitingWindow;
    return WaitForDevice(device_.Handle(), watchRx, sending && !st.stuck, shared_->wake, timeoutMs);
}

bool TComThread::TakeWake(TLoopState& st, bool awaitingWindow)
{
    shared_->wake.Drain();
    {
        std::lock_guard lock(shared_->m);
        if (shared_->stop)
            return false;
    }
    if (shared_->written.exchange(false, std::memory_order_acq_rel))
        st.draining = true;
    if (awaitingWindow && !st.unread.AwaitingHandler(WindowRxDone()))
        HandlerRan(st.unread);
    return true;
}

bool TComThread::CollectEvents(TLoopState& st, bool input, TComEvents& events)
{
    if (input)
        events |= SetOf(evRxChar);
    if (st.unread.Stale()) {
        std::int32_t n = 0;
        if (device_.InputCount(n) != 0)
            return false;
        if (st.unread.Grew(n))
            events |= SetOf(evRxChar);
    }
    if (st.draining) {
        std::int32_t queued = 0;
        const int err = device_.OutputCount(queued);
        if (err != 0 || queued == 0) {
            st.draining = false;
            if (err == 0)
                events |= SetOf(evTxEmpty);
        }
    }
    return true;
}

bool TComThread::Dispatch(TLoopState& st, TComEvents events)
{
    const bool rx = InSet(events, evRxChar);
    if (rx) {
        std::int32_t before = 0;
        device_.InputCount(before);
        st.unread.HandingOver(before, shared_->port->BytesReadTotal());
    }
    if (!HandOver(events))
        return false;
    if (!rx)
        return true;
    if (sync_ == smWindowSync)
        st.unread.Queued(); // judged once the queued call has run
    else
        HandlerRan(st.unread);
    return true;
}

void TComThread::HandlerRan(TUnreadBytes& unread)
{
    std::int32_t waiting = 0;
    const bool counted = device_.InputCount(waiting) == 0;
    unread.HandlerRan(counted, waiting, shared_->port->BytesReadTotal());
}

std::uint64_t TComThread::WindowRxDone() const
{
    return shared_->windowRxDone.load(std::memory_order_acquire);
}

bool TComThread::WriteWaiting(bool& draining, bool& stuck, bool deviceReady)
{
    const TWriteQueue::TProgress p = writes_.Write(device_, TWriteQueue::Clock::now());
    if (p.Error != 0 || p.Stopped) {
        ReportEnd(p.Stopped);
        return false;
    }
    if (p.Emptied && InSet(events_, evTxEmpty))
        draining = true;
    stuck = deviceReady && !p.Wrote && writes_.Pending();
    return true;
}

void TComThread::ReportEnd(bool stalled)
{
    std::lock_guard lock(shared_->m);
    (stalled ? shared_->stalled : shared_->lost) = true;
    PostToMainThread();
}

bool TComThread::HandOver(TComEvents events)
{
    TShared& s = *shared_;
    switch (sync_) {
    case smNone:
        try {
            s.port->CallEvents(events);
        } catch (...) {
            return false;
        }
        return true;
    case smWindowSync:
        // One queued call per event; the thread does not wait for them.
        {
            std::lock_guard lock(s.m);
            for (TComEvent e : DispatchOrder) {
                if (!InSet(events, e))
                    continue;
                s.windowEvents.push_back(static_cast<TComEvents>(SetOf(e)));
                PostToMainThread();
            }
        }
        return true;
    case smThreadSync:
        break;
    }

    std::unique_lock lock(s.m);
    s.events = events;
    s.pending = true;
    const std::uint64_t ticket = ++s.posted;
    PostToMainThread();
    s.cv.notify_all(); // a ClosePort that waits runs it at once
    // A hand-over that was running when the stop came is the one that is
    // closing the port: waiting for it would never end.
    s.cv.wait(lock, [&] { return s.handled >= ticket || (s.stop && s.running && !s.takenAfterStop); });
    return !s.error;
}

void TComThread::PostToMainThread()
{
    // Called with the mutex held: Qt allocates the queued call here and frees
    // it on the main thread after that thread took the mutex, an order the
    // race checker can see (Qt's own queue lock it cannot).
    QMetaObject::invokeMethod(shared_->port, "RunEventHandOver", Qt::QueuedConnection);
}

void TComThread::RunPending(const std::shared_ptr<TShared>& shared)
{
    TShared& s = *shared;
    std::unique_lock lock(s.m);
    if (!s.pending)
        return; // already run by a closing port
    const TComEvents events = s.events;
    s.pending = false;
    s.running = true;
    s.takenAfterStop = s.stop;
    lock.unlock();

    std::exception_ptr error;
    try {
        s.port->CallEvents(events);
    } catch (...) {
        error = std::current_exception();
    }

    lock.lock();
    s.running = false;
    if (error)
        s.error = error;
    ++s.handled;
    lock.unlock();
    s.cv.notify_all();
}
