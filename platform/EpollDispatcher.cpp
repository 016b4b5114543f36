#include "EpollDispatcher.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimerEvent>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <vector>

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {
// The wake-up's own tag in the epoll set: no socket has this generation.
constexpr std::uint64_t WakeTag = ~std::uint64_t(0);

std::uint64_t Tag(int fd, std::uint32_t generation)
{
    return (std::uint64_t(generation) << 32) | std::uint32_t(fd);
}
}

TEpollDispatcher::TEpollDispatcher()
{
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (epoll_ < 0 || wake_ < 0)
        qFatal("the event loop cannot start: %s", strerror(errno));
    epoll_event e{};
    e.events = EPOLLIN;
    e.data.u64 = WakeTag;
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &e);
}

TEpollDispatcher::~TEpollDispatcher()
{
    ::close(wake_);
    ::close(epoll_);
}

bool TEpollDispatcher::processEvents(QEventLoop::ProcessEventsFlags flags)
{
    interrupted_.store(false);
    emit awake();
    // Take the pending wake-up before the posted events: one posted after
    // this point wakes the wait below again.
    std::uint64_t count;
    [[maybe_unused]] const auto taken = ::read(wake_, &count, sizeof count);
    wokenHere_ = false;
    QCoreApplication::sendPostedEvents();

    const bool timers = !(flags & QEventLoop::X11ExcludeTimers);
    const bool sockets = !(flags & QEventLoop::ExcludeSocketNotifiers);
    int waitMs = 0;
    if ((flags & QEventLoop::WaitForMoreEvents) && !interrupted_.load() && !wokenHere_) {
        waitMs = timers ? WaitMs() : -1;
        emit aboutToBlock();
    }
    WatchChanged();
    epoll_event events[256];
    int n;
    do
        n = ::epoll_wait(epoll_, events, std::size(events), waitMs);
    while (n < 0 && errno == EINTR);

    int handled = 0;
    for (int i = 0; i < n; ++i) {
        if (events[i].data.u64 == WakeTag)
            ++handled;  // the posted events go out at the start of the next round
        else if (sockets)
            handled += Activate(events[i].data.u64, events[i].events);
    }
    if (timers)
        handled += FireTimers();
    return handled > 0;
}

// Until the earliest timer, rounded up so that it is due when the wait ends;
// -1 without timers.
int TEpollDispatcher::WaitMs() const
{
    if (due_.empty())
        return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(due_.begin()->first - Clock::now()).count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 24 * 3600 * 1000));
}

int TEpollDispatcher::Activate(std::uint64_t data, std::uint32_t events)
{
    const int fd = static_cast<int>(data & 0xFFFFFFFFu);
    const auto generation = static_cast<std::uint32_t>(data >> 32);
    // Each notifier is looked up again: the one before may have removed it.
    const auto deliver = [&](QSocketNotifier* TSocket::*which, TDescriptorWatcher* TSocket::*direct) {
        TSocket* s = Find(fd);
        if (!s || s->Generation != generation)
            return 0;
        if (direct && s->*direct) {
            (s->*direct)->DescriptorReady();
            return 1;
        }
        if (!(s->*which))
            return 0;
        QEvent activation(QEvent::SockAct);
        QCoreApplication::sendEvent(s->*which, &activation);
        return 1;
    };
    int handled = 0;
    // An error or hang-up is news to a reader and a writer alike, as with poll().
    if (events & (EPOLLIN | EPOLLHUP | EPOLLERR))
        handled += deliver(&TSocket::Read, &TSocket::DirectRead);
    if (events & (EPOLLOUT | EPOLLHUP | EPOLLERR))
        handled += deliver(&TSocket::Write, &TSocket::DirectWrite);
    if (events & EPOLLPRI)
        handled += deliver(&TSocket::Exception, nullptr);
    return handled;
}

void TEpollDispatcher::registerSocketNotifier(QSocketNotifier* notifier)
{
    const int fd = static_cast<int>(notifier->socket());
    bool added;
    TSocket& s = Take(fd, added);
    switch (notifier->type()) {
    case QSocketNotifier::Read: s.Read = notifier; break;
    case QSocketNotifier::Write: s.Write = notifier; break;
    case QSocketNotifier::Exception: s.Exception = notifier; break;
    }
    Watch(fd, s, added);
}

// Descriptors are small numbers: one entry each, found without a search.
TEpollDispatcher::TSocket* TEpollDispatcher::Find(int fd)
{
    if (fd < 0 || static_cast<std::size_t>(fd) >= sockets_.size() || sockets_[fd].Generation == 0)
        return nullptr;
    return &sockets_[fd];
}

TEpollDispatcher::TSocket& TEpollDispatcher::Take(int fd, bool& added)
{
    if (static_cast<std::size_t>(fd) >= sockets_.size())
        sockets_.resize(std::max<std::size_t>(static_cast<std::size_t>(fd) + 1, sockets_.size() * 2));
    TSocket& s = sockets_[fd];
    added = s.Generation == 0;
    if (added)
        s.Generation = ++generation_;
    return s;
}

void TEpollDispatcher::unregisterSocketNotifier(QSocketNotifier* notifier)
{
    const int fd = static_cast<int>(notifier->socket());
    TSocket* s = Find(fd);
    if (!s)
        return;
    for (QSocketNotifier** n : {&s->Read, &s->Write, &s->Exception})
        if (*n == notifier)
            *n = nullptr;
    Forget(fd, *s);
}

// A socket nothing watches any more leaves the set; else its events change.
void TEpollDispatcher::Forget(int fd, TSocket& s)
{
    if (Wanted(s) != 0) {
        Watch(fd, s, false);
        return;
    }
    // The descriptor may be closed already, which took it out of the set.
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
    s = TSocket();
}

TEpollDispatcher* TEpollDispatcher::Current()
{
    return dynamic_cast<TEpollDispatcher*>(QAbstractEventDispatcher::instance());
}

void TEpollDispatcher::WatchDirect(int fd, QSocketNotifier::Type type, TDescriptorWatcher* watcher)
{
    TDescriptorWatcher* TSocket::*slot = type == QSocketNotifier::Write ? &TSocket::DirectWrite : &TSocket::DirectRead;
    if (watcher) {
        bool added;
        TSocket& s = Take(fd, added);
        s.*slot = watcher;
        Watch(fd, s, added);
        return;
    }
    TSocket* s = Find(fd);
    if (!s)
        return;
    s->*slot = nullptr;
    Forget(fd, *s);
}

std::uint32_t TEpollDispatcher::Wanted(const TSocket& socket)
{
    return (socket.Read || socket.DirectRead ? EPOLLIN : 0u) | (socket.Write || socket.DirectWrite ? EPOLLOUT : 0u)
         | (socket.Exception ? EPOLLPRI : 0u);
}

// A new descriptor joins the set at once; a change waits for WatchChanged.
void TEpollDispatcher::Watch(int fd, TSocket& socket, bool added)
{
    if (added) {
        epoll_event e{};
        e.events = socket.Watched = Wanted(socket);
        e.data.u64 = Tag(fd, socket.Generation);
        if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &e) < 0 && errno == EEXIST)
            ::epoll_ctl(epoll_, EPOLL_CTL_MOD, fd, &e);
    } else if (!socket.Changed) {
        socket.Changed = true;
        changed_.push_back(fd);
    }
}

void TEpollDispatcher::WatchChanged()
{
    for (const int fd : changed_) {
        TSocket* s = Find(fd);
        if (!s || !s->Changed)
            continue;  // gone, or gone and back (added afresh)
        s->Changed = false;
        epoll_event e{};
        e.events = Wanted(*s);
        e.data.u64 = Tag(fd, s->Generation);
        if (e.events == s->Watched)
            continue;
        s->Watched = e.events;
        if (::epoll_ctl(epoll_, EPOLL_CTL_MOD, fd, &e) < 0 && errno == ENOENT)
            ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &e);  // closed and opened again under the same number
    }
    changed_.clear();
}

void TEpollDispatcher::registerTimer(int timerId, qint64 interval, Qt::TimerType timerType, QObject* object)
{
    unregisterTimer(timerId);  // a number is never in use twice; if it were, the new timer wins
    const auto t = timers_.emplace(timerId, TTimer{interval, timerType, object, {}}).first;
    Arm(t, Clock::now() + std::chrono::milliseconds(interval));
}

void TEpollDispatcher::Arm(std::unordered_map<int, TTimer>::iterator timer, Clock::time_point due)
{
    due_.erase({timer->second.Due, timer->first});
    timer->second.Due = due;
    due_.insert({due, timer->first});
}

bool TEpollDispatcher::unregisterTimer(int timerId)
{
    const auto t = timers_.find(timerId);
    if (t == timers_.end())
        return false;
    due_.erase({t->second.Due, timerId});
    timers_.erase(t);
    return true;
}

bool TEpollDispatcher::unregisterTimers(QObject* object)
{
    bool any = false;
    for (auto t = timers_.begin(); t != timers_.end();) {
        if (t->second.Object == object) {
            due_.erase({t->second.Due, t->first});
            t = timers_.erase(t);
            any = true;
        } else {
            ++t;
        }
    }
    return any;
}

QList<QAbstractEventDispatcher::TimerInfo> TEpollDispatcher::registeredTimers(QObject* object) const
{
    QList<TimerInfo> out;
    for (const auto& [id, t] : timers_)
        if (t.Object == object)
            out.append(TimerInfo(id, static_cast<int>(t.Interval), t.Type));
    return out;
}

int TEpollDispatcher::remainingTime(int timerId)
{
    const auto t = timers_.find(timerId);
    if (t == timers_.end())
        return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(t->second.Due - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Every timer due now, once each: one due again meanwhile (an interval of 0)
// waits for the next round, so sockets are not starved.
int TEpollDispatcher::FireTimers()
{
    const Clock::time_point now = Clock::now();
    std::vector<int> due;
    for (auto it = due_.begin(); it != due_.end() && it->first <= now; ++it)
        due.push_back(it->second);
    int fired = 0;
    for (const int id : due) {
        auto t = timers_.find(id);
        if (t == timers_.end() || t->second.Due > now || t->second.Firing)
            continue;
        // The next time first: the handler may stop the timer or start it anew.
        const auto interval = std::chrono::milliseconds(t->second.Interval);
        auto next = t->second.Due + interval;
        if (next <= now)
            next = now + interval;
        Arm(t, next);
        t->second.Firing = true;
        QTimerEvent event(id);
        QCoreApplication::sendEvent(t->second.Object, &event);
        if ((t = timers_.find(id)) != timers_.end())
            t->second.Firing = false;
        ++fired;
    }
    return fired;
}

void TEpollDispatcher::wakeUp()
{
    if (std::this_thread::get_id() == owner_) {
        wokenHere_ = true;
        return;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(wake_, &one, sizeof one);
}

void TEpollDispatcher::interrupt()
{
    interrupted_.store(true);
    wakeUp();
}
