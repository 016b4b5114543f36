#pragma once
// The event thread of an open port. It sleeps in poll on the device and a wake
// event and hands each batch of device events to the port's notifications:
// with smThreadSync on the main thread, waiting until they have run. It also
// writes what the port queued as the device takes it.
#include "CPort.h"
#include "SerialDevice.h"
#include "WriteQueue.h"

#include <cstdint>
#include <memory>
#include <thread>

// The event thread's account of received bytes that wait unread. Bytes that a
// handler was told of and left there are stale: the thread waits for more
// instead of reporting the same bytes again at once. Bytes that came in while
// a handler ran, or that a handler left after reading some, are reported.
// It holds counts only; the thread reads the device and the port for it.
class TUnreadBytes {
public:
    // The waiting bytes were reported already; the thread looks at the queue
    // now and then instead of waiting for input.
    bool Stale() const { return stale_; }

    // A look at the queue while stale: true when more bytes wait than were
    // reported. An emptied queue ends the staleness.
    bool Grew(std::int32_t waiting);

    // A received-characters hand-over starts: the bytes waiting and the port's
    // read total before its handler runs.
    void HandingOver(std::int32_t waiting, std::uint64_t readTotal);
    // Its handler has run: the bytes waiting now (counted: false when the
    // count failed) and the port's read total now.
    void HandlerRan(bool counted, std::int32_t waiting, std::uint64_t readTotal);

    // smWindowSync: the handler runs later, as a queued call of its own.
    void Queued();
    // With how many of those calls have run: whether one is still to come.
    bool AwaitingHandler(std::uint64_t handlersRun) const { return handlersRun < queued_; }

private:
    bool stale_ = false;
    std::int32_t staleCount_ = 0;
    std::int32_t before_ = 0;
    std::uint64_t readBefore_ = 0;
    std::uint64_t queued_ = 0;
};

class TComThread {
public:
    // The port, the device and the queue must outlive the thread (Stop() before either goes).
    TComThread(TCustomComPort& port, const TSerialDevice& device, TWriteQueue& writes, TComEvents events,
               TSyncMethod sync);
    ~TComThread();
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    // 0, or the errno of why the thread could not start.
    int Start();
    // Ends the thread and waits for it; hand-overs it is waiting on run first.
    // Call on the main thread.
    void Stop();
    // Tells the thread that bytes were written, so it can report evTxEmpty.
    void Written();
    // Tells the thread that the queue holds bytes for it to write.
    void WriteQueued();
    bool Running() const;
    // Runs what the thread queued for the main thread; the port's queued
    // call lands here.
    void RunQueued();

private:
    struct TShared;
    struct TLoopState;
    // After one wait: go on, end (the queues are cleared), or end at once (a handler failed).
    enum class TStep { Next, End, Abort };
    void Body();
    void Run();
    TStep Step(TLoopState& st);
    // Waits for the device, the wake event or the next look at the queues.
    TDeviceWait Wait(const TLoopState& st, bool awaitingWindow);
    // Takes what the main thread signalled; false when the port is closing.
    bool TakeWake(TLoopState& st, bool awaitingWindow);
    // The events the wait brought; false when the device cannot be read.
    bool CollectEvents(TLoopState& st, bool input, TComEvents& events);
    // Hands the events to the port; false when a handler failed.
    bool Dispatch(TLoopState& st, TComEvents events);
    // A received-characters handler has run: judge the bytes it left.
    void HandlerRan(TUnreadBytes& unread);
    std::uint64_t WindowRxDone() const;
    // False when a handler failed and the thread must end at once.
    bool HandOver(TComEvents events);
    // Writes what the device takes of the queue; false when the thread must end.
    bool WriteWaiting(bool& draining, bool& stuck, bool deviceReady);
    // The device went or stopped taking data: the port hears of it on the main thread.
    void ReportEnd(bool stalled);
    void PostToMainThread();
    static void RunPending(const std::shared_ptr<TShared>& shared);
    static void RunWindowEvent(const std::shared_ptr<TShared>& shared);
    // Tells the port, once, that the device went or a write ran out of
    // time, after every hand-over queued before that has run.
    static void ReportLost(const std::shared_ptr<TShared>& shared);

    const TSerialDevice& device_;
    TWriteQueue& writes_;
    const TComEvents events_;
    const TSyncMethod sync_;
    std::shared_ptr<TShared> shared_;
    std::thread thread_;
};
