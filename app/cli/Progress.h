#pragma once
// `scaledb send`'s progress on standard error. Off a terminal a line per
// scale event; on one (or with --progress) a bar per scale, redrawn in place
// at most ten times a second, or for a fleet taller than the terminal one
// summary bar and a line per finished scale. Standard error never holds up
// the upload: what it does not take at once waits (bounded) for the next
// turn, and once nobody reads it (EPIPE) the progress stops.
#include "ScaleJob.h"

#include <QElapsedTimer>
#include <QHash>
#include <QString>
#include <QTimer>

#include <cstddef>
#include <vector>

class TProgress {
public:
    enum TMode { pmLines, pmBars, pmSummary, pmQuiet };

    // How the run's progress shows: `forced` by --progress, none with --quiet.
    static TMode ModeFor(bool quiet, bool forced, std::size_t scales);

    // `records`: the database's, each scale's upload sends them all.
    TProgress(const std::vector<TTarget>& targets, int records, TMode mode);

    void Event(const TScaleJob& job, TScaleJob::TEvent event);
    // Draws the last state; the jobs are gone or about to go.
    void Finish();

private:
    // One scale's bar; Job only between its first event and its evFinished,
    // after which its owner deletes it.
    struct TBar {
        const TScaleJob* Job = nullptr;
        QElapsedTimer Clock;  // from its link's connection
        int Records = 0;
        QString End;          // what the bar shows once finished
        double Seconds = 0;   // from connection to the end
        QString Note;         // the last reconnect step, until the next quarter
        bool LookingUp = false;
    };

    void Line(const TScaleJob& job, TScaleJob::TEvent event);
    void Bar(const TScaleJob& job, TScaleJob::TEvent event);
    void Summary(const TScaleJob& job, TScaleJob::TEvent event);
    QString BarText(const TBar& bar, const QString& name) const;
    QString SummaryText() const;
    void Draw();
    void FitNames();
    void Write(const QString& text);
    // Writes what standard error takes now; stops the progress when it fails.
    void Flush();

    const std::vector<TTarget>& targets_;
    int records_;
    TMode mode_;
    int columns_;
    int nameWidth_ = 0;
    int longestName_ = 0;
    std::vector<TBar> bars_;               // pmBars: one per target
    QHash<QString, std::size_t> byName_;   // a target's link -> its bar
    QHash<const TScaleJob*, int> sent_;    // pmSummary: records of the running jobs
    QHash<const TScaleJob*, bool> lookingUp_;  // pmSummary: the jobs whose host is being looked up
    QByteArray pending_;                   // written, not yet taken by standard error
    long long dropped_ = 0;                // bytes that found pending_ full
    bool stopped_ = false;                 // standard error failed: no more progress
    std::size_t done_ = 0;
    std::size_t failed_ = 0;
    long long recordsDone_ = 0;            // of all scales
    long long finishedRecords_ = 0;        // of those, by the finished scales
    QElapsedTimer clock_;
    QString shown_;                        // the frame on the screen
    int shownLines_ = 0;
    QTimer redraw_;
};

// "1:05", "1:02:03": a time left.
QString Clock(double seconds);
