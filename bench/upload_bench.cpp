// Uploads a table of records through the real upload engine and the real
// links to scale-sim answering at once, and prints per link how much each
// command costs beyond the engine's 100 ms gap, and the smallest gap seen
// between a reply line arriving and the next command going out. With
// --log-panel every command, reply and link event also goes to the
// communication log, whose panel is open in a window and scrolls along.
// --log-memory fills a log with 100,000 entries and prints what they cost.
//     upload_bench --sim PATH [--records N] [--log-panel] serial|tcp|udp ...
//     upload_bench --log-memory
#include "CPort.h"
#include "CommLog.h"
#include "CommLogFeed.h"
#include "CommLogPanel.h"
#include "DatabaseFile.h"
#include "EthConnection.h"
#include "Global.h"
#include "GridTable.h"
#include "LinkSender.h"
#include "PostMessage.h"
#include "ProcStatus.h"
#include "ProcessData.h"

#include <QApplication>
#include <QFile>
#include <QMainWindow>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <vector>
#include <sys/resource.h>

namespace {
using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Runs the event loop until `done` holds or timeoutMs passed. `done` is
// looked at after every event the loop handles, not on a timer of its own:
// the loop sleeps between the upload's events, so the CPU figure is the
// upload's own.
bool WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QTimer wake;  // one wake-up at the deadline, should nothing else come
    wake.setSingleShot(true);
    wake.start(timeoutMs);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

// scale-sim as a child process, answering without delay.
class Simulator {
public:
    Simulator(const QString& program, const QString& mode)
    {
        QStringList args{QStringLiteral("--") + mode};
        if (mode != QLatin1String("serial"))
            args << QStringLiteral("0");
        proc_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        proc_.start(program, args);
        if (!proc_.waitForStarted(5000))
            return;
        QDeadlineTimer deadline(10000);
        while (!proc_.canReadLine() && !deadline.hasExpired())
            proc_.waitForReadyRead(100);
        // "READY serial /dev/pts/3" or "READY tcp 127.0.0.1 40123"
        const QList<QByteArray> parts = proc_.readLine().trimmed().split(' ');
        if (parts.size() < 3 || parts[0] != "READY")
            return;
        endpoint = QString::fromLocal8Bit(parts[2]);
        if (parts.size() >= 4)
            port = parts[3].toInt();
        ready = true;
    }
    ~Simulator()
    {
        proc_.terminate();
        if (!proc_.waitForFinished(3000))
            proc_.kill();
        proc_.waitForFinished(3000);
    }

    bool ready = false;
    QString endpoint;
    int port = 0;

private:
    QProcess proc_;
};

double CpuMs()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

struct Result {
    bool ok = false;
    double cpuMs = 0;  // of this process, Start to Finished
    int commands = 0;
    Clock::duration total{};
    std::optional<Clock::duration> minGap;
    Clock::duration gaps{};     // reply line to next command, summed
    Clock::duration replies{};  // command to its reply line, summed
    int replyCount = 0;
    int gapCount = 0;
    std::vector<double> intervalsMs;  // from one command to the next
};

// The middle value: a machine that stalls now and then for a few ms moves the
// mean by more than what is measured here, but not the median.
double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

// One upload of `table` over `link`, timed from Start to Finished.
Result Upload(const QString& link, const QString& sim, TGridTable& table, TCommLog* log)
{
    const int logLink = log ? log->LinkId(link) : 0;
    Result result;
    Simulator scale(sim, link);
    if (!scale.ready) {
        std::fprintf(stderr, "scale-sim did not start for %s\n", qPrintable(link));
        return result;
    }

    TLinkSender sender;
    std::optional<Clock::time_point> lastReply;
    std::optional<Clock::time_point> lastCommand;
    std::optional<Clock::time_point> previousCommand;
    bool finished = false;
    bool failed = false;

    TUpload upload({
        [&](const QByteArray& command) {
            const auto now = Clock::now();
            if (lastReply) {
                const auto gap = now - *lastReply;
                if (!result.minGap || gap < *result.minGap)
                    result.minGap = gap;
                result.gaps += gap;
                ++result.gapCount;
            }
            if (previousCommand)
                result.intervalsMs.push_back(Ms(now - *previousCommand));
            previousCommand = now;
            lastCommand = now;
            ++result.commands;
            sender.Log(log, logLink).Send(command);
        },
        [&] { return table.RowCount(); },
        [&](int row) { return table.Record(row); },
        [] { return 0; },
        [](int) {},
        [&](bool f) { finished = true; failed = f; },
    });
    // The moment a reply line is complete is the moment its text with the LF arrives.
    auto received = [&](const QByteArray& text) {
        if (text.contains('\n')) {
            lastReply = Clock::now();
            if (lastCommand) {
                result.replies += *lastReply - *lastCommand;
                ++result.replyCount;
                lastCommand.reset();
            }
        }
        if (log)
            log->Received(logLink, upload.ReplyBuffer, text);
        upload.ProcessReply(text, text.size());
    };

    TComPort port;
    std::unique_ptr<CEthConnection> eth;
    if (link == QLatin1String("serial")) {
        port.SetPort(scale.endpoint);
        if (log)
            LogSerialEvents(port, *log, [logLink] { return logLink; });
        port.OnRxChar = [&](TCustomComPort*, std::int32_t count) {
            QByteArray text;
            port.ReadText(text, count);
            if (!text.isEmpty())
                received(text);
        };
        try {
            port.OpenPort();
        } catch (const EComPort& e) {
            std::fprintf(stderr, "serial: %s\n", e.what());
            return result;
        }
        sender = TLinkSender::Serial(port);
    } else {
        const bool udp = link == QLatin1String("udp");
        EthHost = scale.endpoint;
        EthPort = scale.port;
        EthProtocol = udp ? epUDP : epTCP;
        eth = std::make_unique<CEthConnection>(received, 0);
        if (log)
            LogEthEvents(*eth, *log, [logLink] { return logLink; });
        eth->ToggleConnection(static_cast<std::uint8_t>(EthProtocol), EthHost, EthPort);
        if (!WaitFor([&] { return eth->State == lsConnected; }, 5000)) {
            std::fprintf(stderr, "%s: no connection\n", qPrintable(link));
            return result;
        }
        sender = udp ? TLinkSender::Udp(*eth, EthHost, EthPort) : TLinkSender::Tcp(*eth);
    }

    const auto start = Clock::now();
    const double cpu = CpuMs();
    upload.Start(0);
    const int budgetMs = (table.RowCount() + 2) * 1000 + 10000;
    if (!WaitFor([&] { return finished; }, budgetMs) || failed) {
        std::fprintf(stderr, "%s: the upload did not finish\n", qPrintable(link));
        return result;
    }
    result.total = Clock::now() - start;
    result.cpuMs = CpuMs() - cpu;
    result.ok = true;
    if (link == QLatin1String("serial"))
        port.ClosePort();
    else
        eth->ToggleConnection(static_cast<std::uint8_t>(EthProtocol), EthHost, EthPort);
    return result;
}
}

// 100,000 entries as an upload makes them, a third each: the record as it
// went, the reply as it came and the reply line (the same bytes, shared).
int LogMemory()
{
    const qint64 before = ProcStatusBytes("VmRSS");
    {
        TCommLog log;
        const int link = log.LinkId(QStringLiteral("tcp://192.168.1.100:1001"));
        qint64 counted = 0;
        for (int i = 0; log.Count() < TCommLog::Capacity; ++i) {
            const QByteArray record = "Sr" + QByteArray::number(i) + ";Product " + QByteArray::number(i) +
                                      ";1.20;3;590000000" + QByteArray::number(1000 + i) + ";Shelf 7\r\n";
            log.Append(link, TCommLog::lkSent, record);
            log.Received(link, {}, QByteArray("Mr\r\n"));
            counted += record.capacity() + 4 + 3 * 32;  // bytes, a reply's own buffer, allocation headers
        }
        log.Flush();
        counted += log.Count() * static_cast<qint64>(sizeof(TCommLog::TEntry));
        const qint64 after = ProcStatusBytes("VmRSS");
        std::printf("log %lld entries: %.1f MB resident growth, %.1f MB counted (%zu bytes an entry before its text)\n",
                    static_cast<long long>(log.Count()), (after - before) / 1e6, counted / 1e6, sizeof(TCommLog::TEntry));
    }
    return 0;
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString sim;
    int records = 300;
    bool panel = false;
    QStringList links;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--sim") && i + 1 < args.size())
            sim = args[++i];
        else if (args[i] == QLatin1String("--records") && i + 1 < args.size())
            records = args[++i].toInt();
        else if (args[i] == QLatin1String("--log-panel"))
            panel = true;
        else if (args[i] == QLatin1String("--log-memory"))
            return LogMemory();
        else
            links << args[i];
    }
    if (sim.isEmpty() || links.isEmpty() || records < 1) {
        std::fprintf(stderr, "usage: upload_bench --sim PATH [--records N] serial|tcp|udp ...\n");
        return 2;
    }

    QByteArray file;
    for (int i = 1; i <= records; ++i)
        file += QByteArray::number(i) + ";Product " + QByteArray::number(i) + ";1.20;3;590000000" +
                QByteArray::number(1000 + i) + ";Shelf 7\n";
    TGridTable table;
    table.Assign(ParseDatabase(file));

    QObject window; // stands in for the main window that WM_LINKSTATE goes to
    MainWindowHandle = &window;

    // The window's panel, open and following the newest row.
    std::unique_ptr<TCommLog> log;
    std::unique_ptr<QMainWindow> shown;
    if (panel) {
        log = std::make_unique<TCommLog>();
        shown = std::make_unique<QMainWindow>();
        shown->resize(1000, 700);
        auto* dock = new TCommLogPanel(*log, shown.get());
        shown->show();
        dock->show();
        // The first paint loads the fonts: not the upload's to pay.
        QCoreApplication::processEvents();
        shown->repaint();
    }

    int status = 0;
    for (const QString& link : links) {
        const Result r = Upload(link, sim, table, log.get());
        if (!r.ok) {
            status = 1;
            continue;
        }
        // After the start command every command waits for one reply and one 100 ms gap.
        const double perCommand = Ms(r.total) / r.commands;
        std::printf("upload %s%s: %.2f ms over the gap per record, median %.2f ms (%d records, CPU %.3f ms a record),"
                    " min gap %.3f ms%s (on average: reply after %.2f ms, next command %.2f ms after the reply)\n",
                    qPrintable(link), panel ? " with the log panel" : "", perCommand - 100.0,
                    Median(r.intervalsMs) - 100.0, records,
                    r.cpuMs / r.commands, r.minGap ? Ms(*r.minGap) : 0.0,
                    r.minGap && *r.minGap < std::chrono::milliseconds(100) ? " UNDER 100 ms" : "",
                    r.replyCount ? Ms(r.replies) / r.replyCount : 0.0, r.gapCount ? Ms(r.gaps) / r.gapCount : 0.0);
        std::fflush(stdout);
    }
    MainWindowHandle = nullptr;
    return status;
}
