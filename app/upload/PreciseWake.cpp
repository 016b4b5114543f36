#include "PreciseWake.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <sys/timerfd.h>
#include <unistd.h>

TPreciseWake::TPreciseWake(std::function<void()> due)
    : due_(std::move(due)), watch_(QSocketNotifier::Read, [this] { Fired(); })
{
    fd_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd_ >= 0)
        watch_.Start(fd_);
}

TPreciseWake::~TPreciseWake()
{
    watch_.Stop();
    if (fd_ >= 0)
        ::close(fd_);
}

void TPreciseWake::Start(std::chrono::nanoseconds after)
{
    // From a time read after the caller's moment: the wait is never shorter.
    StartAt(std::chrono::steady_clock::now() + after);
}

// steady_clock is CLOCK_MONOTONIC, the timerfd's clock.
void TPreciseWake::StartAt(std::chrono::steady_clock::time_point due)
{
    if (fd_ < 0)
        return;
    const std::int64_t ns = std::max<std::int64_t>(
        1, std::chrono::duration_cast<std::chrono::nanoseconds>(due.time_since_epoch()).count());
    itimerspec at{};
    at.it_value.tv_sec = ns / 1'000'000'000;
    at.it_value.tv_nsec = ns % 1'000'000'000;
    armed_ = ::timerfd_settime(fd_, TFD_TIMER_ABSTIME, &at, nullptr) == 0;
}

void TPreciseWake::Stop()
{
    if (!armed_)
        return;
    armed_ = false;
    // Setting the time also clears an expiry not yet read: it is not delivered.
    const itimerspec off{};
    ::timerfd_settime(fd_, 0, &off, nullptr);
}

void TPreciseWake::Fired()
{
    std::uint64_t expirations = 0;
    ssize_t n;
    while ((n = ::read(fd_, &expirations, sizeof expirations)) < 0 && errno == EINTR) {
    }
    // Nothing to read: it was stopped or moved after it became readable.
    if (n == sizeof expirations && expirations > 0) {
        armed_ = false;
        due_();
    }
}
