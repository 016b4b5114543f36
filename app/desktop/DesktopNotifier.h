#pragma once
// Tells the desktop how uploads go while the user looks elsewhere: a
// notification when one ends (org.freedesktop.Notifications; activating it
// asks for the window) and the progress on the launcher's icon
// (com.canonical.Unity.LauncherEntry, which KDE's task manager and GNOME's
// docks read). Nothing is awaited; without a session bus nothing is shown.
// Main thread.
#include <QList>
#include <QObject>
#include <QString>

class TDesktopNotifier : public QObject {
    Q_OBJECT
public:
    // desktopId: the launcher's file name without ".desktop".
    explicit TDesktopNotifier(const QString& desktopId, QObject* parent = nullptr);

    void Notify(const QString& summary, const QString& body);
    // fraction 0..1; sent only when the whole percent changes.
    void ShowProgress(double fraction);
    void ClearProgress();

signals:
    // The user activated one of our notifications.
    void Activated();

private slots:
    void ActionInvoked(uint id, const QString& action);
    void NotificationClosed(uint id, uint reason);

private:
    bool Connect();
    void SendProgress(double fraction, bool visible);

    QString desktopId_;
    bool tried_ = false;
    bool connected_ = false;
    int percent_ = -1;  // last sent; -1: none shown
    QList<uint> shown_;  // ours still on screen, the newest last
};
