#pragma once
// TClientSocket: a non-blocking TCP client whose notifications (connect,
// disconnect, read, error) arrive on the thread that owns it, through its event
// loop. A dotted IPv4 address is connected by a plain non-blocking socket;
// a host name goes to QTcpSocket, which looks it up and connects. Once
// connected, the client keeps the connection's descriptor and reads and
// writes it itself, one system call a command and one a reply, without Qt's
// buffers, their signals and the FIONREAD before every read. The names and the order of
// notifications are the ones the Ethernet link was written against.
#include "FdWatch.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <stdexcept>

class QTcpSocket;

enum TClientType { ctNonBlocking, ctBlocking };
enum TErrorEvent { eeGeneral, eeSend, eeReceive, eeConnect, eeDisconnect, eeAccept, eeLookup };

// Raised for a socket failure whose OnError handler left the code non-zero.
class ESocketError : public std::runtime_error {
public:
    ESocketError(TErrorEvent event, int code);
    TErrorEvent Event;
    int ErrorCode;
};

class TClientSocket : public QObject {
public:
    using TSocketNotifyEvent = std::function<void(TClientSocket& Socket)>;
    using TSocketErrorEvent = std::function<void(TClientSocket& Socket, TErrorEvent ErrorEvent, int& ErrorCode)>;

    TClientSocket();
    // Closes an open connection without raising OnDisconnect.
    ~TClientSocket() override;

    TClientType ClientType = ctNonBlocking;
    QString Host;
    std::int32_t Port = 0;
    // A lookup and connect that takes longer than this is given up (OnError
    // eeConnect, then OnDisconnect), so an attempt never hangs for ever.
    int ConnectTimeoutMs = 10000;

    TSocketNotifyEvent OnConnect;
    TSocketNotifyEvent OnDisconnect;
    TSocketNotifyEvent OnRead;
    TSocketErrorEvent OnError;

    // True from just before OnConnect until just before OnDisconnect.
    bool Active() const { return active_; }
    // true: starts the lookup and connect and returns at once (an empty host
    // raises OnDisconnect before returning). false: closes an established
    // connection, raising OnDisconnect before returning, or silently abandons
    // an attempt still under way.
    void SetActive(bool value);

    // Queues every byte for sending; returns how many were taken.
    qint64 SendString(const QByteArray& text);
    // Every byte received since the last call, possibly none.
    QByteArray ReceiveString();

private:
    void Open();
    bool ConnectDirect();
    void ConnectDone();
    void Writable();
    void ReleaseSocket();
    void TakeDescriptor();
    void CloseDescriptor();
    void ReadReady();
    void WriteReady();
    void Broken(int code);
    void SocketConnected();
    void SocketDisconnected();
    void SocketError(int error);
    void ConnectTimedOut();
    void FailAttempt(TErrorEvent event, int code);
    void FinishConnection();
    // Calls OnError; true when the handler left the code non-zero.
    bool ErrorStays(TErrorEvent event, int& code);
    void RaiseLater(TErrorEvent event, int code);

    QTcpSocket* socket_ = nullptr;  // while connecting
    int fd_ = -1;                    // once connected, or while the plain socket connects
    unsigned connection_ = 0;        // counts them: a failure found late ends only its own
    TFdWatch readable_;
    TFdWatch writable_;              // on only while connecting or while unsent bytes wait
    QByteArray received_;
    QByteArray unsent_;
    QTimer connectTimer_;
    bool attempting_ = false;
    bool active_ = false;
};
