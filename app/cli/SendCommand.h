#pragma once
// `scaledb send`: uploads a database to one or more scales without a window,
// through the same loader, exchange and links as the main window.
#include <QStringList>

// Runs it; returns the process exit code (0 accepted, 1 not accepted, 2 bad arguments).
int RunCommandLine(const QStringList& args);
