#include "WriteQueue.h"

#include "SerialDevice.h"

#include <algorithm>
#include <climits>

TWriteQueue::TPut TWriteQueue::Put(const TSerialDevice& device, const QByteArray& text, std::int64_t limitMs,
                                   bool canQueue, std::int32_t& writtenNow, int& err)
{
    writtenNow = 0;
    err = 0;
    const Clock::time_point now = Clock::now();
    std::lock_guard lock(m_);
    if (stopped_)
        return wqRefused;
    if (!texts_.empty()) {
        // Behind the one going out, whole; without a thread to write it, or
        // with too many waiting, the device is not taking what it was given.
        if (!canQueue || texts_.size() > MaxWaiting) {
            StopHead(device);
            return wqStopped;
        }
        texts_.push_back({text, limitMs});
        return wqQueued;
    }
    const auto size = static_cast<std::int32_t>(text.size());
    err = device.WriteSome(text.constData(), size, writtenNow);
    if (err != 0 || writtenNow == size)
        return wqWhole;
    texts_.push_back({text, limitMs});
    StartHead(now, writtenNow);
    if (!canQueue) {
        StopHead(device);
        return wqStopped;
    }
    return wqQueued;
}

TWriteQueue::TProgress TWriteQueue::Write(const TSerialDevice& device, Clock::time_point now)
{
    TProgress p;
    std::lock_guard lock(m_);
    while (!texts_.empty()) {
        const QByteArray& bytes = texts_.front().Bytes;
        const auto left = static_cast<std::int32_t>(bytes.size() - headWritten_);
        std::int32_t n = 0;
        p.Error = device.WriteSome(bytes.constData() + headWritten_, left, n);
        if (p.Error != 0)
            return p;
        p.Wrote = p.Wrote || n > 0;
        headWritten_ += n;
        if (n < left) {
            if (headLimited_ && now >= headDeadline_) {
                StopHead(device);
                p.Stopped = true;
            }
            return p;
        }
        texts_.pop_front();
        if (texts_.empty())
            p.Emptied = true;
        else
            StartHead(now, 0);  // its time starts when it starts going out
    }
    return p;
}

int TWriteQueue::MsLeft(Clock::time_point now) const
{
    std::lock_guard lock(m_);
    if (texts_.empty() || !headLimited_)
        return -1;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(headDeadline_ - now).count();
    return static_cast<int>(std::clamp<std::int64_t>(ms, 0, INT_MAX));
}

bool TWriteQueue::Pending() const
{
    std::lock_guard lock(m_);
    return !texts_.empty();
}

bool TWriteQueue::Abandon(const TSerialDevice& device, TWriteStop& stop)
{
    std::lock_guard lock(m_);
    if (!stopped_ && !texts_.empty())
        StopHead(device);
    if (!stopped_ || reported_)
        return false;
    reported_ = true;
    stop = std::move(stop_);
    stop_ = {};
    return true;
}

void TWriteQueue::Clear()
{
    std::lock_guard lock(m_);
    texts_.clear();
    headWritten_ = 0;
    stopped_ = false;
    reported_ = false;
    stop_ = {};
}

void TWriteQueue::StartHead(Clock::time_point now, std::int64_t written)
{
    const std::int64_t limitMs = texts_.front().LimitMs;
    headWritten_ = written;
    headLimited_ = limitMs >= 0;
    headDeadline_ = now + std::chrono::milliseconds(headLimited_ ? limitMs : 0);
}

void TWriteQueue::StopHead(const TSerialDevice& device)
{
    // What the device holds of the cut text goes too; a device that is
    // gone refuses, which changes nothing.
    device.FlushOutput();
    stop_ = {texts_.front().Bytes, headWritten_};
    texts_.clear();
    headWritten_ = 0;
    stopped_ = true;
    reported_ = false;
}
