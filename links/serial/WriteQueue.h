#pragma once
// What the port has yet to write. Each text goes out whole or the link fails:
// the main thread writes what the device takes at once, the event thread the
// rest as the device takes it. A text that runs out of time stops the queue:
// its unsent bytes are dropped, and nothing is written after it until the
// port is closed, so no text ever follows a cut one on the line.
#include "CPort.h"

#include <QByteArray>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>

class TSerialDevice;

class TWriteQueue {
public:
    using Clock = std::chrono::steady_clock;

    // Texts that may wait behind the one going out. The exchange sends one
    // command per reply, so more than this means the device takes nothing.
    static constexpr std::size_t MaxWaiting = 8;

    enum TPut : std::uint8_t {
        wqWhole,    // the device took it all at once
        wqQueued,   // the rest waits for the event thread
        wqStopped,  // it cannot go out whole: the queue stopped; Abandon tells how far it got
        wqRefused,  // the queue had stopped already: nothing was written
    };
    // Main thread. limitMs < 0: no limit. canQueue: an event thread runs to
    // write the rest. err: the errno of a failed write.
    TPut Put(const TSerialDevice& device, const QByteArray& text, std::int64_t limitMs, bool canQueue,
             std::int32_t& writtenNow, int& err);

    struct TProgress {
        bool Wrote = false;    // the device took some bytes
        bool Emptied = false;  // the last text went out whole
        bool Stopped = false;  // the text going out ran out of time
        int Error = 0;         // errno of a failed write
    };
    // Event thread: writes what the device takes of the waiting texts.
    TProgress Write(const TSerialDevice& device, Clock::time_point now);
    // Milliseconds until the text going out runs out of time, rounded up;
    // -1 when none goes out or it has no limit.
    int MsLeft(Clock::time_point now) const;

    bool Pending() const;
    // Stops the queue if a text is going out, and takes how far the stopped
    // text got, once. False when nothing was stopped or it was taken already.
    bool Abandon(const TSerialDevice& device, TWriteStop& stop);
    // The port closed or opened: nothing waits, nothing is stopped.
    void Clear();

private:
    struct TText {
        QByteArray Bytes;
        std::int64_t LimitMs;
    };
    // With the mutex held.
    void StartHead(Clock::time_point now, std::int64_t written);
    void StopHead(const TSerialDevice& device);

    mutable std::mutex m_;
    std::deque<TText> texts_;  // the front one is going out
    std::int64_t headWritten_ = 0;
    Clock::time_point headDeadline_;
    bool headLimited_ = false;
    bool stopped_ = false;   // a text did not go out whole; nothing goes until Clear
    bool reported_ = false;  // its stop was taken
    TWriteStop stop_;
};
