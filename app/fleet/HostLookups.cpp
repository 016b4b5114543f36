#include "HostLookups.h"

#include <QHostInfo>
#include <QTimer>

#include <algorithm>

THostLookups::THostLookups(std::size_t atOnce, int timeoutMs) : atOnce_(std::max<std::size_t>(atOnce, 1)), timeoutMs_(timeoutMs)
{
}

THostLookups::~THostLookups()
{
    for (auto& [id, lookup] : lookups_)
        if (lookup.QtId >= 0)
            QHostInfo::abortHostLookup(lookup.QtId);
}

std::uint64_t THostLookups::Find(const QString& name, TDone done)
{
    const std::uint64_t id = next_++;
    lookups_[id] = TLookup{name, std::move(done), -1, nullptr};
    waiting_.push_back(id);
    // Started from the loop, so `done` never runs inside Find.
    QMetaObject::invokeMethod(&context_, [this] { StartWaiting(); }, Qt::QueuedConnection);
    return id;
}

void THostLookups::Cancel(std::uint64_t id)
{
    const auto i = lookups_.find(id);
    if (i == lookups_.end())
        return;
    if (i->second.QtId >= 0)
        i->second.Done = nullptr;  // its answer, when it comes, only frees the slot
    else
        lookups_.erase(i);  // its id stays in waiting_ and is skipped there
}

void THostLookups::StartWaiting()
{
    while (running_ < atOnce_ && !waiting_.empty()) {
        const std::uint64_t id = waiting_.front();
        waiting_.pop_front();
        const auto i = lookups_.find(id);
        if (i == lookups_.end() || i->second.QtId >= 0)
            continue;
        TLookup& lookup = i->second;
        ++running_;
        lookup.Limit = std::make_unique<QTimer>();
        lookup.Limit->setSingleShot(true);
        QObject::connect(lookup.Limit.get(), &QTimer::timeout, &context_, [this, id] { TimedOut(id); });
        lookup.Limit->start(timeoutMs_);
        lookup.QtId = QHostInfo::lookupHost(lookup.Name, &context_, [this, id](const QHostInfo& info) {
            if (info.error() == QHostInfo::NoError && !info.addresses().isEmpty())
                Answered(id, {info.addresses(), QString()});
            else
                Answered(id, {{}, info.error() == QHostInfo::HostNotFound || info.error() == QHostInfo::NoError
                                      ? QString() : info.errorString().toLower()});
        });
    }
}

void THostLookups::TimedOut(std::uint64_t id)
{
    const auto i = lookups_.find(id);
    if (i == lookups_.end() || !i->second.Done)
        return;
    TDone done = std::move(i->second.Done);
    i->second.Done = nullptr;
    i->second.Limit.release()->deleteLater();  // inside its own timeout
    done({{}, QStringLiteral("no answer in %1 s").arg(timeoutMs_ / 1000)});
}

void THostLookups::Answered(std::uint64_t id, const TLookupResult& result)
{
    const auto i = lookups_.find(id);
    if (i == lookups_.end())
        return;
    TDone done = std::move(i->second.Done);
    lookups_.erase(i);
    --running_;
    StartWaiting();
    if (done)
        done(result);
}

QHostAddress PreferredAddress(const QList<QHostAddress>& addresses)
{
    for (const QHostAddress& a : addresses)
        if (a.protocol() == QAbstractSocket::IPv4Protocol)
            return a;
    return addresses.value(0);
}
