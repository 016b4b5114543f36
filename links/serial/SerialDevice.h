#pragma once
// The component's view of an OS serial device. Every call returns 0 or the
// errno of the failed OS call, so the component decides which EComPort it is.
// SerialDevice.cpp is the only file that touches termios and ioctl.
#include "ComDCB.h"

#include <QString>
#include <QStringList>

#include <cstdint>

struct TDeviceTimeouts {
    std::uint32_t ReadInterval = 0xFFFFFFFF;
    std::uint32_t ReadTotalMultiplier = 0;
    std::uint32_t ReadTotalConstant = 0;
    std::uint32_t WriteTotalMultiplier = 100;
    std::uint32_t WriteTotalConstant = 1000;
};

// "/dev/x" stays; "COMn" (n from 1, any case) is /dev/ttyS(n-1); other names live in /dev.
QString DevicePath(const QString& port);

class TSerialDevice {
public:
    TSerialDevice() = default;
    TSerialDevice(const TSerialDevice&) = delete;
    TSerialDevice& operator=(const TSerialDevice&) = delete;
    ~TSerialDevice() { Close(); }

    // Opens for exclusive use, in low-latency mode where the driver has it;
    // a device someone else holds gives EBUSY.
    int Open(const QString& path);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    int Handle() const { return fd_; }

    int SetLine(const TDCB& dcb);
    int SetQueueSizes(std::int32_t inputSize, std::int32_t outputSize);
    int SetTimeouts(const TDeviceTimeouts& timeouts);

    // The total write timeout for size bytes in milliseconds; -1: none.
    std::int64_t WriteLimitMs(std::int64_t size) const;
    // Waits until the device took all bytes or the total write timeout passed.
    int Write(const char* data, std::int32_t size, std::int32_t& written);
    // Writes what the device takes now; never waits.
    int WriteSome(const char* data, std::int32_t size, std::int32_t& written) const;
    // Drops what was written and not yet sent.
    int FlushOutput() const;
    // Takes what is waiting, up to size bytes; never waits.
    int Read(char* data, std::int32_t size, std::int32_t& got);
    int InputCount(std::int32_t& count) const;
    int OutputCount(std::int32_t& count) const;
    // Modem input lines as MS_*_ON bits; a device without them reads all off.
    int ModemStatus(std::uint32_t& status) const;
    // CE_* flags of the line errors since the last call; a device without
    // error counters reports none.
    int TakeLineErrors(std::uint32_t& errors);
    // Nothing is ever left pending here: writes finish before they return.
    int AbortPending() { return 0; }
    int ClearQueues() const;

private:
    struct TCounters {
        std::uint32_t frame = 0, overrun = 0, parity = 0, brk = 0, bufOverrun = 0;
    };
    int ReadCounters(TCounters& counters, bool& supported) const;

    int fd_ = -1;
    TDeviceTimeouts timeouts_;
    TCounters seen_;
};

// What ended a wait of the event thread.
struct TDeviceWait {
    bool Woken = false;    // the wake-up descriptor was signalled
    bool Input = false;    // bytes are waiting
    bool Output = false;   // the device takes bytes again
    bool Gone = false;     // hang-up or error: the device will report nothing more
    int Error = 0;         // the wait itself failed
};

// An eventfd that wakes the event thread; safe to signal from any thread.
class TWakeEvent {
public:
    TWakeEvent();
    ~TWakeEvent();
    TWakeEvent(const TWakeEvent&) = delete;
    TWakeEvent& operator=(const TWakeEvent&) = delete;
    bool Valid() const { return fd_ >= 0; }
    int Error() const { return error_; }
    void Signal();
    void Drain();
    int Handle() const { return fd_; }

private:
    int fd_ = -1;
    int error_ = 0;
};

// Sleeps until the device has input (when watchInput), takes bytes (when
// watchOutput), the wake event is signalled, or timeoutMs passed (-1: no
// limit). Retries on EINTR.
TDeviceWait WaitForDevice(int deviceFd, bool watchInput, bool watchOutput, const TWakeEvent& wake, int timeoutMs);

// Kernel names (ttyS0, ttyUSB0) of the entries of a /sys/class/tty folder
// that have hardware behind them, in folder order.
int ListTtyDevices(const QString& ttyClassFolder, QStringList& names);
