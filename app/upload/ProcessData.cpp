#include "ProcessData.h"

#include "PreciseWake.h"

#include <QByteArrayView>
#include <QPointer>

namespace {

// The first `end` bytes of text without bytes 0..32 at either end.
QByteArrayView Trimmed(const char* text, qsizetype end)
{
    qsizetype begin = 0;
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 32)
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32)
        --end;
    return QByteArrayView(text + begin, end - begin);
}

} // namespace

QByteArray TrimReply(const QByteArray& text)
{
    const QByteArrayView trimmed = Trimmed(text.constData(), text.size());
    return trimmed.size() == text.size() ? text : trimmed.toByteArray();
}

QByteArray StartCommand(int position)
{
    switch (position) {
    case 1: return QByteArrayLiteral("SbU");
    case 2: return QByteArrayLiteral("SbS");
    default: return QByteArrayLiteral("SbP");
    }
}

QByteArray StartReply(int position)
{
    switch (position) {
    case 1: return QByteArrayLiteral("MbU");
    case 2: return QByteArrayLiteral("MbS");
    default: return QByteArrayLiteral("MbP");
    }
}

int ProgressPercent(std::int32_t index, std::int32_t rows)
{
    if (index <= 0 || rows <= 0)
        return 0;
    const std::int64_t num = std::int64_t(index) * 100;
    std::int64_t q = num / rows;
    const std::int64_t twice = (num % rows) * 2;
    if (twice > rows || (twice == rows && (q & 1)))
        ++q;
    return static_cast<int>(q);
}

TUpload::TUpload(THooks hooks, QObject* parent) : QObject(parent), hooks_(std::move(hooks))
{
    TimerBaza.setSingleShot(true);
    TimerBaza.setTimerType(Qt::PreciseTimer);
    TimerBaza.setInterval(GapMs);
    connect(&TimerBaza, &QTimer::timeout, this, &TUpload::GapElapsed);
}

TUpload::~TUpload() = default;

void TUpload::GapElapsed()
{
    // The exchange's end may let the owner delete this upload.
    const QPointer<TUpload> self(this);
    TimerBazaTimer();
    if (self)
        emit GapOver();
}

void TUpload::Send(const QByteArray& command)
{
    quiet_ = resendAsSent_ = false;
    awaiting_ = true;
    matched_ = refused_ = again_ = false;
    overflowSeen_ = overflow_;
    discarded_ = 0;
    const bool again = command == lastCommand_ && UploadIndex == lastIndex_;
    sendsInARow_ = again ? sendsInARow_ + 1 : 1;
    wrongInARow_ = 0;
    lastCommand_ = command;
    lastIndex_ = UploadIndex;
    sentAt_.start();
    hooks_.SendOrder(command);
}

void TUpload::StartGap()
{
    if (held_)
        return;  // no command can go out; Resume runs the gap
    if (!hooks_.RunGap) {
        if (!TimerBaza.isActive()) {
            if (!wake_)
                wake_ = std::make_unique<TPreciseWake>([this] { GapElapsed(); });
            TimerBaza.start();
            wake_->Start(std::chrono::milliseconds(GapMs));
        }
    } else if (!gapRunning_) {
        gapRunning_ = true;
        hooks_.RunGap(true);
    }
}

void TUpload::StopGap()
{
    // With RunGap neither runs: not touched, once a command for every scale of a fleet.
    if (!hooks_.RunGap) {
        TimerBaza.stop();
        if (wake_)
            wake_->Stop();
    }
    if (gapRunning_) {
        gapRunning_ = false;
        hooks_.RunGap(false);
    }
}

void TUpload::Start(int bazaPosition)
{
    StopGap();
    ReplyBuffer.clear();
    overflow_ = false;
    UploadIndex = 0;
    UploadFailed = false;
    running_ = true;
    stopped_ = false;
    held_ = quiet_ = resendAsSent_ = resumed_ = startOver_ = startedOver_ = false;
    reconnects_ = 0;
    lastCommand_.clear();
    clock_.start();
    Send(StartCommand(bazaPosition));
}

void TUpload::Stop()
{
    if (running_) {
        stopped_ = true;
        durationMs_ = clock_.elapsed();
    }
    running_ = false;
    awaiting_ = false;
    held_ = quiet_ = false;
    StopGap();
}

void TUpload::Hold()
{
    if (!running_)
        return;
    StopGap();
    // What comes now can answer no command of the new link.
    held_ = quiet_ = true;
}

void TUpload::Resume()
{
    if (!running_ || !held_)
        return;
    held_ = false;
    ++reconnects_;
    // The new link's text starts a new line: a piece the old one left unended
    // cannot be the front of the answer to the command sent again.
    ReplyBuffer.clear();
    overflow_ = false;
    // The first command on the new link, sent again or the next, shows by
    // its answer whether the scale still holds the upload (the start
    // command's answer cannot tell).
    resumed_ = !(awaiting_ && lastIndex_ == 0);
    if (awaiting_) {
        again_ = resendAsSent_ = true;
        // The same command once more: not a refusal, so not counted as one.
        sendsInARow_ = 0;
    }
    // A cut command's front may wait in the scale's line: ended now, so the
    // resent one never follows it; what the scale says to it comes in the
    // gap, while quiet_ still drops every line.
    if (hooks_.EndLine)
        hooks_.EndLine();
    StartGap();
}

// The scale forgot the upload: from the start command again, with the same table.
void TUpload::StartOver()
{
    startOver_ = false;
    startedOver_ = true;
    UploadIndex = 0;
    UploadFailed = false;
    hooks_.SetProgress(0);
    Send(StartCommand(hooks_.BazaPosition()));
}

void TUpload::ProcessReply(const QByteArray& text, std::int64_t /*length*/)
{
    qsizetype begin = 0;
    qsizetype lf;
    while ((lf = text.indexOf('\n', begin)) >= 0) {
        TakeLine(text.constData() + begin, lf - begin);
        begin = lf + 1;
    }
    KeepTail(text.constData() + begin, text.size() - begin);
}

// A LF ends the line: ReplyBuffer, then the `length` bytes of the piece
// before the LF, which follows them at text[length].
void TUpload::TakeLine(const char* text, qsizetype length)
{
    if (Discarding(length)) {
        // Too long to be a reply: one reply that matches nothing.
        overflow_ = false;
        TakeReply(QByteArray(), true);
        return;
    }
    // A line within one piece is trimmed where it lies: one copy, of the reply.
    if (ReplyBuffer.isEmpty()) {
        TakeReply(Trimmed(text, length + 1).toByteArray(), false);
        return;
    }
    QByteArray line;
    ReplyBuffer.append(text, length + 1);
    line.swap(ReplyBuffer);
    TakeReply(TrimReply(line), false);
}

// Past ReplyBound a line can match no reply: its bytes are counted, not kept.
bool TUpload::Discarding(qsizetype length)
{
    if (!overflow_ && ReplyBuffer.size() + length > ReplyBound) {
        discarded_ += ReplyBuffer.size();
        ReplyBuffer.clear();
        overflow_ = true;
    }
    if (overflow_) {
        discarded_ += length;
        overflowSeen_ = true;
    }
    return overflow_;
}

// Text after the last LF waits for the rest of its line, up to ReplyBound.
void TUpload::KeepTail(const char* text, qsizetype length)
{
    if (length == 0 || Discarding(length))
        return;
    ReplyBuffer.append(text, length);
}

// Against the last command sent, also once its answer moved UploadIndex on.
bool TUpload::Matches(const QByteArray& reply) const
{
    if (lastIndex_ == EndCommandSent)
        return reply == "Me";
    if (lastIndex_ == 0)
        return reply == StartReply(hooks_.BazaPosition());
    return reply == "Mr";
}

void TUpload::TakeReply(const QByteArray& reply, bool overlong)
{
    if (!running_)
        return;
    if (quiet_) {
        ++ignoredLines_;
        return;
    }
    const bool matches = !overlong && Matches(reply);
    (matches ? matched_ : refused_) = true;
    wrongInARow_ = matches ? 0 : wrongInARow_ + 1;
    if (matched_ && refused_) {
        // The scale answered this command both ways: a late duplicate or a
        // stray line cannot tell which is true, so the command goes out again.
        if (!matches) {
            LastReply = reply;
            lastReplyOverlong_ = overlong;
        }
        if (!awaiting_) {
            UploadIndex = lastIndex_;
            awaiting_ = true;
        }
        again_ = true;
        StartGap();
        return;
    }
    // Once a command has had its matching reply, a second one must not skip
    // the next record.
    if (!awaiting_)
        return;
    LastReply = reply;
    lastReplyOverlong_ = overlong;
    if (resumed_ && !matches && !startedOver_)
        startOver_ = true;
    resumed_ = false;
    if (matches) {
        awaiting_ = false;
        if (UploadIndex == EndCommandSent)
            UploadIndex = EndAccepted;
        else if (UploadIndex >= 0)
            ++UploadIndex;
    }
    StartGap();
}

void TUpload::TimerBazaTimer()
{
    StopGap();
    if (!running_)
        return;
    const std::int32_t k = UploadIndex;
    const std::int32_t rows = hooks_.RowCount();
    if (startOver_ && awaiting_) {
        StartOver();
    } else if (again_ && (resendAsSent_ || k == 0 || k == EndCommandSent)) {
        // As it first went out: the kind chosen since or the table loaded
        // since must not change a command the scale may half hold.
        Send(QByteArray(lastCommand_));
    } else if (k >= 1 && k <= rows) {
        // A resend after a wrong reply goes out here too: the command still awaits.
        const QByteArray record = hooks_.Record(k - 1);
        if (!record.isEmpty()) {
            QByteArray command;
            command.reserve(2 + record.size());
            Send(command.append("Sr", 2).append(record));
        } else {
            UploadIndex = EndCommandSent;
            UploadFailed = true;
            Send(QByteArrayLiteral("Se"));
        }
        hooks_.SetProgress(ProgressPercent(UploadIndex, rows));
    } else if (k == rows + 1) {
        UploadIndex = EndCommandSent;
        Send(QByteArrayLiteral("Se"));
    } else if (k == EndAccepted) {
        running_ = false;
        durationMs_ = clock_.elapsed();
        hooks_.Finished(UploadFailed);
    }
}
