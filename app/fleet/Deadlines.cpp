#include "Deadlines.h"

using Clock = std::chrono::steady_clock;

TDeadlines::TDeadlines(std::chrono::milliseconds timeout) : timeout_(timeout), wake_([this] { Check(); })
{
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Check(); });
}

TDeadlines::TId TDeadlines::Add(std::function<void()> expired)
{
    stopped_.push_back({Clock::time_point(), std::move(expired), false});
    return std::prev(stopped_.end());
}

void TDeadlines::Start(TId id)
{
    // Every deadline runs as long, so the one started last is due last.
    id->Due = Clock::now() + timeout_;
    running_.splice(running_.end(), id->Running ? running_ : stopped_, id);
    id->Running = true;
    Arm();
}

void TDeadlines::Stop(TId id)
{
    if (!id->Running)
        return;
    stopped_.splice(stopped_.end(), running_, id);
    id->Running = false;
}

void TDeadlines::Remove(TId id)
{
    (id->Running ? running_ : stopped_).erase(id);
}

void TDeadlines::Check()
{
    // Only what is due now: waits that fall due meanwhile are left to the
    // next round of the event loop, so replies are read between them.
    armed_ = false;
    const auto now = Clock::now();
    while (!running_.empty() && running_.front().Due <= now) {
        const TId due = running_.begin();
        Stop(due);
        const std::function<void()> expired = due->Expired;
        expired();
    }
    Arm();
}

// The head only ever moves later, so a timer armed for it never fires late;
// one that fires early finds nothing due and is armed again.
void TDeadlines::Arm()
{
    if (running_.empty() || armed_)
        return;
    armed_ = true;
    if (wake_.Valid()) {
        wake_.StartAt(running_.front().Due);
        return;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(running_.front().Due - Clock::now());
    timer_.start(std::max(left, std::chrono::milliseconds(0)));
}
