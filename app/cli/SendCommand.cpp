#include "SendCommand.h"

#include "CPort.h"
#include "SerialDeviceList.h"
#include "CommLog.h"
#include "CommLogFeed.h"
#include "DatabaseCheck.h"
#include "DatabaseFile.h"
#include "Global.h"
#include "ProcessData.h"
#include "QuitSignals.h"
#include "ScaleFleet.h"
#include "Progress.h"
#include "SendOptions.h"
#include "SleepInhibitor.h"
#include "ScaleReport.h"
#include "StreamWrite.h"
#include "UdpPort.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void Err(const QString& text)
{
    std::fprintf(stderr, "scaledb: %s\n", text.toLocal8Bit().constData());
}

QString CannotWrite(const QString& path, int error)
{
    return QCoreApplication::translate("SendCommand", "cannot write %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(error)));
}

// Opens --log for writing without waiting on it: a FIFO, socket or device
// is refused, as it could block the run or never take the entries.
bool OpenLog(const QString& path, QFile& file, QString& error)
{
    const QByteArray name = QFile::encodeName(path);
    const QString notRegular = QCoreApplication::translate("SendCommand", "%1 is not a regular file").arg(path);
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
        error = QCoreApplication::translate("SendCommand", "cannot write %1: %2").arg(path, file.errorString());
    if (error.isEmpty())
        return true;
    ::close(fd);
    return false;
}

// "accepted", or the cause; and how the link's losses were got over.
QString OutcomeText(const TScaleResult& r)
{
    QString text = r.State == TJobState::Accepted ? OutcomeWord(r) : r.Cause;
    if (r.Reconnects > 0)
        text += QStringLiteral(" after %1 reconnect%2").arg(r.Reconnects).arg(r.Reconnects == 1 ? "" : "s");
    if (r.StartedOver)
        text += QStringLiteral(", started over after the connection came back");
    return text;
}

// The report on standard output; false, with errno, when it could not all
// be written (ETIME: a reader that took nothing for a second after a quit signal).
bool PrintReport(const std::vector<TTarget>& targets, const std::vector<TScaleResult>& results, bool json)
{
    QByteArray report;
    if (json) {
        report = ReportJson(targets, results);
    } else {
        const auto row = [](const QString& scale, const QString& outcome) {
            return QStringLiteral("%1 %2\n").arg(scale.leftJustified(40), outcome).toLocal8Bit();
        };
        report = row(QStringLiteral("scale"), QStringLiteral("outcome"));
        for (std::size_t i = 0; i < results.size(); ++i)
            report += row(targets[i].Name, OutcomeText(results[i]));
    }
    std::fflush(stdout);  // nothing of stdio's may follow the report
    return WriteAllOut(STDOUT_FILENO, report);
}

// Every scale failed with one cause before any was tried.
std::vector<TScaleResult> AllFailed(std::size_t scales, const QString& cause)
{
    return std::vector<TScaleResult>(scales, TScaleResult{TJobState::Failed, cause, 0, 0.0, 0, false});
}

QString Findings(std::size_t n)
{
    return n == 0 ? QCoreApplication::translate("SendCommand", "nothing found") : n == 1 ? QCoreApplication::translate("SendCommand", "1 finding") : QCoreApplication::translate("SendCommand", "%1 findings").arg(n);
}

// Writes the report, makes sure the log is all written, and gives the exit
// status: 130 or 143 after a signal, 1 when something could not be written
// or a scale did not accept the database.
int Conclude(const TSendOptions& o, const std::vector<TScaleResult>& results, int signal, QFile* logFile)
{
    int status = std::any_of(results.begin(), results.end(), [](const TScaleResult& r) { return r.State != TJobState::Accepted; });
    if (!PrintReport(o.Targets, results, o.Json)) {
        const QString why = errno == ETIME ? QCoreApplication::translate("SendCommand", "standard output took nothing for %1 s after the signal").arg(kQuitGraceMs / 1000)
                                           : QString::fromLocal8Bit(std::strerror(errno));
        // Standard error may be as stuck as standard output: said only if it takes it at once.
        const QByteArray line = QCoreApplication::translate("SendCommand", "scaledb: cannot write the report: %1\n").arg(why).toLocal8Bit();
        WriteNow(STDERR_FILENO, line.constData(), static_cast<std::size_t>(line.size()));
        status = 1;
    }
    if (logFile && (!logFile->flush() || logFile->error() != QFileDevice::NoError)) {
        Err(QCoreApplication::translate("SendCommand", "cannot write %1: %2").arg(o.LogPath, logFile->errorString()));
        status = 1;
    }
    // A signal that came only while the report was written ends the run as well.
    if (!signal)
        signal = QuitSignalCaught();
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
    } catch (const std::bad_alloc&) {
        Err(QCoreApplication::translate("SendCommand", "out of memory loading %1").arg(o.File));
        return o.CheckOnly ? 1 : Conclude(o, AllFailed(o.Targets.size(), QStringLiteral("out of memory loading the database")), 0, nullptr);
    } catch (const std::exception& e) {
        Err(QString::fromLocal8Bit(e.what()));
        return 2;
    }

    // A record too long for a UDP command matters only where one goes over UDP.
    const bool udpTarget = std::any_of(o.Targets.begin(), o.Targets.end(),
                                       [](const TTarget& t) { return t.Kind == ckEthernet && t.Protocol == epUDP; });
    const std::vector<TFinding> findings = CheckDatabase(table, udpTarget);
    for (const TFinding& f : findings)
        Err(QCoreApplication::translate("SendCommand", "warning: ") + f.Text());
    if (o.CheckOnly) {
        std::printf("%s: %s\n", o.File.toLocal8Bit().constData(), Findings(findings.size()).toLocal8Bit().constData());
        return findings.empty() ? 0 : 1;
    }
    if (o.Strict && !findings.empty()) {
        Err(QCoreApplication::translate("SendCommand", "not sent: %1 (--strict)").arg(Findings(findings.size())));
        return 1;
    }
    // A record no scale could take is never sent: every scale fails with it.
    const auto tooLarge = std::find_if(findings.begin(), findings.end(), [](const TFinding& f) { return f.Kind == TFinding::fkTooLarge; });
    if (tooLarge != findings.end()) {
        Err(QCoreApplication::translate("SendCommand", "not sent: ") + TooLargeCause(*tooLarge));
        return Conclude(o, AllFailed(o.Targets.size(), TooLargeCause(*tooLarge)), 0, nullptr);
    }
    return SendToScales(o, table);
}

// Each entry goes to the file as it comes, through the file's buffer;
// written out when a scale finishes and at the end. False when the file
// cannot be opened; no --log: nothing to open.
bool OpenRunLog(const TSendOptions& o, const TGridTable& table, TCommLog& log, QFile& logFile)
{
    if (o.LogPath.isEmpty())
        return true;
    QString error;
    if (!OpenLog(o.LogPath, logFile, error)) {
        Err(error);
        return false;
    }
    log.SetDecoding(table.Utf8() ? TCommLog::ldUtf8 : TCommLog::ldWindows1250);
    log.OnAppend = [&log, &logFile](const TCommLog::TEntry& e) { logFile.write((log.Line(e) + QLatin1Char('\n')).toUtf8()); };
    return true;
}

// --jobs, or every scale at once, as far as the open-file limit allows.
std::size_t JobsAtOnce(const TSendOptions& o)
{
    const std::size_t fit = TFleet::UploadsThatFit(o.Targets);
    const std::size_t wanted = o.Jobs > 0 ? static_cast<std::size_t>(o.Jobs) : o.Targets.size();
    if (wanted <= fit)
        return wanted;
    Err(QCoreApplication::translate("SendCommand", "the open-file limit allows %1 uploads at once: running them --jobs %1").arg(fit));
    return fit;
}

// Every UDP scale answers to the fleet's one local port; the endpoint routes
// their replies by the sender's address, and the log tells what it dropped.
void LogDroppedDatagrams(TUdpPort& udp, quint16 port, TCommLog& log)
{
    const int endpoint = log.LinkId(QStringLiteral("udp://0.0.0.0:%1").arg(port));
    udp.OnIgnored = [&log, endpoint](std::uint32_t from, std::uint64_t count) {
        LogIgnoredDatagrams(log, endpoint, from, count);
    };
}

// Runs the event loop until every upload ended; a quit signal interrupts
// them all. Returns that signal, or 0.
int RunFleet(TFleet& fleet)
{
    int signal = 0;
    QObject scope;  // the signals reach this run only while it runs
    OnQuitSignal([&](int s) {
        if (signal)
            return;
        signal = s;
        fleet.Interrupt();
    }, &scope);
    fleet.OnEnded = [] { QCoreApplication::exit(0); };
    try {
        fleet.Start();
        if (fleet.Running() > 0)
            QCoreApplication::exec();
    } catch (const std::bad_alloc&) {
        fleet.Abandon(QStringLiteral("out of memory"));
    }
    fleet.ReleaseEnded();  // the links close before the report
    return signal;
}

TFleetPolicy PolicyOf(const TSendOptions& o)
{
    TFleetPolicy policy;
    policy.Position = o.Position;
    policy.Kind = o.Kind;
    policy.Retries = o.Retries;
    policy.Timeout = std::chrono::seconds(o.TimeoutSeconds);
    policy.ConnectTimeoutMs = o.ConnectTimeoutSeconds * 1000;
    policy.ReconnectSeconds = o.ReconnectSeconds;
    policy.UdpPort = o.UdpPort;
    policy.AtOnce = JobsAtOnce(o);
    // Names are looked up as their scales start, each within the connect timeout.
    policy.LookUpNames = true;
    return policy;
}

// The upload to every scale, at most o.Jobs at once, and the outcome of each.
int SendToScales(const TSendOptions& o, const TGridTable& table)
{
    TCommLog log;
    QFile logFile;
    if (!OpenRunLog(o, table, log, logFile))
        return 2;
    TCommLog* logged = o.LogPath.isEmpty() ? nullptr : &log;
    TFleet fleet(o.Targets, table, PolicyOf(o), logged);
    if (logged)
        LogDroppedDatagrams(fleet.Udp(), o.UdpPort, log);

    TProgress progress(o.Targets, table.RowCount(), TProgress::ModeFor(o.Quiet, o.Progress, o.Targets.size()));
    // Held from before the first upload to after the last; the answer comes while they run.
    TSleepInhibitor sleepLock;
    sleepLock.Enabled = o.Inhibit;
    if (logged)
        sleepLock.Tell = [&log, link = log.LinkId(QStringLiteral("desktop"))](const QString& text) { log.Event(link, text); };
    sleepLock.Hold(o.Targets.size() == 1 ? QCoreApplication::translate("SendCommand", "Sending a database to a scale")
                                         : QCoreApplication::translate("SendCommand", "Sending a database to %1 scales").arg(o.Targets.size()));
    fleet.OnEvent = [&](std::size_t, TScaleJob& job, TScaleJob::TEvent event) {
        progress.Event(job, event);
        if (event == TScaleJob::evFinished && logged)
            logFile.flush();
    };
    const int signal = RunFleet(fleet);
    sleepLock.Release();
    progress.Finish();
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
        Err(QCoreApplication::translate("SendCommand", "cannot list serial devices in %1: %2")
                .arg(SerialDeviceFolder, QString::fromLocal8Bit(std::strerror(e.SystemErrorCode))));
        return 1;
    }
    if (devices.isEmpty())
        Err(QCoreApplication::translate("SendCommand", "no serial devices found"));
    for (const TSerialDeviceInfo& d : devices)
        std::printf("%s\n", QStringList{d.Kernel, d.StablePath, d.Product, d.SerialNumber}
                                .join(QLatin1Char('\t')).toLocal8Bit().constData());
    return 0;
}

} // namespace

int RunCommandLine(const QStringList& args)
{
    QCommandLineParser parser;
    AddOptions(parser);
    if (!parser.parse(args)) {
        Err(parser.errorText() + QCoreApplication::translate("SendCommand", " (see --help)"));
        return 2;
    }
    const QString command = parser.positionalArguments().value(0);
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(HelpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("scaledb %s\n", SCALEDB_VERSION);
        return 0;
    }
    if (command == QLatin1String("ports") && parser.positionalArguments().size() > 1) {
        Err(QCoreApplication::translate("SendCommand", "unexpected argument %1 (see --help)").arg(parser.positionalArguments().at(1)));
        return 2;
    }
    if (command == QLatin1String("ports"))
        return RunPorts();
    if (command != QLatin1String("send")) {
        Err(QCoreApplication::translate("SendCommand", "unknown command %1 (see --help)").arg(command));
        return 2;
    }
    TSendOptions options;
    QString error;
    if (!ReadSendOptions(parser, options, error)) {
        Err(error);
        return 2;
    }
    // What could not be caught nearer the allocation that failed still ends
    // with a message and a status, never an abort.
    try {
        return RunSend(options);
    } catch (const std::bad_alloc&) {
        Err(QCoreApplication::translate("SendCommand", "out of memory"));
        return 1;
    }
}
