#pragma once
// The uploads of one `scaledb send`, at most a number at once. A job lives
// only while its upload runs: once it finished, what the report needs is
// kept and the job, with its link, is deleted on the next turn of the loop,
// so descriptors and memory grow with the uploads running, not with the
// fleet. A quit signal interrupts every upload and ends the run.
#include "ScaleJob.h"

#include <QObject>
#include <QString>

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

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

class TFleet {
public:
    using TMake = std::function<std::unique_ptr<TScaleJob>(const TTarget& target)>;

    // `rows`: the database's, for the outcome of a scale a signal kept from starting.
    TFleet(const std::vector<TTarget>& targets, TMake make, std::size_t atOnce, int rows);

    // Runs the event loop until every upload ended or a quit signal came;
    // returns that signal, or 0.
    int Run();

    // Each scale's, in the targets' order, once Run returned.
    std::vector<TScaleResult> Results;
    std::function<void(TScaleJob& job, TScaleJob::TEvent event)> OnEvent = [](TScaleJob&, TScaleJob::TEvent) {};

private:
    void StartNext();
    void Event(std::size_t i, TScaleJob& job, TScaleJob::TEvent event);
    void Stop(int signal);
    // An allocation failed inside the loop: every unfinished scale fails with it.
    void OutOfMemory();

    const std::vector<TTarget>& targets_;
    TMake make_;
    std::size_t atOnce_;
    int rows_;
    std::vector<std::unique_ptr<TScaleJob>> running_;  // null before and after its upload
    std::size_t next_ = 0;      // targets started
    std::size_t finished_ = 0;  // of those, ended
    int signal_ = 0;
    bool outOfMemory_ = false;
    QObject context_;           // the deletions queued for later are dropped with it
};
