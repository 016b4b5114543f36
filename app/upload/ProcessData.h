#pragma once
// The upload: a stop-and-wait exchange driven by complete reply lines and a
// 100 ms single-shot timer. It knows nothing of widgets or links; its owner
// gives it the table, the database kind and the way to send a command, so the
// window and the command line run the very same protocol.
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>

class TPreciseWake;

// Bytes 0..32 removed from both ends of a reply.
QByteArray TrimReply(const QByteArray& text);
// Start command and start reply for a position of the database-kind choice.
QByteArray StartCommand(int position);
QByteArray StartReply(int position);
// index * 100 / rows rounded half to even; 0 for a negative index.
int ProgressPercent(std::int32_t index, std::int32_t rows);

class TUpload : public QObject {
    Q_OBJECT
public:
    struct THooks {
        std::function<void(const QByteArray& command)> SendOrder; // bare command; the send path frames it for the link
        std::function<int()> RowCount;
        std::function<QByteArray(int row)> Record;
        std::function<int()> BazaPosition;                        // read when the start reply comes
        std::function<void(int percent)> SetProgress;
        std::function<void(bool failed)> Finished;                // the exchange reached its end
        // Optional: runs (true) or cancels (false) the 100 ms wait before the
        // next command, for an owner that keeps many uploads' waits on one
        // timer; it calls TimerBazaTimer when the wait is over. Without it,
        // TimerBaza runs the wait.
        std::function<void(bool run)> RunGap = nullptr;
        // Optional: ends, on a link brought back, whatever half line the
        // scale may still hold of a command the loss cut (CR LF; nothing over
        // UDP, whose datagrams are whole).
        std::function<void()> EndLine = nullptr;
    };

    explicit TUpload(THooks hooks, QObject* parent = nullptr);
    ~TUpload() override;

    // The wait between a reply and the next command.
    static constexpr int GapMs = 100;
    // Text after the last LF kept at most; a reply is a few bytes, so a line
    // longer than this matches nothing and is not kept.
    static constexpr qsizetype ReplyBound = 64 * 1024;

    // Starts a new exchange from any state: empties ReplyBuffer, sends the start command.
    void Start(int bazaPosition);
    // Ends the exchange: nothing more is sent, later replies are ignored.
    void Stop();
    // Takes a piece of received text; each LF-ended line in it is one reply.
    void ProcessReply(const QByteArray& text, std::int64_t length);
    void TimerBazaTimer();
    // The link went down: no command goes out until Resume.
    void Hold();
    // The link is back: the scale's half line is ended, and after the gap the
    // command that awaited its reply goes out again, byte for byte (or the
    // next one, when its reply had come). Until then no reply line counts. A
    // scale that refuses that first command lost the upload with the
    // connection: the exchange starts over from the start command, once per
    // upload.
    void Resume();

    bool Running() const { return running_; }
    bool Held() const { return held_; }
    // Reply lines dropped because they came between a loss of the link and
    // the first command sent on the new one; counted over the object's life.
    std::int64_t IgnoredLines() const { return ignoredLines_; }
    // Times Resume went on with this upload.
    int Reconnects() const { return reconnects_; }
    // The exchange started over after the link came back.
    bool StartedOver() const { return startedOver_; }

    // Read-only views for those that tell the upload's state; none of them
    // takes part in the exchange.
    bool Started() const { return clock_.isValid(); }
    bool Stopped() const { return stopped_; }
    // The last command sent still awaits its matching reply.
    bool Awaiting() const { return awaiting_; }
    const QByteArray& LastCommand() const { return lastCommand_; }
    // Times LastCommand went out in a row at this UploadIndex (1: once).
    int SendsInARow() const { return sendsInARow_; }
    // Replies in a row that did not match the awaited command (LastReply is
    // the latest); a matching reply or the next command sent starts it anew.
    int WrongRepliesInARow() const { return wrongInARow_; }
    qint64 MsSinceSent() const { return sentAt_.isValid() ? sentAt_.elapsed() : 0; }
    // Since the start; once over, the time it took.
    qint64 ElapsedMs() const { return running_ ? clock_.elapsed() : durationMs_; }
    // Text without a line end went past ReplyBound and was dropped since the
    // last command went out (or since the start, while no upload runs).
    bool LineOverflow() const { return overflowSeen_; }
    // Bytes dropped so, over the same time.
    std::int64_t DiscardedBytes() const { return discarded_; }

    // UploadIndex is 0 while the start command awaits its reply, then the
    // number of the record to send next (from 1); after the last record:
    static constexpr std::int32_t EndCommandSent = -1;  // "Se" awaits "Me"
    static constexpr std::int32_t EndAccepted = -2;     // the exchange is over
    std::int32_t UploadIndex = 0;
    bool UploadFailed = false;
    QByteArray ReplyBuffer;  // text after the last LF, waiting for the rest of its line; at most ReplyBound bytes
    QByteArray LastReply;    // the last reply line taken, trimmed
    // LastReply stands for a line past ReplyBound, whose text was dropped.
    bool LastReplyOverlong() const { return lastReplyOverlong_; }
    // Runs the 100 ms wait: its timeout, or the precise wake that stops it
    // first, goes on with the exchange and then emits GapOver.
    QTimer TimerBaza;

signals:
    // The wait ended and the next command, if any, has gone out.
    void GapOver();

private:
    void GapElapsed();
    void TakeLine(const char* text, qsizetype length);
    void KeepTail(const char* text, qsizetype length);
    bool Discarding(qsizetype length);
    void TakeReply(const QByteArray& reply, bool overlong);
    bool Matches(const QByteArray& reply) const;
    void Send(const QByteArray& command);
    void StartGap();
    void StopGap();
    void StartOver();

    THooks hooks_;
    std::unique_ptr<TPreciseWake> wake_;  // made at the first wait that TimerBaza runs
    bool running_ = false;
    bool awaiting_ = false;  // the last command sent has not had its matching reply yet
    bool stopped_ = false;
    bool gapRunning_ = false;  // RunGap's wait runs
    bool lastReplyOverlong_ = false;
    bool held_ = false;
    bool quiet_ = false;        // from a loss of the link until a command goes out on the new one
    bool resendAsSent_ = false; // the next command is LastCommand again, as it first went out
    bool resumed_ = false;      // the first command after Resume has had no reply yet
    std::int64_t ignoredLines_ = 0;
    bool startOver_ = false;    // the next tick sends the start command
    bool startedOver_ = false;
    int reconnects_ = 0;
    // Since the last command went out: a reply matched it, one did not; both
    // mean the scale's answers disagree and the command goes out again.
    bool matched_ = false;
    bool refused_ = false;
    bool again_ = false;       // the next tick sends LastCommand's command again
    bool overflow_ = false;    // the line now being received went past ReplyBound
    bool overflowSeen_ = false;
    std::int64_t discarded_ = 0;
    QByteArray lastCommand_;
    std::int32_t lastIndex_ = 0;
    int sendsInARow_ = 0;
    int wrongInARow_ = 0;
    QElapsedTimer clock_;
    QElapsedTimer sentAt_;
    qint64 durationMs_ = 0;
};
