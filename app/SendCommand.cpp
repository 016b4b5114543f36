#include "SendCommand.h"

#include "CPort.h"
#include "DatabaseFile.h"
#include "EthConnection.h"
#include "Global.h"
#include "PostMessage.h"
#include "ProcessData.h"

#include <QCoreApplication>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

const char Usage[] =
    "Usage: scaledb [FILE]\n"
    "       scaledb send FILE --to LINK [--to LINK ...] [--device standard|qd58]\n"
    "                    [--kind product|user|label|status] [--timeout SECONDS] [--udp-port N]\n"
    "\n"
    "Without arguments, or with a FILE, opens the window.\n"
    "send uploads FILE to each scale named by --to, all at once, and prints the outcome.\n"
    "LINK is tcp://HOST:PORT, udp://ADDRESS:PORT or serial:DEVICE[@BAUD].\n"
    "--timeout ends an upload that gets no reply for SECONDS (default 10).\n"
    "--udp-port sets the local UDP port (default 1001; 0 takes any free port).\n"
    "Exit status: 0 every scale accepted the database, 1 one did not, 2 bad arguments.\n";

void Err(const QString& text)
{
    std::fprintf(stderr, "scaledb: %s\n", text.toLocal8Bit().constData());
}

struct TTarget {
    QString Name;     // as given after --to
    int Kind = 0;     // 0 serial, 1 TCP, 2 UDP
    QString Host;     // or the device
    int Port = 0;     // or the baud rate (0: keep 9600)
};

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
        t.Kind = 0;
        t.Host = device;
        return !device.isEmpty();
    }
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || url.port() <= 0 || !url.path().isEmpty())
        return false;
    if (url.scheme() == QLatin1String("tcp"))
        t.Kind = 1;
    else if (url.scheme() == QLatin1String("udp"))
        t.Kind = 2;
    else
        return false;
    t.Host = url.host();
    t.Port = url.port();
    return true;
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
    TScaleJob(const TTarget& target, const TGridTable& table, int position, int timeoutSeconds, quint16 udpLocalPort)
        : Target(target), udpLocalPort_(udpLocalPort), table_(table), position_(position),
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
        if (Target.Kind == 0) {
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
            Start();
        } else {
            eth_ = std::make_unique<CEthConnection>([this](const QByteArray& text) { upload_.ProcessReply(text, text.size()); },
                                                    udpLocalPort_);
            eth_->ToggleConnection(Target.Kind == 2 ? 1 : 0, Target.Host, Target.Port);
            LinkChanged();
        }
        deadline_.start();
    }

    // Called for every WM_LINKSTATE: the link's own State tells whose it was.
    void LinkChanged()
    {
        if (!eth_ || !Outcome.isNull())
            return;
        if (eth_->State == 2 && !started_)
            Start();
        else if (eth_->State == 0)
            Finish(started_ ? QStringLiteral("the connection was lost") : QStringLiteral("cannot connect"));
    }

    TTarget Target;
    quint16 udpLocalPort_;
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
        if (port_) {
            try {
                port_->WriteText(command + "\r\n");
            } catch (...) {
            }
        } else if (Target.Kind == 2) {
            // The UDP link sends to the shared address: point it at this scale for this send.
            EthHost = Target.Host;
            EthPort = Target.Port;
            eth_->SendUdpText(command);
        } else {
            eth_->SendTcpText(command + "\r\n");
        }
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

} // namespace

bool IsCommandLineMode(const QStringList& args)
{
    if (args.size() < 2)
        return false;
    const QString& a = args.at(1);
    return a == QLatin1String("send") || a == QLatin1String("--help") || a == QLatin1String("-h")
        || a == QLatin1String("--version") || a.startsWith(QLatin1String("--"));
}

int RunCommandLine(const QStringList& args)
{
    const QString cmd = args.value(1);
    if (cmd == QLatin1String("--help") || cmd == QLatin1String("-h")) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (cmd == QLatin1String("--version")) {
        std::printf("scaledb 1.03\n");
        return 0;
    }
    if (cmd != QLatin1String("send")) {
        Err(QStringLiteral("unknown option %1 (see --help)").arg(cmd));
        return 2;
    }

    QString file, device = QStringLiteral("standard"), kind;
    int timeout = 10;
    int udpPort = 1001;
    std::vector<TTarget> targets;
    for (int i = 2; i < args.size(); ++i) {
        const QString& a = args.at(i);
        auto value = [&](QString& out) {
            if (i + 1 >= args.size())
                return false;
            out = args.at(++i);
            return true;
        };
        QString v;
        if (a == QLatin1String("--to")) {
            TTarget t;
            if (!value(v) || !ParseLink(v, t)) {
                Err(QStringLiteral("bad link %1: use tcp://HOST:PORT, udp://ADDRESS:PORT or serial:DEVICE[@BAUD]").arg(v));
                return 2;
            }
            targets.push_back(t);
        } else if (a == QLatin1String("--device")) {
            if (!value(device)) { Err(QStringLiteral("--device needs a value")); return 2; }
        } else if (a == QLatin1String("--kind")) {
            if (!value(kind)) { Err(QStringLiteral("--kind needs a value")); return 2; }
        } else if (a == QLatin1String("--timeout")) {
            bool ok = false;
            timeout = value(v) ? v.toInt(&ok) : 0;
            if (!ok || timeout <= 0 || timeout > 86400) { Err(QStringLiteral("--timeout needs a number of seconds")); return 2; }
        } else if (a == QLatin1String("--udp-port")) {
            bool ok = false;
            udpPort = value(v) ? v.toInt(&ok) : -1;
            if (!ok || udpPort < 0 || udpPort > 65535) { Err(QStringLiteral("--udp-port needs a port number (0: any)")); return 2; }
        } else if (a.startsWith('-') || !file.isEmpty()) {
            Err(QStringLiteral("unexpected argument %1 (see --help)").arg(a));
            return 2;
        } else {
            file = a;
        }
    }
    if (file.isEmpty() || targets.empty()) {
        Err(QStringLiteral("send needs a FILE and at least one --to LINK (see --help)"));
        return 2;
    }
    // The kinds each device type offers, by position: the start command follows the position.
    QStringList kinds;
    if (device == QLatin1String("standard"))
        kinds = {QStringLiteral("product"), QStringLiteral("user")};
    else if (device == QLatin1String("qd58"))
        kinds = {QStringLiteral("label"), QStringLiteral("user"), QStringLiteral("status")};
    else {
        Err(QStringLiteral("--device is standard or qd58"));
        return 2;
    }
    const int position = kind.isEmpty() ? 0 : static_cast<int>(kinds.indexOf(kind));
    if (position < 0) {
        Err(QStringLiteral("--kind %1 is not offered by device %2 (%3)").arg(kind, device, kinds.join(QStringLiteral(", "))));
        return 2;
    }

    TGridTable table;
    try {
        LoadDatabaseFile(file, table);
    } catch (const std::exception& e) {
        Err(QString::fromLocal8Bit(e.what()));
        return 2;
    }

    const bool terminal = ::isatty(STDERR_FILENO);
    TLinkWatcher watcher;
    MainWindowHandle = &watcher;
    std::vector<std::unique_ptr<TScaleJob>> jobs;
    int udp = 0;
    for (const TTarget& t : targets) {
        // Only one endpoint can hold the local port; further UDP scales use any free port.
        const quint16 local = (t.Kind == 2 && udp++ == 0) ? static_cast<quint16>(udpPort) : 0;
        jobs.push_back(std::make_unique<TScaleJob>(t, table, position, timeout, local));
    }
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
