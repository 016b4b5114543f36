#include "QuitSignals.h"

#include <QSocketNotifier>

#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

namespace {
int pipeFds[2] = {-1, -1};
volatile std::sig_atomic_t interrupted = 0;
volatile std::sig_atomic_t quitSignal = 0;  // the first one, for the backstop's exit code
bool haveBackstop = false;
timer_t backstop{};
itimerspec backstopAfter{};
bool quitting = false;

void EndNow(int)
{
    ::_exit(128 + quitSignal);
}

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
    if (quitSignal == 0) {
        quitSignal = sig;
        if (haveBackstop)
            timer_settime(backstop, 0, &backstopAfter, nullptr);
    }
    const char byte = static_cast<char>(sig);
    [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], &byte, 1);
}

// The timer exists before any signal comes: the handler only starts it.
void MakeBackstop(std::chrono::milliseconds after)
{
    struct sigaction sa {};
    sa.sa_handler = EndNow;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGALRM, &sa, nullptr);
    sigevent ev{};
    ev.sigev_notify = SIGEV_SIGNAL;
    ev.sigev_signo = SIGALRM;
    if (!haveBackstop && timer_create(CLOCK_MONOTONIC, &ev, &backstop) != 0)
        return;
    backstopAfter.it_value.tv_sec = static_cast<time_t>(after.count() / 1000);
    backstopAfter.it_value.tv_nsec = static_cast<long>(after.count() % 1000) * 1000000L;
    haveBackstop = true;
}
}

bool Quitting()
{
    return quitting;
}

int QuitSignalCaught()
{
    return quitSignal;
}

void OnQuitSignal(std::function<void(int signal)> handler, QObject* owner, std::chrono::milliseconds backstop)
{
    if (pipeFds[0] < 0 && ::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    if (backstop.count() > 0)
        MakeBackstop(backstop);
    auto* notifier = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, owner);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [handler = std::move(handler)] {
        char buf[16];
        ssize_t n;
        while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0)
            for (ssize_t i = 0; i < n; ++i) {
                quitting = true;
                handler(static_cast<unsigned char>(buf[i]));
            }
    });
    struct sigaction sa {};
    sa.sa_handler = Forward;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaction(sig, &sa, nullptr);
}
