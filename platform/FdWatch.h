#pragma once
// TFdWatch: calls back when a descriptor is readable or writable, on the
// thread that made it. Under TEpollDispatcher the dispatcher calls it
// straight; under any other dispatcher a QSocketNotifier does. It may be
// stopped, or started on another descriptor, from inside its own callback.
#include "EpollDispatcher.h"

#include <QSocketNotifier>

#include <functional>

class TFdWatch : private TDescriptorWatcher {
public:
    TFdWatch(QSocketNotifier::Type type, std::function<void()> ready);
    ~TFdWatch();
    TFdWatch(const TFdWatch&) = delete;
    TFdWatch& operator=(const TFdWatch&) = delete;

    // Watches fd from now on, on or off; a descriptor watched before is let go.
    void Start(int fd, bool enabled = true);
    void SetEnabled(bool on);
    // Lets the descriptor go, before it is closed.
    void Stop();

private:
    void DescriptorReady() override { ready_(); }

    QSocketNotifier::Type type_;
    std::function<void()> ready_;
    int fd_ = -1;
    bool enabled_ = false;
    TEpollDispatcher* direct_ = nullptr;
    QSocketNotifier* notifier_ = nullptr;  // deleted later: it may be inside its own signal
};
