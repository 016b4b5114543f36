#pragma once
// Turns SIGTERM, SIGINT and SIGHUP (logout, kill, Ctrl+C) into a call on the
// main thread, so the program closes through its normal close sequence and
// saves its settings instead of dying mid-run. A second SIGINT ends the
// program at once: the user asked twice, and the first close may be stuck.
#include <QCoreApplication>
#include <QObject>

#include <chrono>
#include <functional>

// handler(signal) runs on the main thread for each signal that came, while
// `owner` lives. With a backstop, the first signal also arms a timer from the
// signal handler itself: a program still running that long after it ends at
// once with 128 + the signal, whatever it still waits for.
void OnQuitSignal(std::function<void(int signal)> handler, QObject* owner = QCoreApplication::instance(),
                  std::chrono::milliseconds backstop = {});

// A quit signal has reached the main thread: the program is closing, and
// nothing may wait for the user any more.
bool Quitting();

// The first quit signal that came, or 0; safe to ask outside the event loop
// (a write that waits can give up once one came).
int QuitSignalCaught();
