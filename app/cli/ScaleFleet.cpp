#include "ScaleFleet.h"

#include "QuitSignals.h"

#include <QCoreApplication>
#include <QTimer>

#include <new>

TFleet::TFleet(const std::vector<TTarget>& targets, TMake make, std::size_t atOnce, int rows)
    : Results(targets.size()), targets_(targets), make_(std::move(make)), atOnce_(atOnce), rows_(rows),
      running_(targets.size())
{
}

int TFleet::Run()
{
    if (targets_.empty())
        return 0;
    QObject scope;  // the signals reach this run only while it runs
    OnQuitSignal([this](int signal) { Stop(signal); }, &scope);
    try {
        for (std::size_t i = 0; i < atOnce_; ++i)
            StartNext();
        QCoreApplication::exec();
    } catch (const std::bad_alloc&) {
        OutOfMemory();
    }
    for (auto& job : running_)
        job.reset();
    for (std::size_t i = next_; i < targets_.size(); ++i)
        Results[i] = outOfMemory_ ? TScaleResult{TJobState::Failed, QStringLiteral("out of memory"), 0, 0.0}
                                  : TScaleResult{TJobState::Interrupted, InterruptedAt(0, rows_), 0, 0.0};
    return signal_;
}

void TFleet::StartNext()
{
    if (signal_ || outOfMemory_ || next_ >= targets_.size())
        return;
    const std::size_t i = next_++;
    running_[i] = make_(targets_[i]);
    TScaleJob* job = running_[i].get();
    job->OnEvent = [this, i](TScaleJob& j, TScaleJob::TEvent event) { Event(i, j, event); };
    QTimer::singleShot(0, job, [job] { job->Begin(); });
}

void TFleet::Event(std::size_t i, TScaleJob& job, TScaleJob::TEvent event)
{
    OnEvent(job, event);
    if (event != TScaleJob::evFinished)
        return;
    Results[i] = ResultOf(job);
    // This runs inside the job's own callbacks: delete it, and so close its
    // link, once they have returned.
    QMetaObject::invokeMethod(&context_, [this, i] { running_[i].reset(); }, Qt::QueuedConnection);
    ++finished_;
    StartNext();
    if (finished_ == next_)
        QCoreApplication::exit(0);
}

void TFleet::Stop(int signal)
{
    if (signal_)
        return;
    signal_ = signal;
    for (auto& job : running_)
        if (job)
            job->Interrupt();
    if (finished_ == next_)
        QCoreApplication::exit(0);
}

void TFleet::OutOfMemory()
{
    outOfMemory_ = true;
    for (auto& job : running_)
        if (job)
            job->Abandon(QStringLiteral("out of memory"));
}

TScaleResult ResultOf(const TScaleJob& job)
{
    return {job.State, job.Cause, job.RecordsSent, job.Seconds, job.Reconnects(), job.StartedOver()};
}
