// Peak memory while a device on loopback TCP streams text without a line end
// (a scale in continuous output mode): of `scaledb send`, and of the main
// window on the offscreen platform, each against its figure with a device
// that sends nothing. The device is a child process that waits for the
// start command, then writes the bytes as fast as they are taken and closes.
//     stream_bench --scaledb PATH [--bytes N]
#include "AppFolder.h"
#include "Global.h"
#include "MessageBox.h"
#include "ProcStatus.h"
#include "okno.h"

#include <QApplication>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace {

// A device on 127.0.0.1: accepts one connection, reads until the first LF
// (the start command), then writes `bytes` bytes of '0' and closes; with
// none to write it stays silent until the other end leaves.
struct Device {
    int port = 0;
    pid_t pid = -1;

    explicit Device(long long bytes)
    {
        const int listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (bind(listener, reinterpret_cast<sockaddr*>(&a), len) != 0 || listen(listener, 1) != 0
            || getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
            close(listener);
            return;
        }
        port = ntohs(a.sin_port);
        // Allocated before fork: the child of a threaded process makes only system calls.
        const std::vector<char> chunk(1 << 20, '0');
        pid = fork();
        if (pid == 0)
            _exit(Serve(listener, bytes, chunk));
        close(listener);
    }
    ~Device()
    {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }

    static int Serve(int listener, long long bytes, const std::vector<char>& chunk)
    {
        const int s = accept(listener, nullptr, nullptr);
        if (s < 0)
            return 1;
        char c = 0;
        while (read(s, &c, 1) == 1 && c != '\n') {
        }
        for (long long left = bytes; left > 0;) {
            const ssize_t n = write(s, chunk.data(), static_cast<size_t>(std::min<long long>(left, chunk.size())));
            if (n <= 0)
                return 1;
            left -= n;
        }
        while (bytes == 0 && read(s, &c, 1) > 0) {
        }
        close(s);
        return 0;
    }
};

qint64 PeakOf(QProcess& p)
{
    qint64 peak = 0;
    while (!p.waitForFinished(50)) {
        const QByteArray hwm = ProcStatusField("VmHWM", p.processId());
        if (!hwm.isEmpty())
            peak = std::max(peak, hwm.split(' ').first().toLongLong() * 1024);
    }
    return peak;
}

// The peak of one `scaledb send` to a device streaming `bytes` bytes.
qint64 SendPeak(const QString& scaledb, const QString& database, long long bytes, int timeout)
{
    Device device(bytes);
    QTemporaryDir dir;
    QProcess p;
    p.start(scaledb, {QStringLiteral("send"), database, QStringLiteral("--to"),
                      QStringLiteral("tcp://127.0.0.1:%1").arg(device.port), QStringLiteral("--timeout"),
                      QString::number(timeout), QStringLiteral("--log"), dir.filePath(QStringLiteral("log"))});
    if (!p.waitForStarted())
        return -1;
    return PeakOf(p);
}

// The window's own peak, connected and idle, and then after pressing "Send
// database" to a device streaming `bytes` bytes; Stop is pressed halfway.
bool WindowPeak(const QString& database, long long bytes, qint64& idle, qint64& peak)
{
    Device device(bytes);
    TForm1 w;
    w.LoadDatabase(database);
    ConnectionKind = ckEthernet;
    EthProtocol = epTCP;
    EthHost = QStringLiteral("127.0.0.1");
    EthPort = device.port;
    w.btnOpenPort->click();
    if (!QTest::qWaitFor([&] { return w.LinkState == lsConnected; }, 5000))
        return false;
    QTest::qWait(500);
    idle = ProcStatusBytes("VmHWM");
    w.bbWyslijBaze->click();
    bool stopped = false;
    const bool closed = QTest::qWaitFor([&] {
        if (!stopped && w.Upload.DiscardedBytes() > bytes / 2 && w.WyslijBazeTag == 1) {
            w.bbWyslijBaze->click();  // Stop: the device keeps sending
            stopped = true;
        }
        return w.LinkState == lsDisconnected;
    }, 600000);
    peak = ProcStatusBytes("VmHWM");
    w.FormClose();
    return closed && stopped;
}

double Mb(qint64 bytes)
{
    return static_cast<double>(bytes) / (1 << 20);
}

} // namespace

int main(int argc, char** argv)
{
    QString scaledb;
    long long bytes = 2LL << 30;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--scaledb") == 0)
            scaledb = QString::fromLocal8Bit(argv[i + 1]);
        else if (std::strcmp(argv[i], "--bytes") == 0)
            bytes = std::atoll(argv[i + 1]);
    }
    if (scaledb.isEmpty() || bytes <= 0) {
        std::fprintf(stderr, "usage: stream_bench --scaledb PATH [--bytes N]\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir folder;
    SetAppFolder(folder.path());
    TForm1::TerminateOnClose = false;
    TForm1::UdpLocalPort = 0;
    SetMessageBoxHook([](const QString&, const QString&, int) {});
    const QString database = folder.filePath(QStringLiteral("db.csv"));
    QFile f(database);
    if (!f.open(QIODevice::WriteOnly) || f.write("1;Salt\n2;Pepper\n") < 0)
        return 1;
    f.close();

    const qint64 sendIdle = SendPeak(scaledb, database, 0, 1);
    const qint64 sendPeak = SendPeak(scaledb, database, bytes, 600);
    std::printf("stream %.1f GB without a line end: scaledb send peak %.1f MB, idle %.1f MB, %.1f MB above idle\n",
                static_cast<double>(bytes) / (1 << 30), Mb(sendPeak), Mb(sendIdle), Mb(sendPeak - sendIdle));
    qint64 idle = 0, peak = 0;
    if (!WindowPeak(database, bytes, idle, peak)) {
        std::fprintf(stderr, "stream_bench: the window's run did not end as expected\n");
        return 1;
    }
    std::printf("stream %.1f GB without a line end: window peak %.1f MB, idle %.1f MB, %.1f MB above idle (Stop pressed halfway)\n",
                static_cast<double>(bytes) / (1 << 30), Mb(peak), Mb(idle), Mb(peak - idle));
    return sendPeak > 0 && sendIdle > 0 ? 0 : 1;
}
