#include "ScalesModel.h"

#include "GridTable.h"
#include "ScaleReport.h"
#include "IdUdpServer.h"
#include "UdpPort.h"

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
            if (rows_[i].Job)
                RowChanged(static_cast<int>(i));
    });
}

TScalesModel::~TScalesModel()
{
    // The jobs before the deadlines they hold.
    ended_.clear();
    rows_.clear();
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
    const int percent = r.Job ? r.Job->Percent : r.Percent;
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
        if (r.Job)
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
    if (r.Job) {
        if (r.Attempt > 0)
            return tr("reconnecting (attempt %1)").arg(r.Attempt);
        if (!r.Connected)
            return tr("connecting");
        if (r.Job->RecordsSent == 0)
            return tr("connected");
        return tr("sending record %1 of %2").arg(r.Job->RecordsSent).arg(table_.RowCount());
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
    if (running_)
        return;
    const int at = rowCount();
    beginInsertRows({}, at, at);
    rows_.push_back(TRow{entry, false, {}, nullptr, false, 0, 0, {}});
    endInsertRows();
}

void TScalesModel::Remove(int row)
{
    if (running_ || row < 0 || row >= rowCount())
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
}

void TScalesModel::SetList(TScaleList list)
{
    if (running_)
        return;
    beginResetModel();
    rows_.clear();
    run_.clear();
    for (TScaleListEntry& e : list.Entries)
        rows_.push_back(TRow{std::move(e), false, {}, nullptr, false, 0, 0, {}});
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

// UDP replies are told apart by their sender's address alone: a second
// scale at one address could take the first one's replies.
bool TScalesModel::SameUdpAddress(int i, const std::vector<int>& before)
{
    const TTarget& t = Row(i).Entry.Target;
    std::uint32_t address = 0;
    if (t.Kind != ckEthernet || t.Protocol != epUDP || !ParseDottedDecimal(t.Host, address))
        return false;
    for (const int j : before) {
        const TTarget& o = Row(j).Entry.Target;
        std::uint32_t other = 0;
        if (o.Kind == ckEthernet && o.Protocol == epUDP && ParseDottedDecimal(o.Host, other) && other == address) {
            TRow& r = rows_[static_cast<std::size_t>(i)];
            r.Ran = true;
            r.Result = {TJobState::Failed,
                        tr("%1 and %2 are one address over UDP: its replies could not be told apart")
                            .arg(o.Link, t.Link), 0, 0.0};
            RowChanged(i);
            return true;
        }
    }
    return false;
}

void TScalesModel::Send(const std::vector<int>& rows, int position, quint16 udpPort)
{
    if (running_ || rows.empty())
        return;
    run_.clear();
    // Kept from an earlier run while its ended jobs still hold them.
    if (!deadlines_) {
        deadlines_ = std::make_unique<TDeadlines>(Timeout);
        gaps_ = std::make_unique<TDeadlines>(std::chrono::milliseconds(TUpload::GapMs));
    }
    if (!udp_)
        udp_ = std::make_shared<TUdpPort>(udpPort);
    for (const int i : rows) {
        if (i < 0 || i >= rowCount() || std::find(run_.begin(), run_.end(), i) != run_.end())
            continue;
        if (!SameUdpAddress(i, run_))
            Start(i, position);
        run_.push_back(i);
    }
    if (running_)
        tick_.start();
    else
        OnRunEnded();
}

void TScalesModel::Start(int i, int position)
{
    TRow& r = rows_[static_cast<std::size_t>(i)];
    r.Ran = false;
    r.Result = {};
    r.Connected = false;
    r.Attempt = 0;
    r.Percent = 0;
    r.Clock.start();
    r.Job = std::make_unique<TScaleJob>(r.Entry.Target, table_, position, *deadlines_, *gaps_, Retries, udp_, &log_);
    r.Job->OnEvent = [this, i](TScaleJob& job, TScaleJob::TEvent event) { Event(i, job, event); };
    r.Job->ReconnectSeconds = ReconnectSeconds;
    r.Job->Kind = KindWord;
    TScaleJob* job = r.Job.get();
    QTimer::singleShot(0, job, [job] { job->Begin(); });
    ++running_;
    RowChanged(i);
}

void TScalesModel::Event(int i, TScaleJob& job, TScaleJob::TEvent event)
{
    if (event == TScaleJob::evConnected)
        rows_[static_cast<std::size_t>(i)].Connected = true;
    rows_[static_cast<std::size_t>(i)].Attempt = job.ReconnectAttempt();
    if (event == TScaleJob::evFinished)
        Ended(i, job);
    else
        RowChanged(i);
}

void TScalesModel::Ended(int i, TScaleJob& job)
{
    TRow& r = rows_[static_cast<std::size_t>(i)];
    r.Ran = true;
    r.Result = ResultOf(job);
    r.Percent = job.Percent;
    // This runs inside the job's own callbacks: delete it, and so close its
    // link, once they have returned.
    ended_.push_back(std::move(r.Job));
    QMetaObject::invokeMethod(&context_, [this] { ReleaseJobs(); }, Qt::QueuedConnection);
    --running_;
    RowChanged(i);
    OnScaleEnded(i);
    if (running_ == 0) {
        tick_.stop();
        OnRunEnded();
    }
}

void TScalesModel::ReleaseJobs()
{
    ended_.clear();
    if (running_ == 0) {
        udp_.reset();  // the UDP port is free again for the window's own link
        deadlines_.reset();
        gaps_.reset();
    }
}

void TScalesModel::StopAll()
{
    for (TRow& r : rows_)
        if (r.Job)
            r.Job->Interrupt();
}

std::vector<std::int32_t> TScalesModel::RunningIndexes() const
{
    std::vector<std::int32_t> indexes;
    for (const TRow& r : rows_)
        if (r.Job)
            indexes.push_back(r.Job->UploadIndex());
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
        sum += r.Job ? r.Job->Percent : r.Percent;
    }
    return sum / static_cast<int>(run_.size());
}
