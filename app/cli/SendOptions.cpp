#include "SendOptions.h"

#include "DatabaseKinds.h"
#include "ScaleKeys.h"
#include "ScaleList.h"
#include "Global.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

// The help and the messages in the user's language (the catalogue's context
// "SendOptions"); option names and values stay as they are.
QString Tr(const char* text)
{
    return QCoreApplication::translate("SendOptions", text);
}

// An option as the parser takes it and as --help shows it.
struct TOptionText {
    const char* Names;    // comma-separated
    const char* Value;    // empty: a switch
    const char* Text;
    const char* Default;  // empty: none to show
    int Number = -1;      // a number's default, from FleetDefaults, when Default is empty
};

const TOptionText Options[] = {
    {"to", "LINK", QT_TRANSLATE_NOOP("SendOptions", "A scale to upload to; repeat for several."), ""},
    {"to-file", "LINKS", QT_TRANSLATE_NOOP("SendOptions", "Scales to upload to, one LINK a line ('#' comments); LINKS - is standard input."), ""},
    {"device", "TYPE", QT_TRANSLATE_NOOP("SendOptions", "The device type: standard or qd58."), "standard"},
    {"kind", "KIND", QT_TRANSLATE_NOOP("SendOptions", "The database kind: product or user (standard); label, user or status (qd58)."),
     QT_TRANSLATE_NOOP("SendOptions", "the type's first, product or label")},
    {"timeout", "SECONDS", QT_TRANSLATE_NOOP("SendOptions", "Ends an upload whose command gets no reply for SECONDS."), "", FleetDefaults::TimeoutSeconds},
    {"connect-timeout", "SECONDS", QT_TRANSLATE_NOOP("SendOptions", "Ends an upload whose link is not up after SECONDS."), "", FleetDefaults::ConnectTimeoutSeconds},
    {"retries", "N", QT_TRANSLATE_NOOP("SendOptions", "Ends a scale's upload when it answers one command wrongly N times in a row."), "", FleetDefaults::Retries},
    {"reconnect", "SECONDS", QT_TRANSLATE_NOOP("SendOptions", "Tries a link lost during an upload again every 2 s for up to SECONDS, then sends the awaited command again (0: the loss ends the upload)."), "", FleetDefaults::ReconnectSeconds},
    {"jobs", "N", QT_TRANSLATE_NOOP("SendOptions", "At most N uploads at once."), QT_TRANSLATE_NOOP("SendOptions", "all at once")},
    {"udp-port", "N", QT_TRANSLATE_NOOP("SendOptions", "The local UDP port every UDP scale answers to (0 takes any free port)."), "", FleetDefaults::UdpPort},
    {"report", "FORMAT", QT_TRANSLATE_NOOP("SendOptions", "The outcome on standard output as text or json (one object per scale)."), "text"},
    {"log", "FILE", QT_TRANSLATE_NOOP("SendOptions", "Writes every command, reply and link event to FILE, one a line."), ""},
    {"check", "", QT_TRANSLATE_NOOP("SendOptions", "Only checks FILE: exit 0 when nothing is found, 1 otherwise; no link needed "
                  "(a udp:// one adds the UDP command length)."), ""},
    {"strict", "", QT_TRANSLATE_NOOP("SendOptions", "Sends nothing when the check finds something (exit 1)."), ""},
    {"quiet", "", QT_TRANSLATE_NOOP("SendOptions", "No progress on standard error, only the report."), ""},
    {"progress", "", QT_TRANSLATE_NOOP("SendOptions", "Progress bars even when standard error is not a terminal."), ""},
    {"no-inhibit", "", QT_TRANSLATE_NOOP("SendOptions", "Lets the system sleep during the upload (by default it is held off over D-Bus)."), ""},
    {"h,help", "", QT_TRANSLATE_NOOP("SendOptions", "Prints this help."), ""},
    {"version", "", QT_TRANSLATE_NOOP("SendOptions", "Prints the program's version."), ""},
};

const char Usage[] = QT_TRANSLATE_NOOP(
    "SendOptions",
    "Usage: scaledb [--scales LIST] [FILE]\n"
    "       scaledb send FILE --to LINK [--to LINK ...] [options]\n"
    "       scaledb send FILE --to-file LINKS [options]\n"
    "       scaledb send FILE --check [--to LINK ...]\n"
    "       scaledb ports\n"
    "       scaledb --help | --version\n"
    "\n"
    "Without arguments, or with a FILE, opens the window (Qt's own options, such as\n"
    "-platform or -style, go before or after FILE). --scales opens the Scales panel\n"
    "with LIST's scales (a file of links, a name after each if wanted).\n"
    "send uploads FILE to each scale named by --to or listed in --to-file, all at once\n"
    "(or --jobs at a time), and prints the outcome of each.\n"
    "LINK is tcp://HOST:PORT, udp://ADDRESS:PORT or serial:DEVICE[@BAUD] (baud 9600\n"
    "when not given). Two links that reach the same scale are refused.\n"
    "FILE is checked first; what the check finds is printed as warnings on standard\n"
    "error.\n"
    "On a terminal, progress shows as a bar per scale, or one bar for a larger fleet;\n"
    "otherwise as a line per scale event.\n"
    "ports lists the serial devices, one a line, tab-separated: kernel name, stable\n"
    "/dev/serial/by-id path, USB product, serial number (empty when unknown).\n");

const char Epilogue[] = QT_TRANSLATE_NOOP(
    "SendOptions",
    "\n"
    "SIGINT, SIGTERM or SIGHUP ends every upload where it stands, reports each scale\n"
    "\"interrupted at record K of R\" and exits 130 (SIGINT) or 143; a second SIGINT\n"
    "ends at once.\n"
    "\n"
    "Exit status: 0 every scale accepted the database, 1 one did not, or the report or\n"
    "log could not be written whole, 2 bad arguments.\n"
    "With --check: 0 nothing found, 1 something found, 2 bad arguments.\n"
    "\n"
    "Examples:\n"
    "  scaledb send products.csv --to tcp://192.168.1.20:4001\n"
    "  scaledb send products.csv --to serial:/dev/ttyUSB0@9600 --kind user\n"
    "  scaledb send labels.csv --device qd58 --to-file scales.txt --jobs 20 --report json\n"
    "  scaledb send products.csv --check --to udp://192.168.1.30:1001\n"
    "  scaledb ports\n");

// Rates a scale's serial port is set to; others work where the driver takes them.
const int StandardBauds[] = {110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600,
                             115200, 128000, 230400, 256000, 460800, 921600};

// Lines of at most 79 characters, each after `indent` spaces but the first.
QString Wrapped(const QString& text, int indent, int first)
{
    QString out, line;
    int width = 79 - first;
    for (const QString& word : text.split(' ')) {
        if (!line.isEmpty() && line.size() + 1 + word.size() > width) {
            out += line + QLatin1Char('\n') + QString(indent, ' ');
            line.clear();
            width = 79 - indent;
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    return out + line + QLatin1Char('\n');
}

QString DefaultText(const TOptionText& o)
{
    return o.Number >= 0 ? QString::number(o.Number) : QString::fromLatin1(o.Default);
}

QString OptionLine(const TOptionText& o)
{
    QString names;
    for (const QString& n : QString::fromLatin1(o.Names).split(','))
        names += (names.isEmpty() ? QString() : QStringLiteral(", ")) + (n.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + n;
    if (*o.Value)
        names += QLatin1Char(' ') + QLatin1String(o.Value);
    QString text = Tr(o.Text);
    if (!DefaultText(o).isEmpty())
        text += Tr(QT_TRANSLATE_NOOP("SendOptions", " Default: %1.")).arg(o.Number >= 0 ? DefaultText(o) : Tr(o.Default));
    const QString head = QStringLiteral("  %1").arg(names, -20);
    if (head.size() > 22)
        return head + QLatin1Char('\n') + QString(24, ' ') + Wrapped(text, 24, 24);
    return head + QStringLiteral("  ") + Wrapped(text, 24, 24);
}

QString CannotRead(const QString& path, int error)
{
    return QCoreApplication::translate("SendOptions", "cannot read %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(error)));
}

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
        if (n > 0 && bytes.size() + n > kScaleListLimit) {
            error = QCoreApplication::translate("SendOptions", "%1 holds over 16 MiB: not a list of links").arg(path);
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

bool ReadNumber(const QCommandLineParser& parser, const QString& name, int low, int high, int& value)
{
    bool ok = false;
    value = parser.value(name).toInt(&ok);
    return ok && value >= low && value <= high;
}

// A rate the port may not take, or a typo for a standard one: said, not refused.
void WarnUnusualBauds(const std::vector<TTarget>& targets)
{
    for (const TTarget& t : targets)
        if (t.Kind == ckSerial && t.Port > 0 && NearestStandardBaud(t.Port) != t.Port)
            std::fprintf(stderr, "scaledb: %s\n",
                         Tr(QT_TRANSLATE_NOOP("SendOptions", "%1 is not a standard baud rate (nearest: %2)"))
                             .arg(t.Port).arg(NearestStandardBaud(t.Port)).toLocal8Bit().constData());
}

bool ReadTargets(const QCommandLineParser& parser, std::vector<TTarget>& targets, QString& error)
{
    for (const QString& link : parser.values(QStringLiteral("to"))) {
        TTarget t;
        if (!ParseLink(link, t)) {
            error = QCoreApplication::translate("SendOptions", "bad link %1: use %2").arg(link, LinkForms());
            return false;
        }
        targets.push_back(t);
    }
    for (const QString& path : parser.values(QStringLiteral("to-file")))
        if (!ReadLinkFile(path, targets, error))
            return false;
    WarnUnusualBauds(targets);
    return FindSameScale(targets, error);
}

bool ReadNumbers(const QCommandLineParser& parser, TSendOptions& o, QString& error)
{
    int udpPort = 0;
    if (!ReadNumber(parser, QStringLiteral("timeout"), 1, 86400, o.TimeoutSeconds))
        error = QCoreApplication::translate("SendOptions", "--timeout needs a number of seconds");
    else if (!ReadNumber(parser, QStringLiteral("connect-timeout"), 1, 86400, o.ConnectTimeoutSeconds))
        error = QCoreApplication::translate("SendOptions", "--connect-timeout needs a number of seconds");
    else if (!ReadNumber(parser, QStringLiteral("retries"), 1, 1000000, o.Retries))
        error = QCoreApplication::translate("SendOptions", "--retries needs a number from 1");
    else if (!ReadNumber(parser, QStringLiteral("reconnect"), 0, 86400, o.ReconnectSeconds))
        error = QCoreApplication::translate("SendOptions", "--reconnect needs a number of seconds (0: none)");
    else if (parser.isSet(QStringLiteral("jobs")) && !ReadNumber(parser, QStringLiteral("jobs"), 1, 1000000, o.Jobs))
        error = QCoreApplication::translate("SendOptions", "--jobs needs a number from 1");
    else if (!ReadNumber(parser, QStringLiteral("udp-port"), 0, 65535, udpPort))
        error = QCoreApplication::translate("SendOptions", "--udp-port needs a port number (0: any)");
    o.UdpPort = static_cast<quint16>(udpPort);
    return error.isEmpty();
}

// The kinds each device type offers, by position: the start command follows the position.
bool ReadKind(const QCommandLineParser& parser, TSendOptions& o, QString& error)
{
    // The device type as the window numbers it: 0 standard, 1 QD-58.
    const QString device = parser.value(QStringLiteral("device"));
    int deviceType = 0;
    if (device == QLatin1String("qd58"))
        deviceType = 1;
    else if (device != QLatin1String("standard")) {
        error = QCoreApplication::translate("SendOptions", "--device is standard or qd58");
        return false;
    }
    const QString kind = parser.value(QStringLiteral("kind"));
    o.Position = kind.isEmpty() ? 0 : DatabaseKindPosition(deviceType, kind);
    if (o.Position < 0) {
        error = QCoreApplication::translate("SendOptions", "--kind %1 is not offered by device %2 (%3)")
                    .arg(kind, device, DatabaseKindWords(deviceType).join(QStringLiteral(", ")));
        return false;
    }
    o.Kind = DatabaseKindWords(deviceType).at(o.Position);
    return true;
}

} // namespace

int NearestStandardBaud(int rate)
{
    int nearest = StandardBauds[0];
    for (const int b : StandardBauds)
        if (std::abs(static_cast<long>(b) - rate) < std::abs(static_cast<long>(nearest) - rate))
            nearest = b;
    return nearest;
}

void AddOptions(QCommandLineParser& parser)
{
    for (const TOptionText& o : Options) {
        QCommandLineOption option(QString::fromLatin1(o.Names).split(','), QLatin1String(o.Text), QLatin1String(o.Value));
        const QString defaultValue = DefaultText(o);
        if (*o.Value && !defaultValue.isEmpty() && !defaultValue.contains(' '))
            option.setDefaultValue(defaultValue);
        parser.addOption(option);
    }
}

QString HelpText()
{
    QString text = Tr(Usage) + Tr(QT_TRANSLATE_NOOP("SendOptions", "\nOptions:\n"));
    for (const TOptionText& o : Options)
        text += OptionLine(o);
    return text + Tr(Epilogue);
}

bool ReadSendOptions(const QCommandLineParser& parser, TSendOptions& o, QString& error)
{
    const QStringList files = parser.positionalArguments().mid(1);
    if (files.size() > 1) {
        error = QCoreApplication::translate("SendOptions", "unexpected argument %1 (see --help)").arg(files.at(1));
        return false;
    }
    o.File = files.value(0);
    o.CheckOnly = parser.isSet(QStringLiteral("check"));
    o.Strict = parser.isSet(QStringLiteral("strict"));
    o.Quiet = parser.isSet(QStringLiteral("quiet"));
    o.Progress = parser.isSet(QStringLiteral("progress"));
    o.Inhibit = !parser.isSet(QStringLiteral("no-inhibit"));
    o.LogPath = parser.value(QStringLiteral("log"));
    const QString report = parser.value(QStringLiteral("report"));
    o.Json = report == QLatin1String("json");
    if (!ReadTargets(parser, o.Targets, error))
        return false;
    if (o.CheckOnly && o.File.isEmpty())
        error = QCoreApplication::translate("SendOptions", "--check needs a FILE (see --help)");
    else if (o.File.isEmpty() || (o.Targets.empty() && !o.CheckOnly))
        error = QCoreApplication::translate("SendOptions", "send needs a FILE and at least one --to LINK or --to-file LINKS (see --help)");
    else if (report != QLatin1String("text") && !o.Json)
        error = QCoreApplication::translate("SendOptions", "--report is text or json");
    else if (o.Quiet && o.Progress)
        error = QCoreApplication::translate("SendOptions", "--quiet and --progress cannot go together");
    if (!error.isEmpty())
        return false;
    return ReadNumbers(parser, o, error) && ReadKind(parser, o, error);
}
