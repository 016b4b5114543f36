#include "ScalesModel.h"

#include "GridTable.h"
#include "ScaleReport.h"

#include <QMetaObject>

#include <algorithm>

namespace {

QString Seconds(double s)
{
    return QStringLiteral("%1 s").arg(s, 0, 'f', 1);
}

// How the summary names a scale: its name, or the address of an unnamed one.
QString ShortName(const TTarget& t)
{
    return t.Name != t.Link ? t.Name : t.Host;
}

} // namespace

TScalesModel::TScalesModel(const TGridTable& table, TCommLog& log, QObject* parent)
    : QAbstractTableModel(parent), table_(table), log_(log)
{
    // The record being sent and the time move on between a job's events.
    tick_.setInterval(250);
    connect(&tick_, &QTimer::timeout, this, [this] {
        for (std::size_t i = 0; i < rows_.size(); ++i)
            if (Job(rows_[i]))
                RowChanged(static_cast<int>(i));
    });
}

TScalesModel::~TScalesModel() = default;

const TScaleJob* TScalesModel::Job(const TRow& r) const
{
    return fleet_ && r.RunAt >= 0 ? fleet_->Job(static_cast<std::size_t>(r.RunAt)) : nullptr;
}

int TScalesModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TScalesModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : scCount;
}

QVariant TScalesModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const TRow& r = Row(index.row());
    const TScaleJob* job = Job(r);
    const int percent = job ? job->Percent : r.Percent;
    if (role == PercentRole)
        return percent;
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::AccessibleTextRole)
        return {};
    switch (index.column()) {
    case scName: return r.Entry.Target.Name;
    case scLink: return r.Entry.Target.Link;
    case scState: return StateText(r);
    case scProgress: return QStringLiteral("%1 %").arg(percent);
    case scTime:
        if (job)
            return Seconds(static_cast<double>(r.Clock.elapsed()) / 1000.0);
        return r.Ran ? Seconds(r.Result.Seconds) : QString();
    }
    return {};
}

QVariant TScalesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const names[] = {QT_TR_NOOP("Name"), QT_TR_NOOP("Link"), QT_TR_NOOP("State"),
                                        QT_TR_NOOP("Progress"), QT_TR_NOOP("Time")};
    return section >= 0 && section < scCount ? tr(names[section]) : QString();
}

QString TScalesModel::StateText(const TRow& r) const
{
    if (const TScaleJob* job = Job(r)) {
        if (r.Attempt > 0)
            return tr("reconnecting (attempt %1)").arg(r.Attempt);
        if (!r.Connected)
            return tr("connecting");
        if (job->RecordsSent == 0)
            return tr("connected");
        return tr("sending record %1 of %2").arg(job->RecordsSent).arg(table_.RowCount());
    }
    if (!r.Ran)
        return tr("idle");
    switch (r.Result.State) {
    case TJobState::Accepted: return tr("accepted in ") + Seconds(r.Result.Seconds);
    case TJobState::Interrupted: return tr("interrupted");
    default: return tr("failed: ") + r.Result.Cause;
    }
}

void TScalesModel::Add(const TScaleListEntry& entry)
{
    if (RunningCount())
        return;
    const int at = rowCount();
    beginInsertRows({}, at, at);
    rows_.push_back(TRow{entry, false, {}, -1, false, 0, 0, {}});
    endInsertRows();
}

void TScalesModel::Remove(int row)
{
    if (RunningCount() || row < 0 || row >= rowCount())
        return;
    // The lines above it stay where they were: its comments, and lines that
    // could not be read, go with the next scale (or the end of the list).
    const QByteArray before = rows_[static_cast<std::size_t>(row)].Entry.Before;
    QByteArray& next = row + 1 < rowCount() ? rows_[static_cast<std::size_t>(row) + 1].Entry.Before : after_;
    next.prepend(before);
    beginRemoveRows({}, row, row);
    rows_.erase(rows_.begin() + row);
    endRemoveRows();
    run_.clear();  // its rows' numbers moved
    fleet_.reset();
}

void TScalesModel::SetList(TScaleList list)
{
    if (RunningCount())
        return;
    beginResetModel();
    rows_.clear();
    run_.clear();
    fleet_.reset();
    for (TScaleListEntry& e : list.Entries)
        rows_.push_back(TRow{std::move(e), false, {}, -1, false, 0, 0, {}});
    after_ = list.After;
    endResetModel();
}

TScaleList TScalesModel::List() const
{
    TScaleList list;
    for (const TRow& r : rows_)
        list.Entries.push_back(r.Entry);
    list.After = after_;
    return list;
}

TFleetPolicy TScalesModel::Policy(int position, quint16 udpPort) const
{
    TFleetPolicy policy;
    policy.Position = position;
    policy.Kind = KindWord;
    policy.Retries = Retries;
    policy.Timeout = Timeout;
    policy.ReconnectSeconds = ReconnectSeconds;
    policy.UdpPort = udpPort;
    return policy;
}

void TScalesModel::Send(const std::vector<int>& rows, int position, quint16 udpPort)
{
    if (RunningCount() || rows.empty())
        return;
    fleet_.reset();  // the last run's: its port is free again before the next one opens it
    run_.clear();
    for (TRow& r : rows_)
        r.RunAt = -1;
    std::vector<TTarget> targets;
    for (const int i : rows) {
        if (i < 0 || i >= rowCount() || rows_[static_cast<std::size_t>(i)].RunAt >= 0)
            continue;
        rows_[static_cast<std::size_t>(i)].RunAt = static_cast<int>(run_.size());
        run_.push_back(i);
        targets.push_back(Row(i).Entry.Target);
    }
    fleet_ = std::make_unique<TFleet>(std::move(targets), table_, Policy(position, udpPort), &log_);
    fleet_->OnEvent = [this](std::size_t at, TScaleJob& job, TScaleJob::TEvent event) { Event(at, job, event); };
    fleet_->OnEnded = [this] { RunEnded(); };
    fleet_->Start();
    for (const int i : run_)
        Begin(i);
    if (RunningCount())
        tick_.start();
    else
        OnRunEnded();
}

// A row of the run starts over, or shows at once that it failed: the same
// scale as a row before it.
void TScalesModel::Begin(int i)
{
    TRow& r = rows_[static_cast<std::size_t>(i)];
    const TScaleResult& result = fleet_->Results[static_cast<std::size_t>(r.RunAt)];
    r.Ran = result.State != TJobState::Running;
    r.Result = result;
    r.Connected = false;
    r.Attempt = 0;
    r.Percent = 0;
    r.Clock.start();
    RowChanged(i);
}

void TScalesModel::Event(std::size_t at, TScaleJob& job, TScaleJob::TEvent event)
{
    const int i = run_[at];
    TRow& r = rows_[static_cast<std::size_t>(i)];
    if (event == TScaleJob::evConnected)
        r.Connected = true;
    r.Attempt = job.ReconnectAttempt();
    if (event == TScaleJob::evFinished)
        Ended(i, job);
    else
        RowChanged(i);
}

void TScalesModel::Ended(int i, const TScaleJob& job)
{
    TRow& r = rows_[static_cast<std::size_t>(i)];
    r.Ran = true;
    r.Result = fleet_->Results[static_cast<std::size_t>(r.RunAt)];
    r.Percent = job.Percent;
    RowChanged(i);
    OnScaleEnded(i);
}

void TScalesModel::RunEnded()
{
    tick_.stop();
    OnRunEnded();
    // Inside the last job's callbacks: the fleet goes once they returned.
    QMetaObject::invokeMethod(&context_, [this] {
        if (fleet_ && fleet_->Running() == 0)
            fleet_.reset();
    }, Qt::QueuedConnection);
}

void TScalesModel::StopAll()
{
    if (RunningCount())
        fleet_->Interrupt();
}

std::vector<std::int32_t> TScalesModel::RunningIndexes() const
{
    std::vector<std::int32_t> indexes;
    for (const TRow& r : rows_)
        if (const TScaleJob* job = Job(r))
            indexes.push_back(job->UploadIndex());
    return indexes;
}

void TScalesModel::RowChanged(int i)
{
    emit dataChanged(index(i, scState), index(i, scTime));
}

QString TScalesModel::Summary() const
{
    int accepted = 0;
    int interrupted = 0;
    QStringList failures;
    for (const int i : run_) {
        const TRow& r = Row(i);
        if (r.Result.State == TJobState::Accepted)
            ++accepted;
        else if (r.Result.State == TJobState::Interrupted)
            ++interrupted;
        else
            failures << ShortName(r.Entry.Target) + QLatin1Char(' ') + r.Result.Cause;
    }
    const int total = static_cast<int>(run_.size());
    QString text = tr("%1 of %2 %3 accepted the database")
                       .arg(accepted).arg(total).arg(total == 1 ? tr("scale") : tr("scales"));
    if (!failures.isEmpty()) {
        // The line holds a few; the rows tell every one.
        const qsizetype more = failures.size() - 3;
        QString named = failures.mid(0, 3).join(QStringLiteral(", "));
        if (more > 0)
            named += tr(" and %1 more").arg(more);
        text += tr("; %1 failed: %2").arg(failures.size()).arg(named);
    }
    if (interrupted)
        text += tr("; %1 interrupted").arg(interrupted);
    return text;
}

std::vector<int> TScalesModel::NotAccepted() const
{
    std::vector<int> rows;
    for (int i = 0; i < rowCount(); ++i)
        if (Row(i).Ran && Row(i).Result.State != TJobState::Accepted)
            rows.push_back(i);
    return rows;
}

bool TScalesModel::AnyRan() const
{
    return std::any_of(rows_.begin(), rows_.end(), [](const TRow& r) { return r.Ran; });
}

QByteArray TScalesModel::Report() const
{
    std::vector<TTarget> targets;
    std::vector<TScaleResult> results;
    for (const TRow& r : rows_)
        if (r.Ran) {
            targets.push_back(r.Entry.Target);
            results.push_back(r.Result);
        }
    return ReportJson(targets, results);
}

int TScalesModel::RunPercent() const
{
    if (run_.empty())
        return 0;
    int sum = 0;
    for (const int i : run_) {
        const TRow& r = rows_[static_cast<std::size_t>(i)];
        const TScaleJob* job = Job(r);
        sum += job ? job->Percent : r.Percent;
    }
    return sum / static_cast<int>(run_.size());
}
