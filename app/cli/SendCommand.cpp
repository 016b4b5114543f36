#include "SendCommand.h"

#include "CPort.h"
#include "SerialDeviceList.h"
#include "CommLog.h"
#include "CommLogFeed.h"
#include "DatabaseCheck.h"
#include "DatabaseFile.h"
#include "Global.h"
#include "ProcessData.h"
#include "ScaleFleet.h"
#include "ScaleJob.h"
#include "ScaleList.h"
#include "ScaleReport.h"
#include "UdpPort.h"

#include <QAbstractEventDispatcher>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char Description[] =
    "Usage: scaledb [FILE]\n"
    "       scaledb send FILE --to LINK [--to LINK ...] [options]\n"
    "       scaledb send FILE --to-file LINKS [options]\n"
    "       scaledb send FILE --check [--to LINK ...]\n"
    "       scaledb ports\n"
    "\n"
    "Without arguments, or with a FILE, opens the window.\n"
    "send uploads FILE to each scale named by --to or listed in --to-file, all at once\n"
    "(or --jobs at a time), and prints the outcome of each.\n"
    "LINK is tcp://HOST:PORT, udp://ADDRESS:PORT or serial:DEVICE[@BAUD].\n"
    "FILE is checked first; what the check finds is printed as warnings on standard error.\n"
    "LINKS may be a pipe; - reads the links from standard input.\n"
    "SIGINT, SIGTERM or SIGHUP ends every upload where it stands, reports each scale\n"
    "\"interrupted at record K of R\" and exits 130 (SIGINT) or 143; a second SIGINT ends at once.\n"
    "Exit status: 0 every scale accepted the database, 1 one did not, or the report or\n"
    "log could not be written whole, 2 bad arguments.\n"
    "With --check: 0 nothing found, 1 something found, 2 bad arguments.\n"
    "ports lists the serial devices, one a line, tab-separated: kernel name, stable\n"
    "/dev/serial/by-id path, USB product, serial number (empty when unknown).";

// Descriptors one upload may hold at once (a socket, or a device and the
// event thread's eventfd), and what the program needs besides.
constexpr rlim_t kFilesPerUpload = 3;
constexpr rlim_t kFilesReserved = 64;

void Err(const QString& text)
{
    std::fprintf(stderr, "scaledb: %s\n", text.toLocal8Bit().constData());
}

struct TSendOptions {
    QString File;
    std::vector<TTarget> Targets;
    int Position = 0;        // of the database kind among the device type's kinds
    int TimeoutSeconds = 10;
    int Retries = 5;
    int Jobs = 0;            // at most this many uploads at once; 0: all
    bool Json = false;
    quint16 UdpPort = 1001;
    bool CheckOnly = false;  // --check: no upload
    bool Strict = false;     // --strict: no upload when the check finds something
    QString LogPath;         // --log: every entry of the communication log, as it comes
};

QString CannotRead(const QString& path, int error)
{
    return QStringLiteral("cannot read %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(error)));
}

// A links file is read whole, up to this: a few hundred thousand links.
constexpr qsizetype kLinksFileLimit = qsizetype(16) << 20;

// The bytes of a links file that may be a pipe ("-" is standard input, or a
// FIFO, or <(...)): read to its end, waiting only while a writer holds it
// open. A FIFO that no writer has opened reads as empty at once.
bool ReadLinkBytes(const QString& path, QByteArray& bytes, QString& error)
{
    const bool standardInput = path == QLatin1String("-");
    const int fd = standardInput ? STDIN_FILENO : ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = CannotRead(path, errno);
        return false;
    }
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0 && bytes.size() + n > kLinksFileLimit) {
            error = QStringLiteral("%1 holds over 16 MiB: not a list of links").arg(path);
            break;
        }
        if (n > 0) {
            bytes.append(buf, n);
        } else if (n == 0) {
            break;
        } else if (errno == EAGAIN) {
            pollfd p{fd, POLLIN, 0};
            ::poll(&p, 1, -1);  // a writer is connected: its data or its hang-up comes
        } else if (errno != EINTR) {
            error = CannotRead(path, errno);
            break;
        }
    }
    if (!standardInput)
        ::close(fd);
    return error.isEmpty();
}

// One link a line, a name may follow it; '#' starts a comment; blank lines are skipped.
bool ReadLinkFile(const QString& path, std::vector<TTarget>& targets, QString& error)
{
    QByteArray bytes;
    TScaleList list;
    if (!ReadLinkBytes(path, bytes, error) || !ParseScaleList(bytes, path, list, error))
        return false;
    for (TScaleListEntry& e : list.Entries)
        targets.push_back(std::move(e.Target));
    return true;
}

QString CannotWrite(const QString& path, int error)
{
    return QStringLiteral("cannot write %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(error)));
}

// Opens --log for writing without waiting on it: a FIFO, socket or device
// is refused, as it could block the run or never take the entries.
bool OpenLog(const QString& path, QFile& file, QString& error)
{
    const QByteArray name = QFile::encodeName(path);
    const QString notRegular = QStringLiteral("%1 is not a regular file").arg(path);
    struct stat st {};
    if (::stat(name.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        error = notRegular;
        return false;
    }
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        error = CannotWrite(path, errno);
        return false;
    }
    // Checked again on what was opened: the path may have changed meanwhile.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        error = notRegular;
    else if (::ftruncate(fd, 0) != 0)
        error = CannotWrite(path, errno);
    else if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle))
        error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    if (error.isEmpty())
        return true;
    ::close(fd);
    return false;
}

bool ReadNumber(const QCommandLineParser& parser, const QString& name, int low, int high, int& value)
{
    bool ok = false;
    value = parser.value(name).toInt(&ok);
    return ok && value >= low && value <= high;
}

// Reads `send`'s arguments after the parser took them apart; false with the
// text to print when they make no upload.
bool ReadSendOptions(const QCommandLineParser& parser, TSendOptions& o, QString& error)
{
    const QStringList files = parser.positionalArguments().mid(1);
    if (files.size() > 1) {
        error = QStringLiteral("unexpected argument %1 (see --help)").arg(files.at(1));
        return false;
    }
    o.File = files.value(0);
    for (const QString& link : parser.values(QStringLiteral("to"))) {
        TTarget t;
        if (!ParseLink(link, t)) {
            error = QStringLiteral("bad link %1: use tcp://HOST:PORT, udp://ADDRESS:PORT (four numbers 0-255) "
                                   "or serial:DEVICE[@BAUD]").arg(link);
            return false;
        }
        o.Targets.push_back(t);
    }
    for (const QString& path : parser.values(QStringLiteral("to-file")))
        if (!ReadLinkFile(path, o.Targets, error))
            return false;
    // UDP replies are told apart by their sender's address alone.
    std::map<std::uint32_t, QString> udpScales;
    for (const TTarget& t : o.Targets) {
        std::uint32_t address = 0;
        if (t.Protocol != epUDP || t.Kind != ckEthernet || !ParseDottedDecimal(t.Host, address))
            continue;
        if (const auto seen = udpScales.find(address); seen != udpScales.end()) {
            error = QStringLiteral("%1 and %2 are one address over UDP: its replies could not be told apart")
                        .arg(seen->second, t.Name);
            return false;
        }
        udpScales.emplace(address, t.Name);
    }
    o.CheckOnly = parser.isSet(QStringLiteral("check"));
    o.Strict = parser.isSet(QStringLiteral("strict"));
    if (o.CheckOnly && o.File.isEmpty()) {
        error = QStringLiteral("--check needs a FILE (see --help)");
        return false;
    }
    if (o.File.isEmpty() || (o.Targets.empty() && !o.CheckOnly)) {
        error = QStringLiteral("send needs a FILE and at least one --to LINK or --to-file LINKS (see --help)");
        return false;
    }
    if (!ReadNumber(parser, QStringLiteral("timeout"), 1, 86400, o.TimeoutSeconds)) {
        error = QStringLiteral("--timeout needs a number of seconds");
        return false;
    }
    if (!ReadNumber(parser, QStringLiteral("retries"), 1, 1000000, o.Retries)) {
        error = QStringLiteral("--retries needs a number from 1");
        return false;
    }
    if (parser.isSet(QStringLiteral("jobs")) && !ReadNumber(parser, QStringLiteral("jobs"), 1, 1000000, o.Jobs)) {
        error = QStringLiteral("--jobs needs a number from 1");
        return false;
    }
    int udpPort = 0;
    if (!ReadNumber(parser, QStringLiteral("udp-port"), 0, 65535, udpPort)) {
        error = QStringLiteral("--udp-port needs a port number (0: any)");
        return false;
    }
    o.UdpPort = static_cast<quint16>(udpPort);
    const QString report = parser.value(QStringLiteral("report"));
    if (report != QLatin1String("text") && report != QLatin1String("json")) {
        error = QStringLiteral("--report is text or json");
        return false;
    }
    o.Json = report == QLatin1String("json");
    o.LogPath = parser.value(QStringLiteral("log"));

    // The kinds each device type offers, by position: the start command follows the position.
    const QString device = parser.value(QStringLiteral("device"));
    QStringList kinds;
    if (device == QLatin1String("standard"))
        kinds = {QStringLiteral("product"), QStringLiteral("user")};
    else if (device == QLatin1String("qd58"))
        kinds = {QStringLiteral("label"), QStringLiteral("user"), QStringLiteral("status")};
    else {
        error = QStringLiteral("--device is standard or qd58");
        return false;
    }
    const QString kind = parser.value(QStringLiteral("kind"));
    o.Position = kind.isEmpty() ? 0 : static_cast<int>(kinds.indexOf(kind));
    if (o.Position < 0) {
        error = QStringLiteral("--kind %1 is not offered by device %2 (%3)").arg(kind, device, kinds.join(QStringLiteral(", ")));
        return false;
    }
    return true;
}

// Raises the open-file limit as far as it goes; returns how many uploads fit.
std::size_t UploadsThatFit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return SIZE_MAX;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    if (limit.rlim_cur == RLIM_INFINITY)
        return SIZE_MAX;
    return limit.rlim_cur > kFilesReserved + kFilesPerUpload ? (limit.rlim_cur - kFilesReserved) / kFilesPerUpload : 1;
}

// Progress on standard error, a constant cost per event: on a terminal one
// summary bar and a line per finished scale; otherwise a line per event.
class TProgress {
public:
    TProgress(std::size_t total, bool terminal) : total_(total), terminal_(terminal) {}

    void Event(const TScaleJob& job, TScaleJob::TEvent event)
    {
        QString line;
        switch (event) {
        case TScaleJob::evConnected:
            line = QStringLiteral("connected");
            break;
        case TScaleJob::evPercent:
            line = QStringLiteral("%1 %").arg(job.Percent / 25 * 25);
            break;
        case TScaleJob::evFinished:
            ++done_;
            failed_ += job.State != TJobState::Accepted;
            line = job.State == TJobState::Accepted      ? QStringLiteral("accepted")
                 : job.State == TJobState::Interrupted ? job.Cause
                                                       : QStringLiteral("failed: ") + job.Cause;
            break;
        }
        if (!terminal_) {
            std::fprintf(stderr, "%s: %s\n", job.Target.Name.toLocal8Bit().constData(), line.toLocal8Bit().constData());
            return;
        }
        if (event == TScaleJob::evFinished)
            std::fprintf(stderr, "\r\033[K%s: %s\n", job.Target.Name.toLocal8Bit().constData(), line.toLocal8Bit().constData());
        const std::size_t filled = total_ ? done_ * 20 / total_ : 20;
        std::fprintf(stderr, "\r\033[K[%s%s] %zu of %zu scales done, %zu failed", std::string(filled, '#').c_str(),
                     std::string(20 - filled, ' ').c_str(), done_, total_, failed_);
        std::fflush(stderr);
    }

private:
    std::size_t total_;
    bool terminal_;
    std::size_t done_ = 0;
    std::size_t failed_ = 0;
};

// The report on standard output; false, with errno, when it could not all be written.
bool PrintReport(const std::vector<TTarget>& targets, const std::vector<TScaleResult>& results, bool json)
{
    if (json) {
        std::fputs(ReportJson(targets, results).constData(), stdout);
    } else {
        std::printf("%-40s %s\n", "scale", "outcome");
        for (std::size_t i = 0; i < results.size(); ++i)
            std::printf("%-40s %s\n", targets[i].Name.toLocal8Bit().constData(),
                        results[i].State == TJobState::Accepted ? "accepted" : results[i].Cause.toLocal8Bit().constData());
    }
    return std::fflush(stdout) == 0 && !std::ferror(stdout);
}

QString Findings(std::size_t n)
{
    return n == 0 ? QStringLiteral("nothing found") : n == 1 ? QStringLiteral("1 finding") : QStringLiteral("%1 findings").arg(n);
}

// Writes the report, makes sure the log is all written, and gives the exit
// status: 130 or 143 after a signal, 1 when something could not be written
// or a scale did not accept the database.
int Conclude(const TSendOptions& o, const std::vector<TScaleResult>& results, int signal, QFile* logFile)
{
    int status = std::any_of(results.begin(), results.end(), [](const TScaleResult& r) { return r.State != TJobState::Accepted; });
    if (!PrintReport(o.Targets, results, o.Json)) {
        Err(QStringLiteral("cannot write the report: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
        status = 1;
    }
    if (logFile && (!logFile->flush() || logFile->error() != QFileDevice::NoError)) {
        Err(QStringLiteral("cannot write %1: %2").arg(o.LogPath, logFile->errorString()));
        status = 1;
    }
    if (signal)
        return signal == SIGINT ? 130 : 143;
    return status;
}

int SendToScales(const TSendOptions& o, const TGridTable& table);

// Loads and checks the database, then uploads it to every scale.
int RunSend(const TSendOptions& o)
{
    TGridTable table;
    try {
        LoadDatabaseFile(o.File, table);
    } catch (const std::exception& e) {
        Err(QString::fromLocal8Bit(e.what()));
        return 2;
    }

    // A record too long for a UDP command matters only where one goes over UDP.
    const bool udpTarget = std::any_of(o.Targets.begin(), o.Targets.end(),
                                       [](const TTarget& t) { return t.Kind == ckEthernet && t.Protocol == epUDP; });
    const std::vector<TFinding> findings = CheckDatabase(table, udpTarget);
    for (const TFinding& f : findings)
        Err(QStringLiteral("warning: ") + f.Text());
    if (o.CheckOnly) {
        std::printf("%s: %s\n", o.File.toLocal8Bit().constData(), Findings(findings.size()).toLocal8Bit().constData());
        return findings.empty() ? 0 : 1;
    }
    if (o.Strict && !findings.empty()) {
        Err(QStringLiteral("not sent: %1 (--strict)").arg(Findings(findings.size())));
        return 1;
    }
    return SendToScales(o, table);
}

// The upload to every scale, at most o.Jobs at once, and the outcome of each.
int SendToScales(const TSendOptions& o, const TGridTable& table)
{
    // Each entry goes to the file as it comes, through the file's buffer;
    // written out when a scale finishes and at the end.
    TCommLog log;
    QFile logFile;
    if (!o.LogPath.isEmpty()) {
        QString error;
        if (!OpenLog(o.LogPath, logFile, error)) {
            Err(error);
            return 2;
        }
        log.SetDecoding(table.Utf8() ? TCommLog::ldUtf8 : TCommLog::ldWindows1250);
        log.OnAppend = [&](const TCommLog::TEntry& e) { logFile.write((log.Line(e) + QLatin1Char('\n')).toUtf8()); };
    }
    TCommLog* logged = o.LogPath.isEmpty() ? nullptr : &log;

    const std::size_t fit = UploadsThatFit();
    std::size_t jobsAtOnce = o.Jobs > 0 ? static_cast<std::size_t>(o.Jobs) : o.Targets.size();
    if (jobsAtOnce > fit) {
        jobsAtOnce = fit;
        Err(QStringLiteral("the open-file limit allows %1 uploads at once: running them --jobs %1").arg(fit));
    }

    // One local port for every UDP scale, as each answers to it; the
    // endpoint routes their replies by the sender's address.
    const auto udp = std::make_shared<TUdpPort>(o.UdpPort);
    if (logged) {
        const int endpoint = log.LinkId(QStringLiteral("udp://0.0.0.0:%1").arg(o.UdpPort));
        udp->OnIgnored = [&log, endpoint](std::uint32_t from, std::uint64_t count) {
            LogIgnoredDatagrams(log, endpoint, from, count);
        };
    }
    TDeadlines deadlines(std::chrono::seconds(o.TimeoutSeconds));
    TDeadlines gaps(std::chrono::milliseconds(TUpload::GapMs));
    TFleet fleet(o.Targets, [&](const TTarget& t) {
        return std::make_unique<TScaleJob>(t, table, o.Position, deadlines, gaps, o.Retries, udp, logged);
    }, jobsAtOnce, table.RowCount());

    const bool terminal = ::isatty(STDERR_FILENO);
    TProgress progress(o.Targets.size(), terminal);
    if (!terminal) {
        // A line per scale event, written out whenever the loop goes to
        // sleep: one write for many lines, however many scales.
        std::setvbuf(stderr, nullptr, _IOFBF, 1 << 16);
        QObject::connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock,
                         [] { std::fflush(stderr); });
    }
    fleet.OnEvent = [&](TScaleJob& job, TScaleJob::TEvent event) {
        progress.Event(job, event);
        if (event == TScaleJob::evFinished && logged)
            logFile.flush();
    };
    const int signal = fleet.Run();
    if (terminal)
        std::fputs("\n", stderr);
    return Conclude(o, fleet.Results, signal, logged ? &logFile : nullptr);
}

// One device a line, tab-separated, so that `cut -f2` gives the stable path
// to put after serial:.
int RunPorts()
{
    QList<TSerialDeviceInfo> devices;
    try {
        ListSerialDevices(devices, SerialDeviceFolder, SerialByIdFolder);
    } catch (const EComPort& e) {
        Err(QStringLiteral("cannot list serial devices in %1: %2")
                .arg(SerialDeviceFolder, QString::fromLocal8Bit(std::strerror(e.SystemErrorCode))));
        return 1;
    }
    if (devices.isEmpty())
        Err(QStringLiteral("no serial devices found"));
    for (const TSerialDeviceInfo& d : devices)
        std::printf("%s\n", QStringList{d.Kernel, d.StablePath, d.Product, d.SerialNumber}
                                .join(QLatin1Char('\t')).toLocal8Bit().constData());
    return 0;
}

} // namespace

bool IsCommandLineMode(const QStringList& args)
{
    if (args.size() < 2)
        return false;
    const QString& a = args.at(1);
    return a == QLatin1String("send") || a == QLatin1String("ports") || a == QLatin1String("--help") || a == QLatin1String("-h")
        || a == QLatin1String("--version");
}

int RunCommandLine(const QStringList& args)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(Description));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Prints the program's version."));
    parser.addOption(version);
    parser.addOptions({
        {QStringLiteral("to"), QStringLiteral("A scale to upload to; repeat for several."), QStringLiteral("LINK")},
        {QStringLiteral("device"), QStringLiteral("The device type: standard or qd58."), QStringLiteral("TYPE"), QStringLiteral("standard")},
        {QStringLiteral("kind"), QStringLiteral("The database kind: product or user (standard); label, user or status (qd58)."), QStringLiteral("KIND")},
        {QStringLiteral("timeout"), QStringLiteral("Ends an upload that gets no reply for SECONDS."), QStringLiteral("SECONDS"), QStringLiteral("10")},
        {QStringLiteral("udp-port"), QStringLiteral("The local UDP port every UDP scale answers to (0 takes any free port)."), QStringLiteral("N"), QStringLiteral("1001")},
        {QStringLiteral("to-file"), QStringLiteral("Scales to upload to, one LINK a line ('#' comments); - reads standard input."), QStringLiteral("LINKS")},
        {QStringLiteral("jobs"), QStringLiteral("At most N uploads at once (default: all)."), QStringLiteral("N")},
        {QStringLiteral("report"), QStringLiteral("The outcome as text or json (one object per scale)."), QStringLiteral("FORMAT"), QStringLiteral("text")},
        {QStringLiteral("log"), QStringLiteral("Writes every command, reply and link event to FILE, one a line."), QStringLiteral("FILE")},
        {QStringLiteral("retries"), QStringLiteral("Ends a scale's upload when it answers one command wrongly N times in a row."), QStringLiteral("N"), QStringLiteral("5")},
        {QStringLiteral("check"), QStringLiteral("Only checks FILE: exit 0 when nothing is found, 1 otherwise; no link needed (a udp:// one adds the UDP command length).")},
        {QStringLiteral("strict"), QStringLiteral("Sends nothing when the check finds something (exit 1).")},
    });
    parser.addPositionalArgument(QStringLiteral("send"), QStringLiteral("Uploads FILE to the scales."), QStringLiteral("send FILE"));
    if (!parser.parse(args)) {
        Err(parser.errorText() + QStringLiteral(" (see --help)"));
        return 2;
    }
    if (parser.isSet(help)) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("scaledb 1.03\n");
        return 0;
    }
    if (parser.positionalArguments().value(0) == QLatin1String("ports")) {
        if (parser.positionalArguments().size() > 1) {
            Err(QStringLiteral("unexpected argument %1 (see --help)").arg(parser.positionalArguments().at(1)));
            return 2;
        }
        return RunPorts();
    }
    if (parser.positionalArguments().value(0) != QLatin1String("send")) {
        Err(QStringLiteral("unknown command %1 (see --help)").arg(parser.positionalArguments().value(0)));
        return 2;
    }
    TSendOptions options;
    QString error;
    if (!ReadSendOptions(parser, options, error)) {
        Err(error);
        return 2;
    }
    return RunSend(options);
}
