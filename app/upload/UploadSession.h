#pragma once
// One scale's upload session: its link (a serial port or the Ethernet link),
// its upload and the log's feed, wired together once. The window, the
// command line and a panel of several scales each keep one session per
// scale and add only what is theirs: the window its controls, the command
// line its deadline and retry limit. Main thread only.
#include "Global.h"
#include "PostMessage.h"
#include "ProcessData.h"
#include "StatusText.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class CEthConnection;
class TCommLog;
class TComPort;
class TUdpPort;

// Where a session's link goes.
struct TLinkTarget {
    TConnectionKind Kind = ckSerial;
    TEthProtocol Protocol = epTCP;   // for ckEthernet
    QString Host;                    // or the device
    int Port = 0;                    // or the baud rate (0: keep 9600)
};

class TUploadSession {
public:
    // `hooks` as TUpload takes them; without SendOrder, commands go straight
    // to Send. `link` is read at each open, send and state read, so an owner
    // whose choice of link changes (the window's settings) is followed.
    TUploadSession(TUpload::THooks hooks, std::function<TLinkTarget()> link, TCommLog* log = nullptr);
    ~TUploadSession();
    TUploadSession(const TUploadSession&) = delete;
    TUploadSession& operator=(const TUploadSession&) = delete;

    // The serial port, made on first use; its received text comes here.
    TComPort& Serial();
    // The Ethernet link, made anew: a UDP endpoint of its own on
    // udpLocalPort (0: any), or one its owner shares among several scales.
    CEthConnection& MakeEthernet(quint16 udpLocalPort = EthDefaultPort);
    CEthConnection& MakeEthernet(std::shared_ptr<TUdpPort> sharedUdp);

    // The log's entries from now on go under this name.
    void LogAs(const QString& name);
    // The link as the command line names it: tcp://HOST:PORT, serial:DEVICE@BAUD...
    QString LinkName();
    // An event line under the session's link, when it has a log.
    void LogEvent(const QString& text) const;

    // False when the port cannot be opened; the cause is kept and logged.
    bool OpenSerial();
    void CloseSerial();
    // Connects or closes the Ethernet link; its state comes as WM_LINKSTATE.
    void ToggleEthernet();
    // Opens the link again after it went down: the serial port by its name
    // (false, the cause kept, while it cannot be opened), or a new Ethernet
    // connection, whose state comes as WM_LINKSTATE.
    bool Reopen();

    // Starts an upload of the database kind `kind` ("product database") at
    // the choice's `position`; the log tells it.
    void Start(int position, const QString& kind);
    // Stop pressed: the log tells where the upload stood, then it ends.
    void Stop();

    // The one send path: the command framed for the link and logged; a
    // command sent again is told as such first.
    void Send(const QByteArray& command);
    // CR LF over serial and TCP, logged, ending a half command the scale may
    // hold after the link came back; nothing over UDP.
    void EndHalfLine();
    // Received text: logged first, then taken by the upload.
    void Received(const QByteArray& text);
    // The serial port has `count` bytes for us.
    void ReadSerial(std::int32_t count);
    // Takes no more received text: its owner is done with this upload.
    void Detach() { detached_ = true; }
    // Drops a serial command still going out; true when there was one.
    bool AbandonWrite();

    // Why the link last failed (an open's failure, or the link's own cause);
    // empty when it did not.
    QString Cause() const;
    // Why the last command could not go out over Ethernet; empty when it went.
    QString NotSent() const;
    // The upload and the link as the status line tells them.
    TStatusState Status() const;

    TUpload Upload;
    std::unique_ptr<CEthConnection> EthLink;
    // As its owner last heard it: the serial open and close, or WM_LINKSTATE.
    std::uint8_t LinkState = lsDisconnected;
    int LogLink = 0;  // the link's number in the log

private:
    void FeedLog(CEthConnection& eth);
    void SendFramed(const QByteArray& command);

    std::function<TLinkTarget()> link_;
    std::function<int()> rows_;
    TCommLog* log_;  // null: nothing is logged
    std::unique_ptr<TComPort> serial_;
    QString openFailure_;
    bool detached_ = false;
};
