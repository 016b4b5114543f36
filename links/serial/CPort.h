#pragma once
#include <atomic>
// The serial port component: one serial device, its line settings, reading and
// writing, and an event thread whose device events become the notifications
// below. Every failure is raised as EComPort with a numbered message.
#include "ComDCB.h"
#include "SerialDeviceList.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

enum TBaudRate : std::uint8_t { brCustom, br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200,
                                br38400, br56000, br57600, br115200, br128000, br256000 };
enum TStopBits : std::uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
enum TDataBits : std::uint8_t { dbFive, dbSix, dbSeven, dbEight };
enum TParityBits : std::uint8_t { prNone, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl : std::uint8_t { dtrDisable, dtrEnable, dtrHandshake };
enum TRTSFlowControl : std::uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl : std::uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };
enum TSyncMethod : std::uint8_t { smThreadSync, smWindowSync, smNone };

enum TComEvent : std::uint8_t { evRxChar, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD,
                                evRx80Full };
using TComEvents = std::uint16_t; // bit n for ordinal n
constexpr TComEvents AllComEvents = 0x03FF;
// The order in which the events of one batch reach their notifications, also
// when each is handed over on its own (smWindowSync).
inline constexpr TComEvent DispatchOrder[] = {evError, evRxChar, evTxEmpty, evBreak, evRing,
                                              evCTS,   evDSR,    evRxFlag,  evRLSD,  evRx80Full};

enum TComError : std::uint8_t { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };
using TComErrors = std::uint8_t; // bit n for ordinal n

enum TModemSignal : std::uint8_t { msCTS, msDSR, msRing, msRLSD };
using TModemSignals = std::uint8_t; // bit n for ordinal n

enum TSettingsGroup : std::uint8_t { sgBasic, sgFlowControl, sgBuffer, sgTimeouts, sgParity, sgOthers };
using TSettingsGroups = std::uint8_t; // bit n for ordinal n
enum TSettingsStore : std::uint8_t { ssRegistry, ssIniFile };

// The bit of one member in its set type.
template <typename E>
constexpr unsigned SetOf(E member) { return 1u << static_cast<unsigned>(member); }
template <typename S, typename E>
constexpr bool InSet(S set, E member) { return (static_cast<unsigned>(set) & SetOf(member)) != 0; }

// Numbers of EComPort::PortErrorCode; each has its message.
enum TComPortError : std::int32_t {
    peOpenFailed = 1, peWriteFailed, peReadFailed, peInvalidAsync, pePurgeFailed, peAsyncCheck, peSetStateFailed,
    peTimeoutsFailed, peSetupComFailed, peClearComFailed, peModemStatFailed, peEscapeComFailed, peTransmitFailed,
    peConnChangeProp, peEnumPortsFailed, peStoreFailed, peLoadFailed, peRegFailed, peLedStateFailed,
    peThreadCreated, peWaitFailed, peHasLink, peRegError
};

// The failure of every serial operation. SystemErrorCode is the OS error
// (errno) of the failed call, or -1 when there is none.
class EComPort : public std::exception {
public:
    explicit EComPort(std::int32_t portErrorCode, std::int32_t systemErrorCode = -1);
    const char* what() const noexcept override { return utf8_.c_str(); }
    QString Message() const { return message_; }

    std::int32_t PortErrorCode;
    std::int32_t SystemErrorCode;

private:
    QString message_;
    std::string utf8_;
};

QString BaudRateToText(TBaudRate value);
QString StopBitsToText(TStopBits value);
QString DataBitsToText(TDataBits value);
QString ParityToText(TParityBits value);
QString FlowControlToText(TFlowControl value);
QString DTRToText(TDTRFlowControl value);
QString RTSToText(TRTSFlowControl value);
TBaudRate TextToBaudRate(const QString& text);
TStopBits TextToStopBits(const QString& text);
TDataBits TextToDataBits(const QString& text);
TParityBits TextToParity(const QString& text);
TFlowControl TextToFlowControl(const QString& text);
TDTRFlowControl TextToDTR(const QString& text);
TRTSFlowControl TextToRTS(const QString& text);

QString BoolToText(bool value);
bool TextToBool(const QString& text);
QString CharToText(char value);
char TextToChar(const QString& text);

// Between the event set and the Windows-style event mask bits.
std::uint32_t EventsToMask(TComEvents events);
TComEvents MaskToEvents(std::uint32_t mask);

// Bits per second of a rate; 0 for brCustom, whose rate is a setting.
std::int32_t BaudRateToInt(TBaudRate value);

class TCustomComPort;
class TComThread;
class TSerialDevice;
class TWriteQueue;
class TIniFile;
class TRegistryKey;

// Parity settings of a port. Changing a field re-applies the owner's line
// settings; a copy made with the copy constructor has no owner.
class TComParity {
public:
    explicit TComParity(TCustomComPort* owner = nullptr) : owner_(owner) {}
    TComParity(const TComParity& other);
    TComParity& operator=(const TComParity& other) { Assign(other); return *this; }
    void Assign(const TComParity& source);

    TParityBits Bits() const { return bits_; }
    void SetBits(TParityBits value);
    bool Check() const { return check_; }
    void SetCheck(bool value);
    bool Replace() const { return replace_; }
    void SetReplace(bool value);
    char ReplaceChar() const { return replaceChar_; }
    void SetReplaceChar(char value);

private:
    void Changed();
    TCustomComPort* const owner_;
    TParityBits bits_ = prNone;
    bool check_ = false;
    bool replace_ = false;
    char replaceChar_ = 0;
};

// Flow-control settings; FlowControl() is a preset derived from four fields.
class TComFlowControl {
public:
    explicit TComFlowControl(TCustomComPort* owner = nullptr) : owner_(owner) {}
    TComFlowControl(const TComFlowControl& other);
    TComFlowControl& operator=(const TComFlowControl& other) { Assign(other); return *this; }
    void Assign(const TComFlowControl& source);

    TFlowControl FlowControl() const;
    void SetFlowControl(TFlowControl value);
    bool OutCTSFlow() const { return outCTSFlow_; }
    void SetOutCTSFlow(bool value);
    bool OutDSRFlow() const { return outDSRFlow_; }
    void SetOutDSRFlow(bool value);
    TDTRFlowControl ControlDTR() const { return controlDTR_; }
    void SetControlDTR(TDTRFlowControl value);
    TRTSFlowControl ControlRTS() const { return controlRTS_; }
    void SetControlRTS(TRTSFlowControl value);
    bool XonXoffOut() const { return xonXoffOut_; }
    void SetXonXoffOut(bool value);
    bool XonXoffIn() const { return xonXoffIn_; }
    void SetXonXoffIn(bool value);
    bool DSRSensitivity() const { return dsrSensitivity_; }
    void SetDSRSensitivity(bool value);
    bool TxContinueOnXoff() const { return txContinueOnXoff_; }
    void SetTxContinueOnXoff(bool value);
    char XonChar() const { return xonChar_; }
    void SetXonChar(char value);
    char XoffChar() const { return xoffChar_; }
    void SetXoffChar(char value);

private:
    void Changed();
    TCustomComPort* const owner_;
    bool outCTSFlow_ = false;
    bool outDSRFlow_ = false;
    TDTRFlowControl controlDTR_ = dtrDisable;
    TRTSFlowControl controlRTS_ = rtsDisable;
    bool xonXoffOut_ = false;
    bool xonXoffIn_ = false;
    bool dsrSensitivity_ = false;
    bool txContinueOnXoff_ = false;
    char xonChar_ = 17;
    char xoffChar_ = 19;
};

// Timeouts in milliseconds. Reads return what is waiting; a write of n bytes
// may take WriteTotalMultiplier * n + WriteTotalConstant ms (both 0: no limit).
class TComTimeouts {
public:
    explicit TComTimeouts(TCustomComPort* owner = nullptr) : owner_(owner) {}
    TComTimeouts(const TComTimeouts& other);
    TComTimeouts& operator=(const TComTimeouts& other) { Assign(other); return *this; }
    void Assign(const TComTimeouts& source);

    std::int32_t ReadInterval() const { return readInterval_; }
    void SetReadInterval(std::int32_t value);
    std::int32_t ReadTotalMultiplier() const { return readTotalMultiplier_; }
    void SetReadTotalMultiplier(std::int32_t value);
    std::int32_t ReadTotalConstant() const { return readTotalConstant_; }
    void SetReadTotalConstant(std::int32_t value);
    std::int32_t WriteTotalMultiplier() const { return writeTotalMultiplier_; }
    void SetWriteTotalMultiplier(std::int32_t value);
    std::int32_t WriteTotalConstant() const { return writeTotalConstant_; }
    void SetWriteTotalConstant(std::int32_t value);

private:
    void Set(std::int32_t& field, std::int32_t value);
    TCustomComPort* const owner_;
    std::int32_t readInterval_ = -1;
    std::int32_t readTotalMultiplier_ = 0;
    std::int32_t readTotalConstant_ = 0;
    std::int32_t writeTotalMultiplier_ = 100;
    std::int32_t writeTotalConstant_ = 1000;
};

// Recommended device queue sizes. A positive odd size is stored one lower.
class TComBuffer {
public:
    explicit TComBuffer(TCustomComPort* owner = nullptr) : owner_(owner) {}
    TComBuffer(const TComBuffer& other);
    TComBuffer& operator=(const TComBuffer& other) { Assign(other); return *this; }
    void Assign(const TComBuffer& source);

    std::int32_t InputSize() const { return inputSize_; }
    void SetInputSize(std::int32_t value);
    std::int32_t OutputSize() const { return outputSize_; }
    void SetOutputSize(std::int32_t value);

private:
    void Set(std::int32_t& field, std::int32_t value);
    TCustomComPort* const owner_;
    std::int32_t inputSize_ = 1024;
    std::int32_t outputSize_ = 1024;
};

using TNotifyEvent = std::function<void(TCustomComPort* sender)>;
using TRxCharEvent = std::function<void(TCustomComPort* sender, std::int32_t count)>;
using TRxBufEvent = std::function<void(TCustomComPort* sender, const QByteArray& buffer, std::int32_t count)>;
using TComSignalEvent = std::function<void(TCustomComPort* sender, bool onOff)>;
using TComErrorEvent = std::function<void(TCustomComPort* sender, TComErrors errors)>;

// A text that did not go out whole: its bytes and how many of them the device took.
struct TWriteStop {
    QByteArray Text;
    std::int64_t Written = 0;
};
using TWriteStopEvent = std::function<void(TCustomComPort* sender, const TWriteStop& stop)>;

// One serial device. All calls belong to the main thread; notifications run
// there too unless SyncMethod is smNone. Its objectName names the settings
// section ("ComPort1").
class TCustomComPort : public QObject {
    Q_OBJECT
public:
    explicit TCustomComPort(QObject* owner = nullptr);
    ~TCustomComPort() override;

    void OpenPort();
    void ClosePort();
    bool Connected() const { return connected_; }
    void SetConnected(bool value);
    // Why the device last failed (it could not be opened, or it went away),
    // in the technician's words; empty after an open that succeeded.
    QString LastCause;

    QString Port() const { return port_; }
    void SetPort(const QString& value);
    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate value);
    std::int32_t CustomBaudRate() const { return customBaudRate_; }
    void SetCustomBaudRate(std::int32_t value);
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits value);
    TDataBits DataBits() const { return dataBits_; }
    void SetDataBits(TDataBits value);
    bool DiscardNull() const { return discardNull_; }
    void SetDiscardNull(bool value);
    char EventChar() const { return eventChar_; }
    void SetEventChar(char value);
    TComEvents Events() const { return events_; }
    void SetEvents(TComEvents value);
    TSyncMethod SyncMethod() const { return syncMethod_; }
    void SetSyncMethod(TSyncMethod value);

    TComParity& Parity() { return parity_; }
    const TComParity& Parity() const { return parity_; }
    void SetParity(const TComParity& value) { parity_.Assign(value); }
    TComFlowControl& FlowControl() { return flowControl_; }
    const TComFlowControl& FlowControl() const { return flowControl_; }
    void SetFlowControl(const TComFlowControl& value) { flowControl_.Assign(value); }
    TComTimeouts& Timeouts() { return timeouts_; }
    const TComTimeouts& Timeouts() const { return timeouts_; }
    void SetTimeouts(const TComTimeouts& value) { timeouts_.Assign(value); }
    TComBuffer& Buffer() { return buffer_; }
    const TComBuffer& Buffer() const { return buffer_; }
    void SetBuffer(const TComBuffer& value) { buffer_.Assign(value); }

    TSettingsGroups SettingsGroups() const { return settingsGroups_; }
    void SetSettingsGroups(TSettingsGroups value) { settingsGroups_ = value; }

    std::int32_t WriteText(const QByteArray& text);
    // Writes what the device takes now and leaves the rest to the event
    // thread, which writes it as the device takes it; returns the bytes
    // written now. A text goes out whole or the link fails: one that is not
    // written within its write time (as WriteText's) stops the port's
    // writing, and the port reports it from the event loop as a lost device
    // (LastCause, OnWriteStopped, OnDeviceLost). A text queued while another
    // is going out follows it whole; nothing follows a stopped one.
    std::int32_t QueueText(const QByteArray& text);
    // A text from QueueText is still going out.
    bool WritePending() const;
    // Gives up on the text going out, or reports one that ran out of time,
    // at once: the link fails as above. False when there was none.
    bool AbandonWrite();
    std::int32_t ReadText(QByteArray& text, std::int32_t count);
    // Bytes read so far; the event thread compares it across a hand-over to
    // tell bytes a handler left waiting from bytes that came in meanwhile.
    std::uint64_t BytesReadTotal() const { return bytesReadTotal_.load(std::memory_order_acquire); }
    std::int32_t InputQueueCount();
    TModemSignals ReadModemSignals();
    TComErrors ReadLineErrors();

    void BeginSettingsUpdate();
    void EndSettingsUpdate();
    std::int32_t SettingsUpdateCount() const { return updateCount_; }

    // The line-settings record the current settings make.
    TDCB DeviceControlBlock() const;
    // False once the event thread has stopped watching the device (it went
    // away, or a handler failed) although the port is still open.
    bool EventThreadRunning() const;

    // Defined with the settings file.
    void SaveSettings(TSettingsStore store, const QString& location);
    void RestoreSettings(TSettingsStore store, const QString& location);
    virtual void WriteIniSettings(TIniFile& ini);
    virtual void ReadIniSettings(TIniFile& ini);
    virtual void WriteRegistrySettings(TRegistryKey& key);
    virtual void ReadRegistrySettings(TRegistryKey& key);

    // The setup dialog lives in a library with widgets; it installs the hook.
    void ShowSettingsDialog();
    static std::function<void(TCustomComPort&)> SettingsDialogHook;

    TNotifyEvent OnAfterOpen;
    TNotifyEvent OnAfterClose;
    TNotifyEvent OnBeforeOpen;
    TNotifyEvent OnBeforeClose;
    TRxCharEvent OnRxChar;
    TRxBufEvent OnRxBuf;
    TNotifyEvent OnTxEmpty;
    TNotifyEvent OnBreak;
    TNotifyEvent OnRing;
    TNotifyEvent OnRxFlag;
    TComSignalEvent OnCTSChange;
    TComSignalEvent OnDSRChange;
    TComSignalEvent OnRLSDChange;
    TComErrorEvent OnError;
    TNotifyEvent OnRx80Full;
    // The device hung up or was unplugged while open: its event thread has
    // ended and LastCause says so. Runs on the main thread; the port stays
    // open until its owner closes it.
    TNotifyEvent OnDeviceLost;
    // A text from QueueText did not go out whole; runs just before
    // OnDeviceLost, with LastCause set.
    TWriteStopEvent OnWriteStopped;

protected:
    virtual void CreateDeviceHandle();
    virtual void CloseDeviceHandle();
    virtual void ApplyAllSettings();
    virtual void DoAfterClose();
    virtual void DoAfterOpen();
    virtual void DoBeforeClose();
    virtual void DoBeforeOpen();
    virtual void DoRxChar(std::int32_t count);
    virtual void DoRxBuf(const QByteArray& buffer, std::int32_t count);
    virtual void DoTxEmpty();
    virtual void DoBreak();
    virtual void DoRing();
    virtual void DoRxFlag();
    virtual void DoCTSChange(bool onOff);
    virtual void DoDSRChange(bool onOff);
    virtual void DoError(TComErrors errors);
    virtual void DoRLSDChange(bool onOff);
    virtual void DoRx80Full();
    virtual void DoDeviceLost();
    virtual void DoWriteStopped(const TWriteStop& stop);
    virtual void ApplyLineSettings();
    virtual void ApplyTimeoutSettings();
    virtual void ApplyBufferSizes();

private:
    friend class TComParity;
    friend class TComFlowControl;
    friend class TComTimeouts;
    friend class TComBuffer;
    friend class TComThread;

    // The event thread's queued call to the main thread; it carries no data.
    Q_INVOKABLE void RunEventHandOver();
    bool CanApply() const { return connected_ && updateCount_ == 0; }
    // Runs the actions of the events in their fixed order.
    void CallEvents(TComEvents events);
    // The event thread saw the device go; on the main thread.
    void DeviceLost();

    std::unique_ptr<TSerialDevice> device_;
    std::unique_ptr<TWriteQueue> writes_;  // declared before the thread, which uses it
    std::unique_ptr<TComThread> thread_;
    bool connected_ = false;
    std::int32_t updateCount_ = 0;
    std::atomic<std::uint64_t> bytesReadTotal_{0};
    QString port_ = QStringLiteral("COM1");
    TBaudRate baudRate_ = br9600;
    std::int32_t customBaudRate_ = 9600;
    TStopBits stopBits_ = sbOneStopBit;
    TDataBits dataBits_ = dbEight;
    bool discardNull_ = false;
    char eventChar_ = 0;
    TComEvents events_ = AllComEvents;
    TSyncMethod syncMethod_ = smThreadSync;
    TSettingsGroups settingsGroups_ = SetOf(sgBasic);
    TComParity parity_{this};
    TComFlowControl flowControl_{this};
    TComTimeouts timeouts_{this};
    TComBuffer buffer_{this};
};

// Only makes the settings and notifications of its base available as they are.
class TComPort : public TCustomComPort {
    Q_OBJECT
public:
    using TCustomComPort::TCustomComPort;
};

// The cause of a failed open (or of a device gone, EIO) for an errno.
QString SerialFailureCause(int err);
// The cause of a link whose device stopped taking a text.
QString WriteStallCause();

// Fills the list with the system's serial devices, sorted ignoring case:
// ttySn as COM(n+1), others by name. A missing folder raises EComPort 23.
void ListSerialPorts(QStringList& list, const QString& ttyClassFolder = QStringLiteral("/sys/class/tty"));

// The same devices with their stable paths and USB product texts (see
// SerialDeviceList.h); a missing tty folder raises EComPort 23.
void ListSerialDevices(QList<TSerialDeviceInfo>& list, const QString& ttyClassFolder = QStringLiteral("/sys/class/tty"),
                       const QString& byIdFolder = QStringLiteral("/dev/serial/by-id"));
