#pragma once
// Turns SIGTERM, SIGINT and SIGHUP (logout, kill, Ctrl+C) into a call on the
// main thread, so the program closes through its normal close sequence and
// saves its settings instead of dying mid-run. A second SIGINT ends the
// program at once: the user asked twice, and the first close may be stuck.
#include <QCoreApplication>
#include <QObject>

#include <functional>

// handler(signal) runs on the main thread for each signal that came, while
// `owner` lives.
void OnQuitSignal(std::function<void(int signal)> handler, QObject* owner = QCoreApplication::instance());

// The first quit signal that came, or 0; safe to ask outside the event loop
// (a write that waits can give up once one came).
int QuitSignalCaught();
