#pragma once
// Holds off system sleep while uploads run, so a laptop that suspends when
// idle does not cut a link mid-upload. It asks logind for a "sleep" lock
// (not an idle one: the screen may still blank), else the session's power
// management, else the desktop portal. Every call is asynchronous: an upload
// never waits on the bus, and without one it goes on as before. Main thread.
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QString>

#include <functional>

class QDBusPendingCallWatcher;

class TSleepInhibitor : public QObject {
    Q_OBJECT
public:
    explicit TSleepInhibitor(QObject* parent = nullptr);
    ~TSleepInhibitor() override;

    // One Hold for each upload that starts, one Release for each that ends:
    // the lock is wanted from the first Hold to the last Release.
    void Hold(const QString& why);
    void Release();
    // A lock is in place (granted and not yet released).
    bool Held() const { return held_ != bkNone; }

    // Off: Hold takes no lock (scaledb send --no-inhibit).
    bool Enabled = true;
    // A line for the log: the lock taken, released, or not to be had (once).
    std::function<void(const QString& text)> Tell = [](const QString&) {};

private:
    enum TBackend { bkLogind, bkPowerManagement, bkPortal, bkNone };
    void Update();
    void Request(TBackend backend);
    void Answered(TBackend backend, QDBusPendingCallWatcher& call);
    void Unavailable();
    void Drop();

    int users_ = 0;
    QString why_;
    bool pending_ = false;      // a request is in flight
    bool unavailable_ = false;  // no service gave a lock: not asked again
    QString firstFailure_;
    TBackend held_ = bkNone;
    QDBusUnixFileDescriptor fd_;  // logind's lock: closing it releases
    uint cookie_ = 0;             // power management's
    QString portalRequest_;       // the portal's request object
};
