#pragma once
// The one fleet runner, under both faces: a queue of scales, at most a
// number at once within the descriptors the process may open, each through
// its own TScaleJob. A job lives only while its upload runs: once it
// finished, what the report needs is kept and the job, with its link, is
// deleted on the next turn of the loop, so descriptors and memory grow with
// the uploads running, not with the fleet. The runner never runs the event
// loop itself: the command line runs it until OnEnded, the window always.
#include "Deadlines.h"
#include "FleetDefaults.h"
#include "HostLookups.h"
#include "ScaleJob.h"
#include "ScaleKeys.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TCommLog;
class TGridTable;
class TUdpPort;

// What the report keeps of one scale's upload.
struct TScaleResult {
    TJobState State = TJobState::Running;
    QString Cause;             // empty when accepted
    int RecordsSent = 0;
    double Seconds = 0;
    int Reconnects = 0;
    bool StartedOver = false;  // the scale lost the upload with the link, and it began again
};

// What is kept of a finished job once it is deleted.
TScaleResult ResultOf(const TScaleJob& job);

// How a face runs its fleet.
struct TFleetPolicy {
    int Position = 0;  // of the database kind, for the start command
    QString Kind = QStringLiteral("product");  // the database kind's word, for the log
    int Retries = FleetDefaults::Retries;
    std::chrono::milliseconds Timeout{FleetDefaults::TimeoutSeconds * 1000};
    int ConnectTimeoutMs = FleetDefaults::ConnectTimeoutSeconds * 1000;
    int ReconnectSeconds = FleetDefaults::ReconnectSeconds;
    quint16 UdpPort = FleetDefaults::UdpPort;  // every UDP scale's one local port
    std::size_t AtOnce = SIZE_MAX;  // and never more than the descriptors allow
    // Named TCP hosts are looked up here, a few at a time, and their
    // addresses checked against the other scales'; else each link looks its own up.
    bool LookUpNames = false;
};

class TFleet {
public:
    TFleet(std::vector<TTarget> targets, const TGridTable& table, const TFleetPolicy& policy, TCommLog* log = nullptr);
    ~TFleet();
    TFleet(const TFleet&) = delete;
    TFleet& operator=(const TFleet&) = delete;

    // How many uploads fit in the open-file limit, raised as far as it goes.
    static std::size_t UploadsThatFit(const std::vector<TTarget>& targets);

    // Starts the first scales of the queue; a scale that is the same as one
    // before it fails at once. Nothing ends inside Start.
    void Start();
    // Ends every upload where it stands, as a quit signal or Stop asks:
    // the unfinished ones, started or not, are interrupted.
    void Interrupt();
    // Ends every unfinished upload as failed with the cause (an allocation failed).
    void Abandon(const QString& cause);

    // Deletes the jobs that ended, and so closes their links, now; never
    // inside a job's callbacks.
    void ReleaseEnded();

    std::size_t Running() const { return next_ - finished_; }
    const std::vector<TTarget>& Targets() const { return targets_; }
    // The job of scale i while its upload runs; else null.
    const TScaleJob* Job(std::size_t i) const
    {
        return jobs_[i] && jobs_[i]->State == TJobState::Running ? jobs_[i].get() : nullptr;
    }
    // The endpoint every UDP scale of this fleet shares.
    TUdpPort& Udp() { return *udp_; }

    // Each scale's, in the targets' order; Running until it ends.
    std::vector<TScaleResult> Results;
    std::function<void(std::size_t i, TScaleJob& job, TScaleJob::TEvent event)> OnEvent =
        [](std::size_t, TScaleJob&, TScaleJob::TEvent) {};
    // The last unfinished upload ended, inside its job's callbacks.
    std::function<void()> OnEnded = [] {};

private:
    std::unique_ptr<TScaleJob> Make(const TTarget& target);
    void StartNext();
    void Event(std::size_t i, TScaleJob& job, TScaleJob::TEvent event);
    // Ends the scales the queue has not started yet.
    void EndWaiting(const TScaleResult& result);
    void EndIfDone();

    std::vector<TTarget> targets_;
    const TGridTable& table_;
    TFleetPolicy policy_;
    TCommLog* log_;
    // Declared before the jobs, which remove their deadlines as they go.
    TDeadlines deadlines_;
    TDeadlines gaps_;
    THostLookups lookups_;
    TScaleKeys keys_;
    std::shared_ptr<TUdpPort> udp_;
    std::vector<std::size_t> queue_;  // the scales to run, in order
    std::vector<std::unique_ptr<TScaleJob>> jobs_;  // null before and after its upload
    std::size_t next_ = 0;      // of the queue, started
    std::size_t finished_ = 0;  // of those, ended
    bool stopped_ = false;
    bool ended_ = false;
    QObject context_;           // the deletions queued for later are dropped with it
};
