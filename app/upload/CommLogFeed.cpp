#include "CommLogFeed.h"

#include "CPort.h"
#include "CommLog.h"
#include "EthConnection.h"
#include "Global.h"

#include <QHostAddress>
#include <QLocale>

QString EthLinkName(int protocol, const QString& host, int port)
{
    return QStringLiteral("%1://%2:%3").arg(protocol == epUDP ? QStringLiteral("udp") : QStringLiteral("tcp"), host).arg(port);
}

QString SerialLinkName(const TComPort& port)
{
    const std::int32_t bps = port.BaudRate() == brCustom ? port.CustomBaudRate() : BaudRateToInt(port.BaudRate());
    return QStringLiteral("serial:%1@%2").arg(port.Port()).arg(bps);
}

namespace {

// "stopped after 4,096 of 200,002 bytes of Sr0001;xxxxxxxxxx…", the
// command's start written as the log writes bytes.
QString WriteStopText(const TWriteStop& stop, TCommLog::TDecoding decoding)
{
    constexpr qsizetype Shown = 16;
    QString head = CommLogText(stop.Text.left(Shown), decoding);
    if (stop.Text.size() > Shown)
        head += QChar(0x2026);
    const QLocale english(QLocale::English);
    return QStringLiteral("stopped after %1 of %2 bytes of %3")
        .arg(english.toString(stop.Written), english.toString(stop.Text.size()), head);
}

} // namespace

void LogSerialEvents(TComPort& port, TCommLog& log, std::function<int()> link)
{
    port.OnWriteStopped = [&port, &log, link](TCustomComPort*, const TWriteStop& stop) {
        log.Event(link(), WriteStopText(stop, log.Decoding()) + QStringLiteral(": ") + port.LastCause);
    };
    port.OnAfterOpen = [&log, link](TCustomComPort*) { log.Event(link(), QStringLiteral("opened")); };
    // A port closed because its device went keeps that cause.
    port.OnAfterClose = [&port, &log, link](TCustomComPort*) {
        log.Event(link(), port.LastCause.isEmpty() ? QStringLiteral("closed") : QStringLiteral("failed: ") + port.LastCause);
    };
}

void LogEthEvents(CEthConnection& eth, TCommLog& log, std::function<int()> link)
{
    eth.OnStateChange = [&eth, &log, link, last = QString()]() mutable {
        QString text;
        switch (eth.State) {
        case lsConnecting: text = QStringLiteral("connecting"); break;
        case lsClosing: text = QStringLiteral("closing"); break;
        case lsConnected:
            text = eth.UdpPort ? QStringLiteral("opened, local UDP port %1").arg(eth.UdpBoundPort())
                                 : QStringLiteral("connected");
            break;
        default:
            text = eth.LastCause.isEmpty() ? QStringLiteral("closed") : QStringLiteral("failed: ") + eth.LastCause;
            break;
        }
        // A close posts its state twice, once from the socket and once from the toggle.
        if (text != last || eth.State != lsDisconnected)
            log.Event(link(), text);
        last = text;
        // An endpoint of the link's own tells of strangers' datagrams here; a
        // shared one was told by its owner.
        if (eth.UdpPort && !eth.UdpPort->OnIgnored)
            eth.UdpPort->OnIgnored = [&log, link](std::uint32_t from, std::uint64_t count) {
                LogIgnoredDatagrams(log, link(), from, count);
            };
    };
}

QString CaughtText()
{
    try {
        throw;
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("unknown error");
    }
}

void LogIgnoredDatagrams(TCommLog& log, int link, std::uint32_t from, std::uint64_t count)
{
    const QString what = count == 1 ? QStringLiteral("1 datagram")
                                    : QStringLiteral("%1 datagrams").arg(QLocale(QLocale::English).toString(count));
    const QString where = from ? QHostAddress(from).toString() : QStringLiteral("other addresses");
    log.Event(link, QStringLiteral("ignored %1 from %2").arg(what, where));
}
