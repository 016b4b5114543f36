#pragma once
// The same-scale check: which link reaches each scale, so that two links to
// one scale are never sent to at once, over every link kind.
#include "ScaleJob.h"

#include <QHash>
#include <QHostAddress>
#include <QString>

#include <vector>

// Which link reaches each scale: one address and port over TCP, one address
// over UDP, one serial device. A named TCP link holds its name and port
// until its lookup gives its addresses.
class TScaleKeys {
public:
    // Every link's keys that need no lookup; false, naming both, when two links share one.
    bool Add(const std::vector<TTarget>& targets, QString& error);
    // One link's key: empty, and from now on it is this link's; else why
    // it reaches the scale of a link held before it.
    QString Hold(const TTarget& t);
    // A named link's addresses with its port: the name of another link that
    // holds one of them; else empty, and from now on they are this link's.
    QString Claim(const TTarget& t, const QList<QHostAddress>& addresses);

private:
    struct THolder {
        QString Link;
        QString Name;
    };
    // The link that holds t's key; none, and from now on t holds it.
    const THolder* Take(const TTarget& t);
    QHash<QString, THolder> held_;
};

// False, naming both, when two links reach one scale as far as no lookup is
// needed to tell: the same link, one address and port over TCP, one address
// over UDP, one serial device.
bool FindSameScale(const std::vector<TTarget>& targets, QString& error);
