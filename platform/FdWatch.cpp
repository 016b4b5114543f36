#include "FdWatch.h"

TFdWatch::TFdWatch(QSocketNotifier::Type type, std::function<void()> ready) : type_(type), ready_(std::move(ready))
{
}

TFdWatch::~TFdWatch()
{
    Stop();
}

void TFdWatch::Start(int fd, bool enabled)
{
    Stop();
    fd_ = fd;
    direct_ = TEpollDispatcher::Current();
    if (!direct_) {
        notifier_ = new QSocketNotifier(fd, type_);
        notifier_->setEnabled(false);
        QObject::connect(notifier_, &QSocketNotifier::activated, [this] { ready_(); });
    }
    SetEnabled(enabled);
}

void TFdWatch::SetEnabled(bool on)
{
    if (fd_ < 0 || on == enabled_)
        return;
    enabled_ = on;
    if (notifier_)
        notifier_->setEnabled(on);
    else
        direct_->WatchDirect(fd_, type_, on ? this : nullptr);
}

void TFdWatch::Stop()
{
    if (fd_ < 0)
        return;
    SetEnabled(false);
    if (notifier_) {
        notifier_->disconnect();
        notifier_->deleteLater();
        notifier_ = nullptr;
    }
    fd_ = -1;
    direct_ = nullptr;
}
