#include "ScaleFleet.h"

#include "GridTable.h"
#include "UdpPort.h"

#include <QMetaObject>
#include <QTimer>

#include <algorithm>
#include <sys/resource.h>

namespace {

// Descriptors one upload may hold at once: a device and its event thread's
// eventfd, or a TCP socket (closed before a reconnect opens the next); UDP
// scales share one socket. And what the program needs besides.
constexpr rlim_t kFilesPerSerial = 3;
constexpr rlim_t kFilesPerTcp = 1;
constexpr rlim_t kFilesReserved = 64;

} // namespace

TFleet::TFleet(std::vector<TTarget> targets, const TGridTable& table, const TFleetPolicy& policy, TCommLog* log)
    : Results(targets.size()), targets_(std::move(targets)), table_(table), policy_(policy), log_(log),
      deadlines_(policy.Timeout), gaps_(std::chrono::milliseconds(TUpload::GapMs)),
      lookups_(THostLookups::DefaultAtOnce, policy.ConnectTimeoutMs),
      udp_(std::make_shared<TUdpPort>(policy.UdpPort)), jobs_(targets_.size())
{
}

TFleet::~TFleet()
{
    // The jobs before the deadlines and lookups they hold.
    jobs_.clear();
}

std::size_t TFleet::UploadsThatFit(const std::vector<TTarget>& targets)
{
    rlim_t perUpload = 0;
    for (const TTarget& t : targets)
        perUpload = std::max(perUpload, t.Kind == ckSerial ? kFilesPerSerial : t.Protocol == epTCP ? kFilesPerTcp : 0);
    if (perUpload == 0)
        return SIZE_MAX;
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return SIZE_MAX;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    if (limit.rlim_cur == RLIM_INFINITY)
        return SIZE_MAX;
    return limit.rlim_cur > kFilesReserved + perUpload ? (limit.rlim_cur - kFilesReserved) / perUpload : 1;
}

void TFleet::Start()
{
    for (std::size_t i = 0; i < targets_.size(); ++i) {
        const QString same = keys_.Hold(targets_[i]);
        if (same.isEmpty())
            queue_.push_back(i);
        else
            Results[i] = {TJobState::Failed, same, 0, 0.0, 0, false};
    }
    const std::size_t atOnce = std::min(policy_.AtOnce, UploadsThatFit(targets_));
    for (std::size_t k = 0; k < atOnce && k < queue_.size(); ++k)
        StartNext();
}

std::unique_ptr<TScaleJob> TFleet::Make(const TTarget& target)
{
    auto job = std::make_unique<TScaleJob>(target, table_, policy_.Position, deadlines_, gaps_, policy_.Retries, udp_, log_);
    job->Kind = policy_.Kind;
    job->ConnectTimeoutMs = policy_.ConnectTimeoutMs;
    job->ReconnectSeconds = policy_.ReconnectSeconds;
    if (policy_.LookUpNames) {
        job->Lookups = &lookups_;
        job->Scales = &keys_;
    }
    return job;
}

void TFleet::StartNext()
{
    if (stopped_ || next_ >= queue_.size())
        return;
    const std::size_t i = queue_[next_++];
    jobs_[i] = Make(targets_[i]);
    TScaleJob* job = jobs_[i].get();
    job->OnEvent = [this, i](TScaleJob& j, TScaleJob::TEvent event) { Event(i, j, event); };
    QTimer::singleShot(0, job, [job] { job->Begin(); });
}

void TFleet::Event(std::size_t i, TScaleJob& job, TScaleJob::TEvent event)
{
    if (event == TScaleJob::evFinished) {
        Results[i] = ResultOf(job);
        ++finished_;
        // This runs inside the job's own callbacks: delete it, and so close
        // its link, once they have returned.
        QMetaObject::invokeMethod(&context_, [this, i] { jobs_[i].reset(); }, Qt::QueuedConnection);
    }
    OnEvent(i, job, event);
    if (event != TScaleJob::evFinished)
        return;
    StartNext();
    EndIfDone();
}

void TFleet::EndIfDone()
{
    if (ended_ || finished_ != next_ || (next_ < queue_.size() && !stopped_))
        return;
    ended_ = true;
    OnEnded();
}

void TFleet::EndWaiting(const TScaleResult& result)
{
    stopped_ = true;
    for (std::size_t k = next_; k < queue_.size(); ++k)
        Results[queue_[k]] = result;
}

void TFleet::Interrupt()
{
    EndWaiting({TJobState::Interrupted, InterruptedAt(0, table_.RowCount()), 0, 0.0, 0, false});
    for (auto& job : jobs_)
        if (job && job->State == TJobState::Running)
            job->Interrupt();
    EndIfDone();
}

void TFleet::Abandon(const QString& cause)
{
    EndWaiting({TJobState::Failed, cause, 0, 0.0, 0, false});
    for (auto& job : jobs_)
        if (job && job->State == TJobState::Running)
            job->Abandon(cause);
    EndIfDone();
}

void TFleet::ReleaseEnded()
{
    for (auto& job : jobs_)
        if (job && job->State != TJobState::Running)
            job.reset();
}

TScaleResult ResultOf(const TScaleJob& job)
{
    return {job.State, job.Cause, job.RecordsSent, job.Seconds, job.Reconnects(), job.StartedOver()};
}
