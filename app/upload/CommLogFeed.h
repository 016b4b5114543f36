#pragma once
// Where the links tell the communication log what they do: their state
// changes, each with its cause, and how many UDP datagrams came from others.
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
// One summary line: how many datagrams came from an address that is no scale
// of ours (address 0: from addresses past the ones counted one by one).
void LogIgnoredDatagrams(TCommLog& log, int link, std::uint32_t from, std::uint64_t count);
// Inside a catch: the exception's text, for the log.
QString CaughtText();
