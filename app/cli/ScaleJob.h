#pragma once
// One scale's upload for `scaledb send`: its own link, exchange and deadline,
// reporting each step to the run that started it. Once it finished it takes
// nothing more from its link; its owner deletes it (and so closes the link)
// on the next turn of the event loop, never inside its own callbacks.
#include "Deadlines.h"
#include "GridTable.h"
#include "LinkSender.h"
#include "ProcessData.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class CEthConnection;
class TCommLog;
class TComPort;
class TUdpPort;

// A scale named by --to, in the window's own encoding of the link.
struct TTarget {
    QString Name;                    // as given
    std::int8_t Kind = 0;            // a TConnectionKind
    std::int8_t Protocol = 0;        // a TEthProtocol, for ckEthernet
    QString Host;                    // or the device
    int Port = 0;                    // or the baud rate (0: keep 9600)
};

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
    QString Outcome;              // null while running; empty when accepted
    bool Interrupted = false;     // Outcome is InterruptedAt()
    double Seconds = 0;
    std::function<void(TScaleJob& job, TEvent event)> OnEvent = [](TScaleJob&, TEvent) {};

protected:
    // The link's WM_LINKSTATE, posted to this job alone.
    bool event(QEvent* e) override;

private:
    void Received(const QByteArray& text);
    void LinkChanged();
    void SerialLost();
    // The outcome of a link that went down, with its cause.
    QString LinkFailure(const QString& cause) const;
    void Start();
    void Send(const QByteArray& command);
    // The exchange reached its end.
    void Ended(bool failed);
    void Finish(const QString& outcome);

    std::shared_ptr<TUdpPort> udp_;  // every UDP scale's one endpoint
    const TGridTable& table_;
    int position_;
    TUpload upload_;
    TDeadlines& deadlines_;
    TDeadlines::TId deadline_;
    TDeadlines& gaps_;
    TDeadlines::TId gap_;
    QElapsedTimer clock_;
    bool started_ = false;
    std::unique_ptr<TComPort> port_;
    std::unique_ptr<CEthConnection> eth_;
    TLinkSender sender_;
    TCommLog* log_;  // null: nothing is logged
    int logLink_ = 0;
    int retries_;
    int repeats_ = 0;          // times lastCommand_ went out again in a row
    QByteArray lastCommand_;
    std::int32_t lastIndex_ = 0;
};
