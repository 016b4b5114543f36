#pragma once
// TPreciseWake: calls back at a time on the monotonic clock, to the
// microsecond. A Qt timer reaches the event loop's poll() rounded up to a
// whole millisecond, so the 100 ms before the next command ended on average
// half a millisecond late; a timerfd in the loop's set of descriptors wakes it
// at its time, whichever event dispatcher runs the loop.
#include "FdWatch.h"

#include <chrono>
#include <functional>

class TPreciseWake {
public:
    explicit TPreciseWake(std::function<void()> due);
    ~TPreciseWake();
    TPreciseWake(const TPreciseWake&) = delete;
    TPreciseWake& operator=(const TPreciseWake&) = delete;

    // False where the system gave no timerfd: the caller's own timer must do.
    bool Valid() const { return fd_ >= 0; }
    // Due `after` from now, never sooner; a wake already set is moved.
    void Start(std::chrono::nanoseconds after);
    // Due at `due`, or at once when that has passed.
    void StartAt(std::chrono::steady_clock::time_point due);
    void Stop();

private:
    void Fired();

    int fd_ = -1;
    bool armed_ = false;
    std::function<void()> due_;
    TFdWatch watch_;
};
