#include "CPort.h"

#include "ComThread.h"
#include "SerialDevice.h"
#include "WriteQueue.h"

#include <QMetaObject>

#include <algorithm>
#include <cerrno>
#include <cstring>

std::function<void(TCustomComPort&)> TCustomComPort::SettingsDialogHook;

namespace {

// The one place where an OS error becomes the component's exception.
[[noreturn]] void RaiseOsError(std::int32_t portErrorCode, int err)
{
    throw EComPort(portErrorCode, err);
}

void Check(int err, std::int32_t portErrorCode)
{
    if (err != 0)
        RaiseOsError(portErrorCode, err);
}

}

TCustomComPort::TCustomComPort(QObject* owner)
    : QObject(owner), device_(std::make_unique<TSerialDevice>()), writes_(std::make_unique<TWriteQueue>())
{
}

TCustomComPort::~TCustomComPort()
{
    try {
        ClosePort();
    } catch (...) {
        // Destruction cannot fail; make sure the thread and device are gone anyway.
    }
    thread_.reset();
    device_->Close();
}

QString SerialFailureCause(int err)
{
    switch (err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return QStringLiteral("serial device not found");
    case EBUSY:
        return QStringLiteral("serial device in use by another program");
    case EACCES:
    case EPERM:
        return QStringLiteral("no permission for the serial device: add yourself to the dialout group "
                              "(sudo usermod -aG dialout $USER), then log in again");
    case EIO:
    case EPIPE:
        return QStringLiteral("serial device disappeared");
    case ENOTTY:
        return QStringLiteral("not a serial device");
    default:
        return QStringLiteral("cannot open the serial device: %1").arg(QString::fromLocal8Bit(std::strerror(err)));
    }
}

QString WriteStallCause()
{
    return QStringLiteral("the device stopped taking data (flow control?)");
}

void TCustomComPort::OpenPort()
{
    if (connected_)
        return;
    DoBeforeOpen();
    LastCause.clear();
    CreateDeviceHandle();
    writes_->Clear();
    connected_ = true;
    try {
        ApplyAllSettings();
    } catch (...) {
        CloseDeviceHandle();
        connected_ = false;
        LastCause = QStringLiteral("the serial device refused its settings");
        throw;
    }
    if (events_ != 0) {
        auto thread = std::make_unique<TComThread>(*this, *device_, *writes_, events_, syncMethod_);
        if (const int err = thread->Start()) {
            CloseDeviceHandle();
            connected_ = false;
            LastCause = SerialFailureCause(err);
            RaiseOsError(peOpenFailed, err);
        }
        thread_ = std::move(thread);
    }
    DoAfterOpen();
    DoCTSChange(InSet(ReadModemSignals(), msCTS));
    DoDSRChange(InSet(ReadModemSignals(), msDSR));
    DoRLSDChange(InSet(ReadModemSignals(), msRLSD));
}

void TCustomComPort::ClosePort()
{
    if (!connected_)
        return;
    DoCTSChange(false);
    DoDSRChange(false);
    DoRLSDChange(false);
    DoBeforeClose();
    Check(device_->AbortPending(), pePurgeFailed);
    if (thread_) {
        thread_->Stop();
        thread_.reset();
    }
    writes_->Clear();  // what was still going out goes no more
    CloseDeviceHandle();
    connected_ = false;
    DoAfterClose();
}

void TCustomComPort::SetConnected(bool value)
{
    if (value)
        OpenPort();
    else
        ClosePort();
}

void TCustomComPort::CreateDeviceHandle()
{
    if (const int err = device_->Open(DevicePath(port_))) {
        LastCause = SerialFailureCause(err);
        RaiseOsError(peOpenFailed, err);
    }
}

void TCustomComPort::DeviceLost()
{
    if (!connected_)
        return;
    LastCause = SerialFailureCause(EIO);
    DoDeviceLost();
}

void TCustomComPort::CloseDeviceHandle()
{
    device_->Close();
}

void TCustomComPort::ApplyAllSettings()
{
    ApplyBufferSizes();
    ApplyLineSettings();
    ApplyTimeoutSettings();
}

TDCB TCustomComPort::DeviceControlBlock() const
{
    TDCB d;
    d.DCBlength = 28;
    d.BaudRate = static_cast<std::uint32_t>(baudRate_ == brCustom ? customBaudRate_ : BaudRateToInt(baudRate_));
    d.Flags = dcb::fBinary;
    const bool replace = parity_.Check() && parity_.Replace();
    if (parity_.Check())
        d.Flags |= dcb::fParity;
    if (flowControl_.OutCTSFlow())
        d.Flags |= dcb::fOutxCtsFlow;
    if (flowControl_.OutDSRFlow())
        d.Flags |= dcb::fOutxDsrFlow;
    d.Flags |= std::uint32_t(flowControl_.ControlDTR()) << dcb::fDtrControlShift;
    if (flowControl_.DSRSensitivity())
        d.Flags |= dcb::fDsrSensitivity;
    if (flowControl_.TxContinueOnXoff())
        d.Flags |= dcb::fTXContinueOnXoff;
    if (flowControl_.XonXoffOut())
        d.Flags |= dcb::fOutX;
    if (flowControl_.XonXoffIn())
        d.Flags |= dcb::fInX;
    if (replace)
        d.Flags |= dcb::fErrorChar;
    if (discardNull_)
        d.Flags |= dcb::fNull;
    d.Flags |= std::uint32_t(flowControl_.ControlRTS()) << dcb::fRtsControlShift;
    d.XonLim = static_cast<std::uint16_t>(buffer_.InputSize() / 4);
    d.XoffLim = d.XonLim;
    d.ByteSize = static_cast<std::uint8_t>(5 + dataBits_);
    d.Parity = parity_.Bits();
    d.StopBits = stopBits_;
    d.XonChar = flowControl_.XonChar();
    d.XoffChar = flowControl_.XoffChar();
    d.ErrorChar = replace ? parity_.ReplaceChar() : char(0);
    d.EvtChar = eventChar_;
    return d;
}

void TCustomComPort::ApplyLineSettings()
{
    if (!CanApply())
        return;
    Check(device_->SetLine(DeviceControlBlock()), peSetStateFailed);
}

void TCustomComPort::ApplyTimeoutSettings()
{
    if (!CanApply())
        return;
    TDeviceTimeouts t;
    t.ReadInterval = static_cast<std::uint32_t>(timeouts_.ReadInterval());
    t.ReadTotalMultiplier = static_cast<std::uint32_t>(timeouts_.ReadTotalMultiplier());
    t.ReadTotalConstant = static_cast<std::uint32_t>(timeouts_.ReadTotalConstant());
    t.WriteTotalMultiplier = static_cast<std::uint32_t>(timeouts_.WriteTotalMultiplier());
    t.WriteTotalConstant = static_cast<std::uint32_t>(timeouts_.WriteTotalConstant());
    Check(device_->SetTimeouts(t), peTimeoutsFailed);
}

void TCustomComPort::ApplyBufferSizes()
{
    if (!CanApply())
        return;
    Check(device_->SetQueueSizes(buffer_.InputSize(), buffer_.OutputSize()), peSetupComFailed);
}

void TCustomComPort::SetPort(const QString& value)
{
    if (value == port_)
        return;
    port_ = value;
    if (connected_) {
        ClosePort();
        OpenPort();
    }
}

void TCustomComPort::SetBaudRate(TBaudRate value)
{
    if (value == baudRate_)
        return;
    baudRate_ = value;
    ApplyLineSettings();
}

void TCustomComPort::SetCustomBaudRate(std::int32_t value)
{
    if (value == customBaudRate_)
        return;
    customBaudRate_ = value;
    ApplyLineSettings();
}

void TCustomComPort::SetStopBits(TStopBits value)
{
    if (value == stopBits_)
        return;
    stopBits_ = value;
    ApplyLineSettings();
}

void TCustomComPort::SetDataBits(TDataBits value)
{
    if (value == dataBits_)
        return;
    dataBits_ = value;
    ApplyLineSettings();
}

void TCustomComPort::SetDiscardNull(bool value)
{
    if (value == discardNull_)
        return;
    discardNull_ = value;
    ApplyLineSettings();
}

void TCustomComPort::SetEventChar(char value)
{
    if (value == eventChar_)
        return;
    eventChar_ = value;
    ApplyLineSettings();
}

void TCustomComPort::SetEvents(TComEvents value)
{
    events_ = value; // the next open uses it
}

void TCustomComPort::SetSyncMethod(TSyncMethod value)
{
    if (value == syncMethod_)
        return;
    if (connected_)
        throw EComPort(peConnChangeProp);
    syncMethod_ = value;
}

std::int32_t TCustomComPort::WriteText(const QByteArray& text)
{
    if (text.isEmpty())
        return 0;
    std::int32_t written = 0;
    Check(device_->Write(text.constData(), static_cast<std::int32_t>(text.size()), written), peWriteFailed);
    if (written > 0 && thread_)
        thread_->Written();
    return written;
}

std::int32_t TCustomComPort::QueueText(const QByteArray& text)
{
    if (text.isEmpty())
        return 0;
    const bool threadRuns = thread_ && thread_->Running();
    std::int32_t written = 0;
    int err = 0;
    const TWriteQueue::TPut put = writes_->Put(*device_, text, device_->WriteLimitMs(text.size()), threadRuns, written, err);
    Check(err, peWriteFailed);
    switch (put) {
    case TWriteQueue::wqWhole:
        if (written > 0 && thread_)
            thread_->Written();
        break;
    case TWriteQueue::wqQueued:
        thread_->WriteQueued();
        break;
    case TWriteQueue::wqStopped:
        // Told from the event loop, not from inside the caller's send.
        QMetaObject::invokeMethod(this, [this] { AbandonWrite(); }, Qt::QueuedConnection);
        break;
    case TWriteQueue::wqRefused:
        break;
    }
    return written;
}

bool TCustomComPort::WritePending() const
{
    return writes_->Pending();
}

bool TCustomComPort::AbandonWrite()
{
    if (!connected_)
        return false;
    TWriteStop stop;
    if (!writes_->Abandon(*device_, stop))
        return false;
    LastCause = WriteStallCause();
    DoWriteStopped(stop);
    DoDeviceLost();
    return true;
}

std::int32_t TCustomComPort::ReadText(QByteArray& text, std::int32_t count)
{
    if (count <= 0) {
        text.clear();
        return 0;
    }
    text.resize(count);
    std::int32_t got = 0;
    const int err = device_->Read(text.data(), count, got);
    if (err != 0) {
        text.clear();
        RaiseOsError(peReadFailed, err);
    }
    text.resize(got);
    bytesReadTotal_.fetch_add(static_cast<std::uint64_t>(got), std::memory_order_release);
    return got;
}

std::int32_t TCustomComPort::InputQueueCount()
{
    std::int32_t count = 0;
    Check(device_->InputCount(count), peClearComFailed);
    return count;
}

TModemSignals TCustomComPort::ReadModemSignals()
{
    std::uint32_t status = 0;
    Check(device_->ModemStatus(status), peModemStatFailed);
    TModemSignals lines = 0;
    if (status & devflags::MS_CTS_ON)
        lines |= SetOf(msCTS);
    if (status & devflags::MS_DSR_ON)
        lines |= SetOf(msDSR);
    if (status & devflags::MS_RING_ON)
        lines |= SetOf(msRing);
    if (status & devflags::MS_RLSD_ON)
        lines |= SetOf(msRLSD);
    return lines;
}

TComErrors TCustomComPort::ReadLineErrors()
{
    std::uint32_t flags = 0;
    Check(device_->TakeLineErrors(flags), peClearComFailed);
    TComErrors errors = 0;
    if (flags & devflags::CE_FRAME)
        errors |= SetOf(ceFrame);
    if ((flags & devflags::CE_RXPARITY) && parity_.Check())
        errors |= SetOf(ceRxParity);
    if (flags & devflags::CE_OVERRUN)
        errors |= SetOf(ceOverrun);
    if (flags & devflags::CE_BREAK)
        errors |= SetOf(ceBreak);
    if (flags & devflags::CE_IOE)
        errors |= SetOf(ceIO);
    if (flags & devflags::CE_MODE)
        errors |= SetOf(ceMode);
    if (flags & devflags::CE_RXOVER)
        errors |= SetOf(ceRxOver);
    if (flags & devflags::CE_TXFULL)
        errors |= SetOf(ceTxFull);
    return errors;
}

void TCustomComPort::BeginSettingsUpdate()
{
    ++updateCount_;
}

void TCustomComPort::EndSettingsUpdate()
{
    if (updateCount_ <= 0)
        return;
    if (--updateCount_ == 0)
        ApplyAllSettings();
}

bool TCustomComPort::EventThreadRunning() const
{
    return thread_ && thread_->Running();
}

void TCustomComPort::ShowSettingsDialog()
{
    if (SettingsDialogHook)
        SettingsDialogHook(*this);
}

void TCustomComPort::RunEventHandOver()
{
    if (thread_)
        thread_->RunQueued();
}

void TCustomComPort::CallEvents(TComEvents events)
{
    for (TComEvent e : DispatchOrder) {
        if (!InSet(events, e) || !connected_)
            continue;
        switch (e) {
        case evError:
            if (const TComErrors errors = ReadLineErrors())
                DoError(errors);
            break;
        case evRxChar:
            if (const std::int32_t count = InputQueueCount(); count > 0)
                DoRxChar(count);
            break;
        case evTxEmpty: DoTxEmpty(); break;
        case evBreak: DoBreak(); break;
        case evRing: DoRing(); break;
        case evCTS: DoCTSChange(InSet(ReadModemSignals(), msCTS)); break;
        case evDSR: DoDSRChange(InSet(ReadModemSignals(), msDSR)); break;
        case evRxFlag: DoRxFlag(); break;
        case evRLSD: DoRLSDChange(InSet(ReadModemSignals(), msRLSD)); break;
        case evRx80Full: DoRx80Full(); break;
        }
    }
}

void TCustomComPort::DoAfterClose() { if (OnAfterClose) OnAfterClose(this); }
void TCustomComPort::DoAfterOpen() { if (OnAfterOpen) OnAfterOpen(this); }
void TCustomComPort::DoBeforeClose() { if (OnBeforeClose) OnBeforeClose(this); }
void TCustomComPort::DoBeforeOpen() { if (OnBeforeOpen) OnBeforeOpen(this); }
void TCustomComPort::DoRxChar(std::int32_t count) { if (OnRxChar) OnRxChar(this, count); }
void TCustomComPort::DoRxBuf(const QByteArray& buffer, std::int32_t count) { if (OnRxBuf) OnRxBuf(this, buffer, count); }
void TCustomComPort::DoTxEmpty() { if (OnTxEmpty) OnTxEmpty(this); }
void TCustomComPort::DoBreak() { if (OnBreak) OnBreak(this); }
void TCustomComPort::DoRing() { if (OnRing) OnRing(this); }
void TCustomComPort::DoRxFlag() { if (OnRxFlag) OnRxFlag(this); }
void TCustomComPort::DoCTSChange(bool onOff) { if (OnCTSChange) OnCTSChange(this, onOff); }
void TCustomComPort::DoDSRChange(bool onOff) { if (OnDSRChange) OnDSRChange(this, onOff); }
void TCustomComPort::DoError(TComErrors errors) { if (OnError) OnError(this, errors); }
void TCustomComPort::DoRLSDChange(bool onOff) { if (OnRLSDChange) OnRLSDChange(this, onOff); }
void TCustomComPort::DoRx80Full() { if (OnRx80Full) OnRx80Full(this); }
void TCustomComPort::DoDeviceLost() { if (OnDeviceLost) OnDeviceLost(this); }
void TCustomComPort::DoWriteStopped(const TWriteStop& stop) { if (OnWriteStopped) OnWriteStopped(this, stop); }

void ListSerialDevices(QList<TSerialDeviceInfo>& list, const QString& ttyClassFolder, const QString& byIdFolder)
{
    QList<TSerialDeviceInfo> devices;
    if (const int err = ReadSerialDevices(ttyClassFolder, byIdFolder, devices))
        RaiseOsError(peRegError, err);
    list = devices;
}

void ListSerialPorts(QStringList& list, const QString& ttyClassFolder)
{
    QList<TSerialDeviceInfo> devices;
    ListSerialDevices(devices, ttyClassFolder, QString());
    QStringList names;
    for (const TSerialDeviceInfo& d : devices)
        names.append(d.Name);
    list = names;
}
