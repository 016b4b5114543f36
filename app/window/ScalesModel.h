#pragma once
// The scales panel's rows and their uploads: one scale a row, a view over
// the fleet runner that sends to the rows of a run. A row shows its job's
// progress while its upload runs; its outcome stays in the row.
#include "FleetDefaults.h"
#include "ScaleFleet.h"
#include "ScaleJob.h"
#include "ScaleList.h"

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

class TCommLog;
class TGridTable;

class TScalesModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TColumn { scName, scLink, scState, scProgress, scTime, scCount };
    // The progress column's percent, for its bar.
    static constexpr int PercentRole = Qt::UserRole;

    struct TRow {
        TScaleListEntry Entry;
        bool Ran = false;             // Result holds its last upload's outcome
        TScaleResult Result;
        int RunAt = -1;               // its place in the running fleet; -1: none
        bool Connected = false;
        int Attempt = 0;              // the reconnection attempt its link reports; 0: none
        int Percent = 0;
        QElapsedTimer Clock;
    };

    TScalesModel(const TGridTable& table, TCommLog& log, QObject* parent = nullptr);
    ~TScalesModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const TRow& Row(int i) const { return rows_[static_cast<std::size_t>(i)]; }
    // The row's job while its upload runs; else null.
    const TScaleJob* Job(const TRow& r) const;
    // The list's changes; none while an upload runs.
    void Add(const TScaleListEntry& entry);
    void Remove(int row);
    void SetList(TScaleList list);
    TScaleList List() const;

    // Uploads the table to each of rows at once, the start command for
    // `position`; UDP scales share one endpoint on udpPort.
    void Send(const std::vector<int>& rows, int position, quint16 udpPort);
    void StopAll();
    int RunningCount() const { return fleet_ ? static_cast<int>(fleet_->Running()) : 0; }
    // Where each running upload stands, as its UploadIndex.
    std::vector<std::int32_t> RunningIndexes() const;
    // Called as each scale's upload ends, with its row.
    std::function<void(int row)> OnScaleEnded = [](int) {};
    QString StateText(const TRow& r) const;
    // The last run in one line: "5 of 6 scales accepted the database; 1 failed: ..."
    QString Summary() const;
    // The last run's progress, the mean of its scales' percentages.
    int RunPercent() const;
    // The rows whose last upload was not accepted.
    std::vector<int> NotAccepted() const;
    bool AnyRan() const;
    // Every row that ran, as `scaledb send --report json` prints it.
    QByteArray Report() const;

    int Retries = FleetDefaults::Retries;
    std::chrono::milliseconds Timeout{FleetDefaults::TimeoutSeconds * 1000};
    int ReconnectSeconds = FleetDefaults::ReconnectSeconds;  // a link lost mid-upload is tried again this long
    QString KindWord = QStringLiteral("product");  // the database kind, for the log
    // The last upload of a run ended.
    std::function<void()> OnRunEnded = [] {};

private:
    TFleetPolicy Policy(int position, quint16 udpPort) const;
    void Begin(int i);
    void Event(std::size_t at, TScaleJob& job, TScaleJob::TEvent event);
    void Ended(int i, const TScaleJob& job);
    void RunEnded();
    void RowChanged(int i);

    const TGridTable& table_;
    TCommLog& log_;
    QByteArray after_;  // the list's comment lines after the last scale
    std::vector<TRow> rows_;
    std::vector<int> run_;  // the rows of the last run, in the fleet's order
    // The run's fleet; kept once it ended until the next turn of the loop,
    // as it ends inside a job's callbacks. Freed, the UDP port is free again
    // for the window's own link.
    std::unique_ptr<TFleet> fleet_;
    QTimer tick_;
    QObject context_;
};
