#include "DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

#include <algorithm>
#include <cmath>

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
// Notifications of ours whose activation is still followed.
constexpr int kShownKept = 16;
constexpr int kCallTimeoutMs = 5000;
}

TDesktopNotifier::TDesktopNotifier(const QString& desktopId, QObject* parent) : QObject(parent), desktopId_(desktopId) {}

// The session bus once, on first use, and the signals that tell of our notifications.
bool TDesktopNotifier::Connect()
{
    if (tried_)
        return connected_;
    tried_ = true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    connected_ = bus.isConnected();
    if (connected_) {
        bus.connect(kService, kPath, kService, QStringLiteral("ActionInvoked"), this, SLOT(ActionInvoked(uint, QString)));
        bus.connect(kService, kPath, kService, QStringLiteral("NotificationClosed"), this,
                    SLOT(NotificationClosed(uint, uint)));
    }
    return connected_;
}

void TDesktopNotifier::Notify(const QString& summary, const QString& body)
{
    if (!Connect())
        return;
    QDBusMessage m = QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), desktopId_}};
    m << QStringLiteral("scaledb") << uint(0) << desktopId_ << summary << body
      << QStringList{QStringLiteral("default"), QStringLiteral("Show")} << hints << int(-1);
    auto* call = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(m, kCallTimeoutMs), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isError())
            return;
        shown_.append(reply.value());
        if (shown_.size() > kShownKept)
            shown_.removeFirst();
    });
}

void TDesktopNotifier::ActionInvoked(uint id, const QString& action)
{
    if (shown_.contains(id) && action == QLatin1String("default"))
        emit Activated();
}

void TDesktopNotifier::NotificationClosed(uint id, uint)
{
    shown_.removeAll(id);
}

void TDesktopNotifier::ShowProgress(double fraction)
{
    const int percent = static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * 100));
    if (percent == percent_)
        return;
    percent_ = percent;
    SendProgress(percent / 100.0, true);
}

void TDesktopNotifier::ClearProgress()
{
    if (percent_ < 0)
        return;
    percent_ = -1;
    SendProgress(0, false);
}

void TDesktopNotifier::SendProgress(double fraction, bool visible)
{
    if (!Connect())
        return;
    QDBusMessage m = QDBusMessage::createSignal(QStringLiteral("/io/github/scaledb/ScaleDb/LauncherEntry"),
                                                QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
    m << QStringLiteral("application://%1.desktop").arg(desktopId_)
      << QVariantMap{{QStringLiteral("progress"), fraction}, {QStringLiteral("progress-visible"), visible}};
    QDBusConnection::sessionBus().send(m);
}
