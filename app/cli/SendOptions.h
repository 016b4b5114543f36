#pragma once
// The command line's options: what it offers, its help, and what `send`'s
// arguments ask for once read.
#include "FleetDefaults.h"
#include "ScaleJob.h"

#include <QCommandLineParser>
#include <QString>

#include <vector>

struct TSendOptions {
    QString File;
    std::vector<TTarget> Targets;
    int Position = 0;        // of the database kind among the device type's kinds
    int TimeoutSeconds = FleetDefaults::TimeoutSeconds;
    int ConnectTimeoutSeconds = FleetDefaults::ConnectTimeoutSeconds;
    QString Kind = QStringLiteral("product");  // the database kind's word
    int Retries = FleetDefaults::Retries;
    int ReconnectSeconds = FleetDefaults::ReconnectSeconds;  // a link lost mid-upload is tried again this long
    int Jobs = 0;            // at most this many uploads at once; 0: all
    bool Json = false;
    quint16 UdpPort = FleetDefaults::UdpPort;
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

// The standard baud rate nearest to rate.
int NearestStandardBaud(int rate);
