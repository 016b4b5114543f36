#pragma once
// One scale's upload in a fleet: its own link, exchange and deadline,
// reporting each step to the run that started it. Once it finished it takes
// nothing more from its link; its owner deletes it (and so closes the link)
// on the next turn of the event loop, never inside its own callbacks.
#include "Deadlines.h"
#include "FleetDefaults.h"
#include "GridTable.h"
#include "UploadSession.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>

class TCommLog;
class THostLookups;
class TScaleKeys;
class TUdpPort;
struct TLookupResult;

// A scale named by --to or a list: its link as typed, and its name (the
// link's text when the list gives none).
struct TTarget : TLinkTarget {
    QString Link;
    QString Name;
};

// Where a scale's upload stands; each but Running ends it.
enum class TJobState : std::int8_t { Running, Accepted, Failed, Interrupted };

// tcp://HOST:PORT, udp://ADDRESS:PORT or serial:DEVICE[@BAUD]. A port is
// decimal digits only, 1-65535; leading zeros are taken ("04001" is 4001).
bool ParseLink(const QString& text, TTarget& t);
// The forms a link takes, as a hint beside a link that is none.
QString LinkForms();

// A TCP link to a host name: its address comes from a lookup.
bool NeedsLookup(const TTarget& t);

// The outcome of an upload a signal ended: "interrupted at record k of R".
QString InterruptedAt(int record, int rows);

class TScaleJob : public QObject {
public:
    enum TEvent { evConnected, evPercent, evFinished, evReconnect, evLookingUp };

    // `deadlines` runs the time each command may wait for its reply, `gaps`
    // the 100 ms between a reply and the next command.
    TScaleJob(const TTarget& target, const TGridTable& table, int position, TDeadlines& deadlines,
              TDeadlines& gaps, int retries, std::shared_ptr<TUdpPort> udp, TCommLog* log = nullptr);
    ~TScaleJob() override;

    // A link that takes longer than this to come up has failed.
    static constexpr int ConnectLimitMs = FleetDefaults::ConnectTimeoutSeconds * 1000;

    // Starts the link; the deadline runs only once a command went out.
    void Begin();
    // Ends the upload now, as a signal asks: nothing more is sent.
    void Interrupt();
    // Ends it now as failed, with the cause.
    void Abandon(const QString& cause) { Fail(cause); }

    TTarget Target;
    int Percent = 0;
    int RecordsSent = 0;          // the highest record number sent so far
    TJobState State = TJobState::Running;
    QString Cause;                // why it failed, or InterruptedAt(); empty otherwise
    QString Kind = QStringLiteral("product");  // the database kind's word, for the log
    int ConnectTimeoutMs = ConnectLimitMs;
    // Where a named TCP link's host is looked up, and the check that its
    // address is no other link's scale; without them the link looks it up.
    THostLookups* Lookups = nullptr;
    TScaleKeys* Scales = nullptr;
    bool LookingUp() const { return lookup_ != 0; }
    double Seconds = 0;
    // Seconds a link lost during the upload is tried again, every 2 s; 0: the loss ends it.
    int ReconnectSeconds = 0;
    QString Reconnecting;         // the last reconnect step, for its event line
    int Reconnects() const { return session_.Upload.Reconnects(); }
    // The reconnect attempt now running or waiting for its turn; 0 while the link is up.
    int ReconnectAttempt() const { return reconnecting_ ? std::max(attempts_, 1) : 0; }
    bool StartedOver() const { return session_.Upload.StartedOver(); }
    // Where the exchange stands: 0 the start command, a record, TUpload::EndCommandSent.
    std::int32_t UploadIndex() const { return session_.Upload.UploadIndex; }
    std::function<void(TScaleJob& job, TEvent event)> OnEvent = [](TScaleJob&, TEvent) {};

protected:
    // The link's WM_LINKSTATE, posted to this job alone.
    bool event(QEvent* e) override;

private:
    void Received(const QByteArray& text);
    void OpenSerial();
    void LookUp();
    void LookedUp(const TLookupResult& result);
    void Connect();
    void LinkChanged(std::uint8_t state);
    // The outcome of a link that went down, with its cause.
    QString LinkFailure() const;
    QString LostAt() const;
    void LinkLost();
    void Attempt();
    void AttemptFailed(const QString& cause);
    void Reconnected();
    void Note(const QString& text);
    void Start();
    void Send(const QByteArray& command);
    // The scale's wrong answer to the start or end command, as the outcome says it.
    QString Refused() const;
    // The start or end command awaits its reply after `times` wrong ones in a row.
    bool StartOrEndRefused(int times) const;
    // The gap after a reply is over.
    void GapOver();
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
    std::uint64_t lookup_ = 0;     // the lookup of the host under way
    int retries_;
    bool reconnecting_ = false;
    int attempts_ = 0;
    QString lostAt_;               // where the upload stood when the link went down
    QString lastCause_;            // of the link's loss or the last attempt
    std::int32_t lostIndex_ = -3;  // UploadIndex at the last loss
    int lostInARow_ = 0;           // losses at that UploadIndex
    QTimer retry_;                 // the next attempt
    QTimer giveUp_;                // ReconnectSeconds after the loss
};
