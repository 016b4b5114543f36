#pragma once
// The host names of a fleet's TCP links, looked up on the main thread's
// event loop through Qt's resolver, a bounded number at a time, each given
// up after a time of its own. A scale waits only for its own name.
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <unordered_map>

class QTimer;

// A lookup's end: the addresses found; none when the name does not resolve.
struct TLookupResult {
    QList<QHostAddress> Addresses;
    QString Error;  // without addresses, the resolver's reason beyond "not found", if any
};

class THostLookups {
public:
    using TDone = std::function<void(const TLookupResult& result)>;

    // At most `atOnce` lookups run together; a scale waits `timeoutMs` for its own.
    THostLookups(std::size_t atOnce, int timeoutMs);
    ~THostLookups();

    // Queues a lookup of `name`; `done` runs later on this thread, never
    // inside Find, unless Cancel came first. Returns its id for Cancel.
    std::uint64_t Find(const QString& name, TDone done);
    void Cancel(std::uint64_t id);

    // Qt's resolver runs 20 lookups at once: more would wait in its queue
    // while their time ran, and a name that resolves could fail behind slow ones.
    static constexpr std::size_t DefaultAtOnce = 20;

private:
    struct TLookup {
        QString Name;
        TDone Done;     // empty once told or cancelled
        int QtId = -1;  // while the resolver has it
        std::unique_ptr<QTimer> Limit;
    };

    void StartWaiting();
    // The time is up: the scale is told, while the resolver keeps its slot
    // until it answers (a lookup under way cannot be stopped).
    void TimedOut(std::uint64_t id);
    void Answered(std::uint64_t id, const TLookupResult& result);

    std::size_t atOnce_;
    int timeoutMs_;
    std::uint64_t next_ = 1;
    std::size_t running_ = 0;
    std::deque<std::uint64_t> waiting_;  // at most one entry per scale
    std::unordered_map<std::uint64_t, TLookup> lookups_;
    QObject context_;  // results that come after the lookups are gone go nowhere
};

// A name's addresses as a link takes them: IPv4 ones first, as a scale has one.
QHostAddress PreferredAddress(const QList<QHostAddress>& addresses);
