#pragma once
// One scale's upload for `scaledb send`: its own link, exchange and deadline,
// reporting each step to the run that started it. Once it finished it takes
// nothing more from its link; its owner deletes it (and so closes the link)
// on the next turn of the event loop, never inside its own callbacks.
#include "Deadlines.h"
#include "GridTable.h"
#include "UploadSession.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class TCommLog;
class TUdpPort;

// A scale named by --to or a list: its link as typed, and its name (the
// link's text when the list gives none).
struct TTarget : TLinkTarget {
    QString Link;
    QString Name;
};

// Where a scale's upload stands; each but Running ends it.
enum class TJobState : std::int8_t { Running, Accepted, Failed, Interrupted };

// tcp://HOST:PORT, udp://ADDRESS:PORT or serial:DEVICE[@BAUD].
bool ParseLink(const QString& text, TTarget& t);

// The outcome of an upload a signal ended: "interrupted at record k of R".
QString InterruptedAt(int record, int rows);

class TScaleJob : public QObject {
public:
    enum TEvent { evConnected, evPercent, evFinished };

    // `deadlines` runs the time each command may wait for its reply, `gaps`
    // the 100 ms between a reply and the next command.
    TScaleJob(const TTarget& target, const TGridTable& table, int position, TDeadlines& deadlines,
              TDeadlines& gaps, int retries, std::shared_ptr<TUdpPort> udp, TCommLog* log = nullptr);
    ~TScaleJob() override;

    void Begin();
    // Ends the upload now, as a signal asks: nothing more is sent.
    void Interrupt();

    TTarget Target;
    int Percent = 0;
    int RecordsSent = 0;          // the highest record number sent so far
    TJobState State = TJobState::Running;
    QString Cause;                // why it failed, or InterruptedAt(); empty otherwise
    double Seconds = 0;
    std::function<void(TScaleJob& job, TEvent event)> OnEvent = [](TScaleJob&, TEvent) {};

protected:
    // The link's WM_LINKSTATE, posted to this job alone.
    bool event(QEvent* e) override;

private:
    void Received(const QByteArray& text);
    void OpenSerial();
    void LinkChanged();
    // The outcome of a link that went down, with its cause.
    QString LinkFailure() const;
    void Start();
    void Send(const QByteArray& command);
    // The exchange reached its end.
    void Ended(bool failed);
    void Fail(const QString& cause) { Finish(TJobState::Failed, cause); }
    void Finish(TJobState state, const QString& cause);

    std::shared_ptr<TUdpPort> udp_;  // every UDP scale's one endpoint
    const TGridTable& table_;
    int position_;
    TUploadSession session_;
    TDeadlines& deadlines_;
    TDeadlines::TId deadline_;
    TDeadlines& gaps_;
    TDeadlines::TId gap_;
    QElapsedTimer clock_;
    bool started_ = false;
    int retries_;
};
