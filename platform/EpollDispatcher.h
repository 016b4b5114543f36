#pragma once
// TEpollDispatcher: the main thread's event dispatcher for `scaledb send`.
// Qt's own dispatcher hands every socket to poll() on each wake-up and then
// walks them all for the ones that fired; a fleet of a thousand scales has a
// thousand sockets, so each reply cost a thousand checks. Here the sockets sit
// in one epoll set and a wake-up costs what fired. Timers are kept in order of
// when they fall due. Other threads wake the loop through an eventfd.
//
// Install it with QCoreApplication::setEventDispatcher before the application
// object exists; it serves that thread alone.
#include <QAbstractEventDispatcher>
#include <QSocketNotifier>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <set>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

// Told of its descriptor's events straight from the dispatcher, without a
// QSocketNotifier, its event and its signal. It may stop watching, or be
// destroyed, from inside DescriptorReady.
class TDescriptorWatcher {
public:
    virtual void DescriptorReady() = 0;

protected:
    ~TDescriptorWatcher() = default;
};

class TEpollDispatcher : public QAbstractEventDispatcher {
public:
    TEpollDispatcher();
    ~TEpollDispatcher() override;

    bool processEvents(QEventLoop::ProcessEventsFlags flags) override;
    void registerSocketNotifier(QSocketNotifier* notifier) override;
    void unregisterSocketNotifier(QSocketNotifier* notifier) override;
    void registerTimer(int timerId, qint64 interval, Qt::TimerType timerType, QObject* object) override;
    bool unregisterTimer(int timerId) override;
    bool unregisterTimers(QObject* object) override;
    QList<TimerInfo> registeredTimers(QObject* object) const override;
    int remainingTime(int timerId) override;
    void wakeUp() override;
    void interrupt() override;

    // The calling thread's dispatcher when it is one of these, else null.
    static TEpollDispatcher* Current();
    // Hands fd's readable (Read) or writable (Write) to `watcher`; null stops.
    // A hang-up or error is news to both, as with a notifier.
    void WatchDirect(int fd, QSocketNotifier::Type type, TDescriptorWatcher* watcher);

private:
    using Clock = std::chrono::steady_clock;
    struct TTimer {
        qint64 Interval;
        Qt::TimerType Type;
        QObject* Object;
        Clock::time_point Due;
        bool Firing = false;  // its event is being delivered: not again from a nested loop
    };
    struct TSocket {
        QSocketNotifier* Read = nullptr;
        QSocketNotifier* Write = nullptr;
        QSocketNotifier* Exception = nullptr;
        TDescriptorWatcher* DirectRead = nullptr;
        TDescriptorWatcher* DirectWrite = nullptr;
        std::uint32_t Generation = 0;  // tells an event for a closed and reused descriptor from a new one; 0: unused
        std::uint32_t Watched = 0;     // the events the epoll set has for it
        bool Changed = false;          // in changed_
    };

    static std::uint32_t Wanted(const TSocket& socket);
    void Watch(int fd, TSocket& socket, bool added);
    void WatchChanged();
    int WaitMs() const;
    int Activate(std::uint64_t data, std::uint32_t events);
    void Forget(int fd, TSocket& s);
    TSocket* Find(int fd);
    TSocket& Take(int fd, bool& added);
    int FireTimers();
    void Arm(std::unordered_map<int, TTimer>::iterator timer, Clock::time_point due);

    int epoll_ = -1;
    int wake_ = -1;  // an eventfd: readable while a wake-up is pending
    std::atomic<bool> interrupted_{false};
    // A wake-up asked on the loop's own thread, where no eventfd write is
    // needed: the next wait only must not block.
    const std::thread::id owner_ = std::this_thread::get_id();
    bool wokenHere_ = false;
    std::uint32_t generation_ = 0;
    std::vector<TSocket> sockets_;  // by descriptor
    // Sockets whose notifiers came or went since the last wait. A socket's
    // write notifier goes on and off with every command it sends; the epoll
    // set hears of it only if it differs when the loop next waits.
    std::vector<int> changed_;
    std::unordered_map<int, TTimer> timers_;
    std::set<std::pair<Clock::time_point, int>> due_;  // (when, timer id), the earliest first
};
