#include "ScaleKeys.h"

#include "Global.h"
#include "IdUdpServer.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace {

QString TcpKey(const QHostAddress& address, std::int32_t port)
{
    return QStringLiteral("tcp %1:%2").arg(address.toString()).arg(port);
}

// What tells one scale from another without a lookup: a TCP address with
// its port (a name with its port until its lookup ends); a UDP address alone,
// as replies are routed by it; a serial device by its real path.
QString ScaleKey(const TTarget& t)
{
    if (t.Kind == ckSerial) {
        const QString real = QFileInfo(t.Host).canonicalFilePath();
        return QStringLiteral("serial ") + (real.isEmpty() ? t.Host : real);
    }
    std::uint32_t address = 0;
    const bool numeric = ParseDottedDecimal(t.Host, address);
    if (t.Protocol == epUDP)
        return QStringLiteral("udp %1").arg(numeric ? address : 0);
    if (numeric)
        return TcpKey(QHostAddress(address), t.Port);
    return QStringLiteral("tcp name %1:%2").arg(t.Host.toLower()).arg(t.Port);
}

} // namespace

const TScaleKeys::THolder* TScaleKeys::Take(const TTarget& t)
{
    const QString key = ScaleKey(t);
    const auto first = held_.constFind(key);
    if (first != held_.constEnd())
        return &*first;
    held_.insert(key, {t.Link, t.Name});
    return nullptr;
}

bool TScaleKeys::Add(const std::vector<TTarget>& targets, QString& error)
{
    for (const TTarget& t : targets)
        if (const THolder* first = Take(t)) {
            error = QCoreApplication::translate("ScaleKeys", "%1 and %2 are the same scale").arg(first->Name, t.Name);
            return false;
        }
    return true;
}

// A UDP address is told as the scales panel always told it: two scales
// there could take each other's replies.
QString TScaleKeys::Hold(const TTarget& t)
{
    const THolder* first = Take(t);
    if (!first)
        return QString();
    if (t.Kind == ckEthernet && t.Protocol == epUDP)
        return QCoreApplication::translate("ScaleKeys",
                                           "%1 and %2 are one address over UDP: its replies could not be told apart")
            .arg(first->Link, t.Link);
    return QCoreApplication::translate("ScaleKeys", "%1 and %2 are the same scale").arg(first->Name, t.Name);
}

QString TScaleKeys::Claim(const TTarget& t, const QList<QHostAddress>& addresses)
{
    for (const QHostAddress& a : addresses) {
        const auto other = held_.constFind(TcpKey(a, t.Port));
        if (other != held_.constEnd() && other->Link != t.Link)
            return other->Name;
    }
    for (const QHostAddress& a : addresses)
        held_.insert(TcpKey(a, t.Port), {t.Link, t.Name});
    return QString();
}

bool FindSameScale(const std::vector<TTarget>& targets, QString& error)
{
    TScaleKeys keys;
    return keys.Add(targets, error);
}
