#pragma once
// The scales panel's rows and their uploads: one scale a row, each run
// through its own TScaleJob (link, upload, log feed), all at once. A job
// lives while its upload runs; its outcome stays in the row.
#include "Deadlines.h"
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
class TUdpPort;

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
        std::unique_ptr<TScaleJob> Job;  // while its upload runs
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
    // The list's changes; none while an upload runs.
    void Add(const TScaleListEntry& entry);
    void Remove(int row);
    void SetList(TScaleList list);
    TScaleList List() const;

    // Uploads the table to each of rows at once, the start command for
    // `position`; UDP scales share one endpoint on udpPort.
    void Send(const std::vector<int>& rows, int position, quint16 udpPort);
    void StopAll();
    int RunningCount() const { return running_; }
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

    int Retries = 5;
    std::chrono::milliseconds Timeout{10000};
    int ReconnectSeconds = 30;           // a link lost mid-upload is tried again this long
    QString KindWord = QStringLiteral("product");  // the database kind, for the log
    // The last upload of a run ended.
    std::function<void()> OnRunEnded = [] {};

private:
    void Start(int i, int position);
    void Event(int i, TScaleJob& job, TScaleJob::TEvent event);
    void Ended(int i, TScaleJob& job);
    void ReleaseJobs();
    void RowChanged(int i);
    bool SameUdpAddress(int i, const std::vector<int>& before);

    const TGridTable& table_;
    TCommLog& log_;
    // Declared before the jobs, which remove their deadlines as they go.
    std::unique_ptr<TDeadlines> deadlines_;
    std::unique_ptr<TDeadlines> gaps_;
    std::shared_ptr<TUdpPort> udp_;
    QByteArray after_;  // the list's comment lines after the last scale
    std::vector<TRow> rows_;
    std::vector<std::unique_ptr<TScaleJob>> ended_;  // deleted on the next turn of the loop
    std::vector<int> run_;  // the rows of the last run
    int running_ = 0;
    QTimer tick_;
    QObject context_;
};
