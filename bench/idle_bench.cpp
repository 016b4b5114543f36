// What an open, idle serial port costs: the port is opened on a
// pseudo-terminal and left alone for ten seconds while the process's CPU time
// is counted; then one byte is written from the other side and the time until
// OnRxChar runs shows that the event thread wakes at once, without polling.
#include "CPort.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <pty.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace {
double CpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    int master = -1, slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    TComPort port;
    port.SetPort(QString::fromLocal8Bit(name));
    QElapsedTimer sinceWrite;
    QEventLoop wake;
    port.OnRxChar = [&](TCustomComPort*, std::int32_t count) {
        const double ms = sinceWrite.nsecsElapsed() / 1e6;
        QByteArray text;
        port.ReadText(text, count);
        std::printf("idle serial port: byte received %.2f ms after it was written\n", ms);
        wake.quit();
    };
    port.OpenPort();

    const double before = CpuSeconds();
    QTimer::singleShot(seconds * 1000, &wake, &QEventLoop::quit);
    wake.exec();
    const double used = CpuSeconds() - before;
    std::printf("idle serial port: %.3f%% of one core over %d s (%.1f ms of CPU)\n", used / seconds * 100.0, seconds,
                used * 1000.0);

    sinceWrite.start();
    [[maybe_unused]] const ssize_t n = ::write(master, "x", 1);
    QTimer::singleShot(2000, &wake, &QEventLoop::quit);
    wake.exec();
    port.ClosePort();
    ::close(master);
    ::close(slave);
    return 0;
}
