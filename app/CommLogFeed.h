#pragma once
// Where the links tell the communication log what they do: their state
// changes, each with its cause, and the UDP datagrams nobody of ours sent.
// The window and the command line attach their links the same way.
#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>

class CEthConnection;
class TComPort;
class TCommLog;

// The link as the command line names it: tcp://HOST:PORT, udp://ADDRESS:PORT, serial:DEVICE@BAUD.
QString EthLinkName(int protocol, const QString& host, int port);
QString SerialLinkName(const TComPort& port);

// link gives the log's number of the link at the time of the event.
void LogSerialEvents(TComPort& port, TCommLog& log, std::function<int()> link);
void LogEthEvents(CEthConnection& eth, TCommLog& log, std::function<int()> link);
void LogIgnoredDatagram(TCommLog& log, int link, std::uint32_t from, const QByteArray& text);
// Inside a catch: the exception's text, for the log.
QString CaughtText();
