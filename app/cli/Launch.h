#pragma once
// What the arguments ask for, decided before any application object exists:
// a typo or a wrong option must not end in Qt's "could not connect to display".
#include <QStringList>

enum TLaunchKind { laWindow, laCommandLine, laRefused };

// laRefused: the message is already on standard error; exit 2.
TLaunchKind DecideLaunch(const QStringList& args);

// The number of single-character edits from one word to the other.
int EditDistance(const QString& a, const QString& b);
