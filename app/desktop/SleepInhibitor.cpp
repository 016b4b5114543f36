#include "SleepInhibitor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

namespace {
// A request the bus leaves unanswered fails after this, and the next is tried.
constexpr int kCallTimeoutMs = 5000;
// The portal's flag for suspending.
constexpr uint kPortalSuspend = 4;

const char* BackendName(int backend)
{
    switch (backend) {
    case 0: return "logind";
    case 1: return "power management";
    default: return "desktop portal";
    }
}
}

TSleepInhibitor::TSleepInhibitor(QObject* parent) : QObject(parent) {}

TSleepInhibitor::~TSleepInhibitor()
{
    users_ = 0;
    Drop();
}

void TSleepInhibitor::Hold(const QString& why)
{
    if (!Enabled)
        return;
    if (users_++ == 0)
        why_ = why;
    Update();
}

void TSleepInhibitor::Release()
{
    if (!Enabled || users_ == 0)
        return;
    --users_;
    Update();
}

// Brings the lock in line with the users; an answer still awaited decides
// first, and Update runs again when it comes.
void TSleepInhibitor::Update()
{
    if (pending_)
        return;
    if (users_ > 0 && held_ == bkNone && !unavailable_)
        Request(bkLogind);
    else if (users_ == 0 && held_ != bkNone)
        Drop();
}

void TSleepInhibitor::Request(TBackend backend)
{
    if (backend == bkNone) {
        Unavailable();
        return;
    }
    QDBusConnection bus = backend == bkLogind ? QDBusConnection::systemBus() : QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        if (firstFailure_.isEmpty())
            firstFailure_ = QStringLiteral("no D-Bus %1 bus").arg(backend == bkLogind ? "system" : "session");
        Request(static_cast<TBackend>(backend + 1));
        return;
    }
    QDBusMessage m;
    if (backend == bkLogind) {
        m = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
                                           QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
        m << QStringLiteral("sleep") << QStringLiteral("scaledb") << why_ << QStringLiteral("block");
    } else if (backend == bkPowerManagement) {
        m = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.PowerManagement"),
                                           QStringLiteral("/org/freedesktop/PowerManagement/Inhibit"),
                                           QStringLiteral("org.freedesktop.PowerManagement.Inhibit"), QStringLiteral("Inhibit"));
        m << QStringLiteral("scaledb") << why_;
    } else {
        m = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.portal.Desktop"), QStringLiteral("/org/freedesktop/portal/desktop"),
                                           QStringLiteral("org.freedesktop.portal.Inhibit"), QStringLiteral("Inhibit"));
        m << QString() << kPortalSuspend << QVariantMap{{QStringLiteral("reason"), why_}};
    }
    pending_ = true;
    auto* call = new QDBusPendingCallWatcher(bus.asyncCall(m, kCallTimeoutMs), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this, backend](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        Answered(backend, *w);
    });
}

void TSleepInhibitor::Answered(TBackend backend, QDBusPendingCallWatcher& call)
{
    pending_ = false;
    const QDBusMessage reply = call.reply();
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        if (firstFailure_.isEmpty())
            firstFailure_ = QStringLiteral("%1: %2").arg(BackendName(backend), reply.errorMessage());
        if (users_ > 0)
            Request(static_cast<TBackend>(backend + 1));
        return;
    }
    const QVariant value = reply.arguments().constFirst();
    if (backend == bkLogind)
        fd_ = qdbus_cast<QDBusUnixFileDescriptor>(value);
    else if (backend == bkPowerManagement)
        cookie_ = value.toUInt();
    else
        portalRequest_ = qdbus_cast<QDBusObjectPath>(value).path();
    held_ = backend;
    Tell(QStringLiteral("sleep held off while uploading (%1)").arg(BackendName(backend)));
    Update();
}

void TSleepInhibitor::Unavailable()
{
    unavailable_ = true;
    Tell(QStringLiteral("sleep could not be held off: %1").arg(firstFailure_));
}

void TSleepInhibitor::Drop()
{
    if (held_ == bkNone)
        return;
    if (held_ == bkLogind) {
        fd_ = QDBusUnixFileDescriptor();  // the last copy: closing it ends the lock
    } else if (held_ == bkPowerManagement) {
        QDBusMessage m = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.PowerManagement"), QStringLiteral("/org/freedesktop/PowerManagement/Inhibit"),
            QStringLiteral("org.freedesktop.PowerManagement.Inhibit"), QStringLiteral("UnInhibit"));
        m << cookie_;
        QDBusConnection::sessionBus().send(m);
    } else {
        QDBusConnection::sessionBus().send(QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.portal.Desktop"), portalRequest_, QStringLiteral("org.freedesktop.portal.Request"),
            QStringLiteral("Close")));
    }
    held_ = bkNone;
    Tell(QStringLiteral("sleep allowed again"));
}
