#pragma once
// The command line's options: what it offers, its help, and what `send`'s
// arguments ask for once read.
#include "ScaleJob.h"

#include <QCommandLineParser>
#include <QHash>
#include <QHostAddress>
#include <QString>

#include <vector>

struct TSendOptions {
    QString File;
    std::vector<TTarget> Targets;
    int Position = 0;        // of the database kind among the device type's kinds
    int TimeoutSeconds = 10;
    int ConnectTimeoutSeconds = TScaleJob::ConnectLimitMs / 1000;
    QString Kind = QStringLiteral("product");  // the database kind's word
    int Retries = 5;
    int ReconnectSeconds = 30;  // a link lost mid-upload is tried again this long
    int Jobs = 0;            // at most this many uploads at once; 0: all
    bool Json = false;
    quint16 UdpPort = 1001;
    bool CheckOnly = false;  // --check: no upload
    bool Strict = false;     // --strict: no upload when the check finds something
    bool Quiet = false;      // --quiet: no progress
    bool Progress = false;   // --progress: the bars even off a terminal
    bool Inhibit = true;     // off with --no-inhibit: sleep is not held off
    QString LogPath;         // --log: every entry of the communication log, as it comes
};

// Every option of the command line, for the parser.
void AddOptions(QCommandLineParser& parser);
// What --help prints: usage, options with their defaults, exit codes, examples.
QString HelpText();

// Reads `send`'s arguments after the parser took them apart; false with the
// text to print when they make no upload.
bool ReadSendOptions(const QCommandLineParser& parser, TSendOptions& o, QString& error);

// Which link reaches each scale: one address and port over TCP, one address
// over UDP, one serial device. A named TCP link holds its name and port
// until its lookup gives its addresses.
class TScaleKeys {
public:
    // Every link's keys that need no lookup; false, naming both, when two links share one.
    bool Add(const std::vector<TTarget>& targets, QString& error);
    // A named link's addresses with its port: the name of another link that
    // holds one of them; else empty, and from now on they are this link's.
    QString Claim(const TTarget& t, const QList<QHostAddress>& addresses);

private:
    struct THolder {
        QString Link;
        QString Name;
    };
    QHash<QString, THolder> held_;
};

// False, naming both, when two links reach one scale as far as no lookup is
// needed to tell: the same link, one address and port over TCP, one address
// over UDP, one serial device.
bool FindSameScale(const std::vector<TTarget>& targets, QString& error);

// The standard baud rate nearest to rate.
int NearestStandardBaud(int rate);
