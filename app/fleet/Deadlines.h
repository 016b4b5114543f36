#pragma once
// TDeadlines: waits of one length for every scale in one `scaledb send`, on
// one timer: the reply deadlines, and the 100 ms before each next command.
// Each upload moves its wait with every command or reply, and all run for the
// same time, so they fall due in the order they were last moved: a list kept
// in that order and a timer for its head. A timer per scale, restarted on
// every command, would cost a search through all the others each time (Qt
// keeps its timers in one sorted list). A wait never ends before its time,
// and ends at it to the microsecond (TPreciseWake), not a millisecond late.
#include "PreciseWake.h"

#include <QTimer>

#include <chrono>
#include <functional>
#include <list>

class TDeadlines {
    struct TEntry {
        std::chrono::steady_clock::time_point Due;
        std::function<void()> Expired;
        bool Running = false;
    };

public:
    using TId = std::list<TEntry>::iterator;

    explicit TDeadlines(std::chrono::milliseconds timeout);
    TDeadlines(const TDeadlines&) = delete;
    TDeadlines& operator=(const TDeadlines&) = delete;

    // A deadline that is not running yet; `expired` runs once each time it
    // runs out, and may start, stop or remove any deadline.
    TId Add(std::function<void()> expired);
    // Runs the deadline out `timeout` from now, wherever it stood.
    void Start(TId id);
    void Stop(TId id);
    void Remove(TId id);

private:
    void Check();
    void Arm();

    std::chrono::milliseconds timeout_;
    std::list<TEntry> running_;  // the earliest due first
    std::list<TEntry> stopped_;
    TPreciseWake wake_;
    QTimer timer_;  // where the system gave no timerfd
    bool armed_ = false;
};
