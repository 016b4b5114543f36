#include "SendCommand.h"

#include "CPort.h"
#include "DatabaseFile.h"
#include "EthConnection.h"
#include "Global.h"
#include "LinkSender.h"
#include "PostMessage.h"
#include "ProcessData.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <map>
#include <memory>
#include <unistd.h>

namespace {

const char Description[] =
    "Usage: scaledb [FILE]\n"
    "       scaledb send FILE --to LINK [--to LINK ...] [options]\n"
    "\n"
    "Without arguments, or with a FILE, opens the window.\n"
    "send uploads FILE to each scale named by --to, all at once, and prints the outcome.\n"
    "LINK is tcp://HOST:PORT, udp://ADDRESS:PORT or serial:DEVICE[@BAUD].\n"
    "Exit status: 0 every scale accepted the database, 1 one did not, 2 bad arguments.";

void Err(const QString& text)
{
    std::fprintf(stderr, "scaledb: %s\n", text.toLocal8Bit().constData());
}

// A scale named by --to, in the window's own encoding of the link.
struct TTarget {
    QString Name;                    // as given after --to
    std::int8_t Kind = ckSerial;     // a TConnectionKind
    std::int8_t Protocol = epTCP;    // a TEthProtocol, for ckEthernet
    QString Host;                    // or the device
    int Port = 0;                    // or the baud rate (0: keep 9600)
};

struct TSendOptions {
    QString File;
    std::vector<TTarget> Targets;
    int Position = 0;        // of the database kind among the device type's kinds
    int TimeoutSeconds = 10;
    quint16 UdpPort = 1001;
};

QString WithCause(const QString& outcome, const QString& cause)
{
    return cause.isEmpty() ? outcome : outcome + QStringLiteral(": ") + cause;
}

bool ParseLink(const QString& text, TTarget& t)
{
    t.Name = text;
    if (text.startsWith(QLatin1String("serial:"))) {
        QString device = text.mid(7);
        const qsizetype at = device.lastIndexOf('@');
        if (at >= 0) {
            bool ok = false;
            t.Port = device.mid(at + 1).toInt(&ok);
            if (!ok || t.Port <= 0)
                return false;
            device.truncate(at);
        }
        t.Kind = ckSerial;
        t.Host = device;
        return !device.isEmpty();
    }
    // Taken apart by hand: a URL parser reads "127.0.0.010" as octal and
    // "192.168.1" as 192.168.0.1, so the scale's address goes to the link as typed.
    t.Kind = ckEthernet;
    if (text.startsWith(QLatin1String("tcp://")))
        t.Protocol = epTCP;
    else if (text.startsWith(QLatin1String("udp://")))
        t.Protocol = epUDP;
    else
        return false;
    const QString rest = text.mid(6);
    const qsizetype colon = rest.lastIndexOf(':');
    if (colon <= 0)
        return false;
    t.Host = rest.left(colon);
    bool ok = false;
    t.Port = rest.mid(colon + 1).toInt(&ok);
    std::uint32_t address = 0;
    if (t.Protocol == epUDP && !ParseDottedDecimal(t.Host, address))
        return false;
    return ok && t.Port > 0 && t.Port <= 65535 && !t.Host.contains('/') && !t.Host.contains(':');
}

TBaudRate RateFor(int bps)
{
    for (int r = br110; r <= br256000; ++r)
        if (BaudRateToText(static_cast<TBaudRate>(r)) == QString::number(bps))
            return static_cast<TBaudRate>(r);
    return brCustom;
}

// One scale's upload: its own link, exchange and deadline.
class TScaleJob : public QObject {
public:
    TScaleJob(const TTarget& target, const TGridTable& table, int position, int timeoutSeconds,
              std::shared_ptr<TUdpPort> udp)
        : Target(target), udp_(std::move(udp)), table_(table), position_(position),
          upload_({[this](const QByteArray& c) { Send(c); },
                   [this] { return table_.RowCount(); },
                   [this](int row) { return table_.Record(row); },
                   [this] { return position_; },
                   [this](int p) { Percent = p; Changed(); },
                   [this](bool failed) { Finish(failed ? QStringLiteral("the scale did not accept the database")
                                                       : QString()); }})
    {
        deadline_.setSingleShot(true);
        deadline_.setInterval(timeoutSeconds * 1000);
        QObject::connect(&deadline_, &QTimer::timeout, this, [this] { Finish(QStringLiteral("no reply from the scale")); });
    }

    void Begin()
    {
        if (Target.Kind == ckSerial) {
            port_ = std::make_unique<TComPort>();
            port_->setObjectName(QStringLiteral("ComPort1"));
            port_->SetPort(Target.Host);
            if (Target.Port > 0) {
                port_->SetBaudRate(RateFor(Target.Port));
                port_->SetCustomBaudRate(Target.Port);
            }
            port_->OnRxChar = [this](TCustomComPort*, std::int32_t count) {
                QByteArray text;
                try {
                    port_->ReadText(text, count);
                } catch (...) {
                    return;
                }
                upload_.ProcessReply(text, text.size());
            };
            try {
                port_->OpenPort();
            } catch (const std::exception& e) {
                Finish(QString::fromLocal8Bit(e.what()));
                return;
            }
            sender_ = TLinkSender::Serial(*port_);
            Start();
        } else {
            const auto sink = [this](const QByteArray& text) { upload_.ProcessReply(text, text.size()); };
            eth_ = Target.Protocol == epUDP ? std::make_unique<CEthConnection>(sink, udp_)
                                            : std::make_unique<CEthConnection>(sink);
            sender_ = Target.Protocol == epUDP ? TLinkSender::Udp(*eth_, Target.Host, Target.Port)
                                               : TLinkSender::Tcp(*eth_);
            eth_->ToggleConnection(static_cast<std::uint8_t>(Target.Protocol), Target.Host, Target.Port);
            LinkChanged();
        }
        deadline_.start();
    }

    // Called for every WM_LINKSTATE: the link's own State tells whose it was.
    void LinkChanged()
    {
        if (!eth_ || !Outcome.isNull())
            return;
        if (eth_->State == lsConnected && !started_)
            Start();
        else if (eth_->State == lsDisconnected)
            Finish(WithCause(started_ ? QStringLiteral("the connection was lost") : QStringLiteral("cannot connect"),
                             eth_->LastCause));
    }

    TTarget Target;
    std::shared_ptr<TUdpPort> udp_;  // every UDP scale's one endpoint
    int Percent = 0;
    QString Outcome;  // null while running; empty when accepted
    std::function<void()> Changed = [] {};

private:
    void Start()
    {
        started_ = true;
        upload_.Start(position_);
    }

    void Send(const QByteArray& command)
    {
        deadline_.start();
        sender_.Send(command);
    }

    void Finish(const QString& outcome)
    {
        if (!Outcome.isNull())
            return;
        Outcome = outcome.isNull() ? QStringLiteral("") : outcome;
        deadline_.stop();
        upload_.Stop();
        Changed();
    }

    const TGridTable& table_;
    int position_;
    TUpload upload_;
    QTimer deadline_;
    bool started_ = false;
    std::unique_ptr<TComPort> port_;
    std::unique_ptr<CEthConnection> eth_;
    TLinkSender sender_;
};

// Receives the links' WM_LINKSTATE and passes it to every job.
class TLinkWatcher : public QObject {
public:
    std::function<void()> OnState;
    bool event(QEvent* e) override
    {
        if (e->type() == TWindowMessage::Type()) {
            OnState();
            return true;
        }
        return QObject::event(e);
    }
};

void ShowProgress(const std::vector<std::unique_ptr<TScaleJob>>& jobs, bool terminal)
{
    static QString last;
    QString line;
    for (const auto& j : jobs) {
        const QString state = j->Outcome.isNull() ? QStringLiteral("%1%").arg(j->Percent, 3)
                                                  : (j->Outcome.isEmpty() ? QStringLiteral("done") : QStringLiteral("failed"));
        if (terminal) {
            const int filled = j->Percent / 5;
            line += QStringLiteral("[%1%2] %3 %4  ").arg(QString(filled, '#'), QString(20 - filled, ' '), state, j->Target.Name);
        } else {
            line += QStringLiteral("%1 %2; ").arg(j->Target.Name, state);
        }
    }
    if (line == last)
        return;
    last = line;
    if (terminal)
        std::fprintf(stderr, "\r%s", line.toLocal8Bit().constData());
    else
        std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
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
    if (o.File.isEmpty() || o.Targets.empty()) {
        error = QStringLiteral("send needs a FILE and at least one --to LINK (see --help)");
        return false;
    }
    bool ok = false;
    o.TimeoutSeconds = parser.value(QStringLiteral("timeout")).toInt(&ok);
    if (!ok || o.TimeoutSeconds <= 0 || o.TimeoutSeconds > 86400) {
        error = QStringLiteral("--timeout needs a number of seconds");
        return false;
    }
    const int udpPort = parser.value(QStringLiteral("udp-port")).toInt(&ok);
    if (!ok || udpPort < 0 || udpPort > 65535) {
        error = QStringLiteral("--udp-port needs a port number (0: any)");
        return false;
    }
    o.UdpPort = static_cast<quint16>(udpPort);

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

// Uploads to every scale at once and prints the outcome of each.
int RunSend(const TSendOptions& o)
{
    TGridTable table;
    try {
        LoadDatabaseFile(o.File, table);
    } catch (const std::exception& e) {
        Err(QString::fromLocal8Bit(e.what()));
        return 2;
    }

    const bool terminal = ::isatty(STDERR_FILENO);
    TLinkWatcher watcher;
    MainWindowHandle = &watcher;
    // One local port for every UDP scale, as each answers to it; the
    // endpoint routes their replies by the sender's address.
    const auto udp = std::make_shared<TUdpPort>(o.UdpPort);
    std::vector<std::unique_ptr<TScaleJob>> jobs;
    for (const TTarget& t : o.Targets)
        jobs.push_back(std::make_unique<TScaleJob>(t, table, o.Position, o.TimeoutSeconds, udp));
    auto check = [&] {
        ShowProgress(jobs, terminal);
        for (const auto& j : jobs)
            if (j->Outcome.isNull())
                return;
        QCoreApplication::exit(0);
    };
    watcher.OnState = [&] {
        for (auto& j : jobs)
            j->LinkChanged();
    };
    for (auto& j : jobs) {
        j->Changed = [&] { QTimer::singleShot(0, QCoreApplication::instance(), check); };
        QTimer::singleShot(0, QCoreApplication::instance(), [&j] { j->Begin(); });
    }
    QCoreApplication::exec();
    if (terminal)
        std::fputs("\n", stderr);

    int failed = 0;
    std::printf("%-40s %s\n", "scale", "outcome");
    for (const auto& j : jobs) {
        std::printf("%-40s %s\n", j->Target.Name.toLocal8Bit().constData(),
                    j->Outcome.isEmpty() ? "accepted" : j->Outcome.toLocal8Bit().constData());
        failed += !j->Outcome.isEmpty();
    }
    jobs.clear();
    MainWindowHandle = nullptr;
    return failed ? 1 : 0;
}

} // namespace

bool IsCommandLineMode(const QStringList& args)
{
    if (args.size() < 2)
        return false;
    const QString& a = args.at(1);
    return a == QLatin1String("send") || a == QLatin1String("--help") || a == QLatin1String("-h")
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
        {QStringLiteral("udp-port"), QStringLiteral("The local UDP port (0 takes any free port)."), QStringLiteral("N"), QStringLiteral("1001")},
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
