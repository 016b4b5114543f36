#include "Progress.h"

#include "StreamWrite.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr int kBarWidth = 20;
constexpr int kRedrawMs = 100;
// What a bar needs beside the name: " [####################] 999 of 999, 99.9 records/s, 0:00 left".
constexpr int kBarTail = 70;
// What may wait for standard error; past it, progress text is dropped.
constexpr qsizetype kPendingLimit = qsizetype(1) << 20;

// The terminal's size on standard error, however wide; off a terminal
// COLUMNS and LINES where set (what --progress to a file gets), else 100 x 24.
winsize TerminalSize()
{
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_row > 0 && size.ws_col > 0)
        return size;
    const auto fromEnvironment = [](const char* name, int fallback) {
        bool ok = false;
        const int n = qEnvironmentVariableIntValue(name, &ok);
        return static_cast<unsigned short>(ok && n > 0 && n <= 65535 ? n : fallback);
    };
    size.ws_col = fromEnvironment("COLUMNS", 100);
    size.ws_row = fromEnvironment("LINES", 24);
    return size;
}

QString Filled(long long done, long long total)
{
    const int filled = total > 0 ? static_cast<int>(std::min(done, total) * kBarWidth / total) : kBarWidth;
    return QLatin1Char('[') + QString(filled, '#') + QString(kBarWidth - filled, '.') + QLatin1Char(']');
}

// ", 9.8 records/s": how fast records went so far.
QString Rate(long long done, double seconds)
{
    return QCoreApplication::translate("Progress", ", %1 records/s").arg(seconds > 0 ? static_cast<double>(done) / seconds : 0.0, 0, 'f', 1);
}

// ", 0:03 left" at the pace so far, once there is one.
QString Left(long long done, long long left, double seconds)
{
    if (done <= 0 || seconds <= 0)
        return QString();
    return QCoreApplication::translate("Progress", ", %1 left").arg(Clock(static_cast<double>(left) * seconds / static_cast<double>(done)));
}

QString Outcome(const TScaleJob& job)
{
    return job.State == TJobState::Accepted      ? QCoreApplication::translate("Progress", "accepted")
         : job.State == TJobState::Interrupted ? job.Cause
                                               : QCoreApplication::translate("Progress", "failed: ") + job.Cause;
}

} // namespace

QString Clock(double seconds)
{
    const long long s = static_cast<long long>(seconds + 0.5);
    if (s >= 3600)
        return QStringLiteral("%1:%2:%3").arg(s / 3600).arg(s / 60 % 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

TProgress::TMode TProgress::ModeFor(bool quiet, bool forced, std::size_t scales)
{
    if (quiet)
        return pmQuiet;
    if (!forced && !::isatty(STDERR_FILENO))
        return pmLines;
    // Every bar and the line the cursor rests on fit on the screen.
    return scales < TerminalSize().ws_row ? pmBars : pmSummary;
}

TProgress::TProgress(const std::vector<TTarget>& targets, int records, TMode mode)
    : targets_(targets), records_(records), mode_(mode), columns_(TerminalSize().ws_col)
{
    clock_.start();
    if (mode_ == pmLines) {
        // A line per scale event, written out whenever the loop goes to
        // sleep: one write for many lines, however many scales.
        QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                         &redraw_, [this] { Flush(); });
    }
    if (mode_ == pmBars) {
        bars_.resize(targets.size());
        for (std::size_t i = 0; i < targets.size(); ++i) {
            byName_.insert(targets[i].Name, i);
            longestName_ = std::max(longestName_, static_cast<int>(targets[i].Name.size()));
        }
        FitNames();
    }
    if (mode_ == pmBars || mode_ == pmSummary) {
        redraw_.setInterval(kRedrawMs);
        QObject::connect(&redraw_, &QTimer::timeout, [this] { Draw(); });
        redraw_.start();
        Draw();
    }
}

void TProgress::Event(const TScaleJob& job, TScaleJob::TEvent event)
{
    switch (mode_) {
    case pmLines: Line(job, event); break;
    case pmBars: Bar(job, event); break;
    case pmSummary: Summary(job, event); break;
    case pmQuiet: break;
    }
}

void TProgress::Line(const TScaleJob& job, TScaleJob::TEvent event)
{
    const QString line = event == TScaleJob::evConnected ? QCoreApplication::translate("Progress", "connected")
                       : event == TScaleJob::evPercent   ? QStringLiteral("%1 %").arg(job.Percent / 25 * 25)
                       : event == TScaleJob::evReconnect ? job.Reconnecting
                       : event == TScaleJob::evLookingUp ? QCoreApplication::translate("Progress", "looking up")
                                                         : Outcome(job);
    if (stopped_)
        return;
    if (pending_.size() > kPendingLimit) {
        ++dropped_;
        return;
    }
    pending_ += job.Target.Name.toLocal8Bit() + ": " + line.toLocal8Bit() + '\n';
}

void TProgress::Bar(const TScaleJob& job, TScaleJob::TEvent event)
{
    const auto i = byName_.constFind(job.Target.Name);
    if (i == byName_.constEnd())
        return;
    TBar& bar = bars_[i.value()];
    bar.Records = job.RecordsSent;
    if (event == TScaleJob::evFinished) {
        bar.Job = nullptr;
        bar.End = Outcome(job);
        bar.Seconds = bar.Clock.isValid() ? static_cast<double>(bar.Clock.elapsed()) / 1000.0 : 0.0;
        return;
    }
    bar.Job = &job;
    bar.Note = event == TScaleJob::evReconnect ? job.Reconnecting : QString();
    bar.LookingUp = event == TScaleJob::evLookingUp;
    if (bar.LookingUp)
        return;  // its clock runs from its connection
    if (!bar.Clock.isValid())
        bar.Clock.start();
}

void TProgress::Summary(const TScaleJob& job, TScaleJob::TEvent event)
{
    if (event == TScaleJob::evLookingUp) {
        lookingUp_.insert(&job, true);
        return;
    }
    lookingUp_.remove(&job);
    int& sent = sent_[&job];
    recordsDone_ += job.RecordsSent - sent;
    sent = job.RecordsSent;
    if (event != TScaleJob::evFinished)
        return;
    sent_.remove(&job);
    finishedRecords_ += job.RecordsSent;
    ++done_;
    failed_ += job.State != TJobState::Accepted;
    // A finished scale's line scrolls up above the bar.
    Write(QStringLiteral("\r\033[K%1: %2\n").arg(job.Target.Name, Outcome(job)));
    shownLines_ = 0;
    shown_.clear();
}

QString TProgress::BarText(const TBar& bar, const QString& name) const
{
    const int records = bar.Job ? bar.Job->RecordsSent : bar.Records;
    QString text = name.size() > nameWidth_ ? QStringLiteral("\u2026") + name.right(nameWidth_ - 1) : name;
    text = QCoreApplication::translate("Progress", "%1 %2 %3 of %4").arg(text, -nameWidth_).arg(Filled(records, records_)).arg(records).arg(records_);
    if (!bar.End.isEmpty()) {
        text += Rate(records, bar.Seconds) + QStringLiteral(", ") + bar.End;
    } else if (bar.Clock.isValid()) {
        const double seconds = static_cast<double>(bar.Clock.elapsed()) / 1000.0;
        text += Rate(records, seconds) + Left(records, records_ - records, seconds);
        if (!bar.Note.isEmpty())
            text += QStringLiteral(" (%1)").arg(bar.Note);
    } else {
        text += bar.LookingUp ? QCoreApplication::translate("Progress", ", looking up") : QCoreApplication::translate("Progress", ", waiting");
    }
    return text.left(columns_ - 1);
}

QString TProgress::SummaryText() const
{
    const long long all = static_cast<long long>(records_) * static_cast<long long>(targets_.size());
    // Finished scales send no more; the running ones sent part of theirs.
    const long long left = static_cast<long long>(records_) * static_cast<long long>(targets_.size() - done_)
                         - (recordsDone_ - finishedRecords_);
    QString text = QCoreApplication::translate("Progress", "%1 %2 of %3 records, %4 of %5 scales done, %6 failed")
                       .arg(Filled(recordsDone_, all)).arg(recordsDone_).arg(all).arg(done_).arg(targets_.size()).arg(failed_);
    if (!lookingUp_.isEmpty())
        text += QCoreApplication::translate("Progress", ", %1 looking up").arg(lookingUp_.size());
    const double seconds = static_cast<double>(clock_.elapsed()) / 1000.0;
    return (text + Left(recordsDone_, std::max(left, 0LL), seconds)).left(columns_ - 1);
}

// A name is cut only where the bar would not fit beside it, never below a third of the line.
void TProgress::FitNames()
{
    nameWidth_ = std::min(longestName_, std::max(columns_ / 3, columns_ - kBarTail));
}

void TProgress::Draw()
{
    if (stopped_)
        return;
    columns_ = TerminalSize().ws_col;  // the terminal may have been resized
    FitNames();
    QString frame;
    int lines = 0;
    if (mode_ == pmBars) {
        for (std::size_t i = 0; i < bars_.size(); ++i, ++lines)
            frame += QStringLiteral("\r\033[K") + BarText(bars_[i], targets_[i].Name) + QLatin1Char('\n');
    } else {
        frame = QStringLiteral("\r\033[K") + SummaryText();
    }
    if (frame == shown_)
        return;
    // Back to the first line of the last frame, then over it.
    Write((shownLines_ > 0 ? QStringLiteral("\033[%1A").arg(shownLines_) : QString()) + frame);
    shown_ = frame;
    shownLines_ = lines;
}

void TProgress::Write(const QString& text)
{
    if (stopped_)
        return;
    if (pending_.size() > kPendingLimit)
        dropped_ += 1;
    else
        pending_ += text.toLocal8Bit();
    Flush();
}

void TProgress::Flush()
{
    if (stopped_ || pending_.isEmpty())
        return;
    const long n = WriteNow(STDERR_FILENO, pending_.constData(), static_cast<std::size_t>(pending_.size()));
    if (n >= 0) {
        pending_.remove(0, n);
        return;
    }
    // Nobody reads it any more: the upload goes on without progress.
    stopped_ = true;
    pending_.clear();
    redraw_.stop();
}

void TProgress::Finish()
{
    redraw_.stop();
    if (mode_ == pmBars || mode_ == pmSummary) {
        for (TBar& bar : bars_)
            bar.Job = nullptr;
        Draw();
        if (mode_ == pmSummary)
            Write(QStringLiteral("\n"));
    }
    if (dropped_ > 0 && !stopped_)
        pending_ += QByteArrayLiteral("scaledb: standard error was not read: some progress was left out\n");
    if (!stopped_ && !pending_.isEmpty() && !WriteAllOut(STDERR_FILENO, pending_))
        stopped_ = true;
    pending_.clear();
}
