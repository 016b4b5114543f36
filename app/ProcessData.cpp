#include "ProcessData.h"

QByteArray TrimReply(const QByteArray& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 32)
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32)
        --end;
    return text.mid(begin, end - begin);
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
    connect(&TimerBaza, &QTimer::timeout, this, &TUpload::TimerBazaTimer);
}

void TUpload::Send(const QByteArray& command)
{
    awaiting_ = true;
    const bool again = command == lastCommand_ && UploadIndex == lastIndex_;
    sendsInARow_ = again ? sendsInARow_ + 1 : 1;
    lastCommand_ = command;
    lastIndex_ = UploadIndex;
    sentAt_.start();
    hooks_.SendOrder(command);
}

void TUpload::StartGap()
{
    if (!hooks_.RunGap) {
        if (!TimerBaza.isActive())
            TimerBaza.start();
    } else if (!gapRunning_) {
        gapRunning_ = true;
        hooks_.RunGap(true);
    }
}

void TUpload::StopGap()
{
    TimerBaza.stop();
    if (gapRunning_) {
        gapRunning_ = false;
        hooks_.RunGap(false);
    }
}

void TUpload::Start(int bazaPosition)
{
    StopGap();
    ReplyBuffer.clear();
    UploadIndex = 0;
    UploadFailed = false;
    running_ = true;
    stopped_ = false;
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
    StopGap();
}

void TUpload::ProcessReply(const QByteArray& text, std::int64_t /*length*/)
{
    ReplyBuffer.append(text);
    qsizetype lf;
    while ((lf = ReplyBuffer.indexOf('\n')) >= 0) {
        const QByteArray line = ReplyBuffer.left(lf + 1);
        ReplyBuffer.remove(0, lf + 1);
        TakeReply(TrimReply(line));
    }
}

void TUpload::TakeReply(const QByteArray& reply)
{
    // A reply counts only while the command it answers awaits it; a second
    // answer to one record must not skip the next record.
    if (!running_ || !awaiting_)
        return;
    LastReply = reply;
    bool matches;
    if (UploadIndex == EndCommandSent)
        matches = reply == "Me";
    else if (UploadIndex == 0)
        matches = reply == StartReply(hooks_.BazaPosition());
    else
        matches = reply == "Mr";
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
    if (k >= 1 && k <= rows) {
        // A resend after a wrong reply goes out here too: the command still awaits.
        const QByteArray record = hooks_.Record(k - 1);
        if (!record.isEmpty()) {
            Send("Sr" + record);
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
