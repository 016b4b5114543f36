#pragma once
// Turns SIGTERM, SIGINT and SIGHUP (logout, kill, Ctrl+C) into a call on the
// main thread, so the program closes through its normal close sequence and
// saves its settings instead of dying mid-run.
#include <functional>

void OnQuitSignal(std::function<void()> handler);
