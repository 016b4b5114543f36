#include "QuitSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {
int pipeFds[2] = {-1, -1};
volatile std::sig_atomic_t interrupted = 0;
volatile std::sig_atomic_t firstSignal = 0;

void Forward(int sig)
{
    // Only async-signal-safe calls here; the notifier does the rest on the main thread.
    if (sig == SIGINT && interrupted) {
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        sigemptyset(&dfl.sa_mask);
        sigaction(SIGINT, &dfl, nullptr);
        ::raise(SIGINT);  // delivered with the default action once this handler returns
        return;
    }
    if (sig == SIGINT)
        interrupted = 1;
    if (!firstSignal)
        firstSignal = sig;
    const char byte = static_cast<char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], &byte, 1);
}
}

void OnQuitSignal(std::function<void(int signal)> handler, QObject* owner)
{
    if (pipeFds[0] < 0 && ::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [handler = std::move(handler)] {
        char buf[16];
        ssize_t n;
        while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0)
            for (ssize_t i = 0; i < n; ++i)
                handler(static_cast<unsigned char>(buf[i]));
    });
    struct sigaction sa {};
    sa.sa_handler = Forward;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &sa, nullptr);
}

int QuitSignalCaught()
{
    return firstSignal;
}
