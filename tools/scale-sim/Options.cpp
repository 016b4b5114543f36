#include "Options.h"

#include <charconv>
#include <string_view>
#include <utility>

namespace {

bool ParseNumber(std::string_view text, long min, long max, long& out)
{
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty() || value < min || value > max)
        return false;
    out = value;
    return true;
}

bool ParseList(std::string_view text, std::set<long>& out)
{
    for (;;) {
        const size_t comma = text.find(',');
        long n = 0;
        if (!ParseNumber(text.substr(0, comma), 1, 1'000'000'000, n))
            return false;
        out.insert(n);
        if (comma == std::string_view::npos)
            return true;
        text.remove_prefix(comma + 1);
    }
}

} // namespace

const char* UsageText()
{
    return "Usage:\n"
           "  scale-sim --serial [options]            create a pseudo-terminal, print \"READY serial /dev/pts/N\"\n"
           "  scale-sim --device PATH [--baud N] [options]\n"
           "                                          open a serial device, print \"READY serial PATH\"\n"
           "  scale-sim --tcp PORT [--host ADDR] [options]\n"
           "                                          listen (PORT 0: any free port), print \"READY tcp ADDR PORT\"\n"
           "  scale-sim --udp PORT [--host ADDR] [options]\n"
           "                                          bind, print \"READY udp ADDR PORT\"; answer each sender\n"
           "\n"
           "Answers SbP/SbU/SbS with MbP/MbU/MbS, Sr... with Mr and Se with Me, each ending in CR LF.\n"
           "Runs until SIGTERM or SIGINT.\n"
           "\n"
           "Options:\n"
           "  --host ADDR           IPv4 address to listen on (default 127.0.0.1)\n"
           "  --count N             serve N scales, each with its own state and recording:\n"
           "                        TCP on N consecutive ports from PORT, UDP on N consecutive\n"
           "                        addresses from ADDR; one READY line each\n"
           "  --baud N              line speed for --device (default 9600)\n"
           "  --record FILE         append every received byte to FILE as it arrives\n"
           "                        (with --count: FILE is a folder, scale K records to FILE/K.bin)\n"
           "  --delay MS            wait MS before each reply (default 0)\n"
           "  --wrong-at N[,N...]   answer the N-th command with \"Mx\"\n"
           "  --repeat-reply-at N[,N...]\n"
           "                        before answering the N-th command, send the reply\n"
           "                        before it again (a late duplicate)\n"
           "  --split               send each reply in two pieces, \"M\" and the rest\n"
           "  --split-gap MS        time between the two pieces (default 20)\n"
           "  --silent-after N      do not answer commands after the N-th (0: never answer)\n"
           "  --reply-port N        UDP: answer to port N of the sender, as scales that always\n"
           "                        answer to the protocol's port do\n"
           "  --drop-after N        after answering the N-th command close the connection\n"
           "                        (serial: close the device and exit; UDP: stop answering)\n"
           "  --drop-at N           close the connection on the N-th command, unanswered\n"
           "  --forget              after a drop answer \"Mx\" to records and \"Se\" until the\n"
           "                        next start command (a scale that lost the upload)\n"
           "  --cut-after BYTES     TCP: close the client once BYTES bytes came in over the\n"
           "                        run (once), the rest of that read neither kept nor recorded\n"
           "  --keep-line           TCP: a new client goes on with the half line the last one\n"
           "                        left, as a serial-to-Ethernet converter's scale does\n"
           "  --greet TEXT          TCP: each client after the first gets TEXT and CR LF at\n"
           "                        once (a late answer on a new connection)\n"
           "  --log                 print each command and reply to stderr\n"
           "  --help                show this text\n";
}

namespace {

// One argument being read: its name and, after Take, its value ("--x=v" or the next argument).
struct Arg {
    Arg(int argc, char** argv, int& i, std::string& error) : argc(argc), argv(argv), i(i), error(error)
    {
        name = argv[i];
        if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            hasValue = true;
        }
    }

    bool Take()
    {
        if (hasValue)
            return true;
        if (i + 1 >= argc)
            return Fail(name + " needs a value");
        value = argv[++i];
        return true;
    }

    template <typename T> bool Number(long min, long max, T& target)
    {
        if (!Take())
            return false;
        long n = 0;
        if (!ParseNumber(value, min, max, n))
            return Fail(name + ": \"" + value + "\" is not a number from " + std::to_string(min) + " to "
                        + std::to_string(max));
        target = static_cast<T>(n);
        return true;
    }

    // A value that must not be empty.
    bool Text(std::string& target, const char* what)
    {
        if (!Take())
            return false;
        target = value;
        return !value.empty() || Fail(name + " needs " + what);
    }

    bool List(std::set<long>& target)
    {
        if (!Take())
            return false;
        return ParseList(value, target) || Fail(name + ": \"" + value + "\" is not a list of command numbers from 1");
    }

    bool Fail(std::string why)
    {
        error = std::move(why);
        return false;
    }

    const int argc;
    char** const argv;
    int& i;
    std::string& error;
    std::string name;
    std::string value;
    bool hasValue = false;
};

// Options given, for the checks of how they combine.
struct Given {
    int modes = 0;
    bool host = false;
    bool baud = false;
};

enum class Outcome { Unknown, Ok, Failed };

Outcome Result(bool ok)
{
    return ok ? Outcome::Ok : Outcome::Failed;
}

// The link: its kind, its address, how many scales.
Outcome ParseLinkOption(Arg& a, SimOptions& out, Given& given)
{
    const std::string& name = a.name;
    if (name == "--serial") {
        out.mode = SimMode::Serial;
        ++given.modes;
        return Outcome::Ok;
    }
    if (name == "--device") {
        out.mode = SimMode::Device;
        ++given.modes;
        return Result(a.Text(out.device, "a path"));
    }
    if (name == "--tcp" || name == "--udp") {
        const bool ok = a.Number(0, 65535, out.port);
        out.mode = name == "--tcp" ? SimMode::Tcp : SimMode::Udp;
        ++given.modes;
        return Result(ok);
    }
    if (name == "--host") {
        given.host = true;
        if (!a.Take())
            return Outcome::Failed;
        out.host = a.value;
        return Outcome::Ok;
    }
    if (name == "--count")
        return Result(a.Number(1, 10'000, out.count));
    if (name == "--baud") {
        given.baud = true;
        return Result(a.Number(1, 4'000'000, out.baud));
    }
    return Outcome::Unknown;
}

// How the scale answers, and how it misbehaves on request.
Outcome ParseReplyOption(Arg& a, SimOptions& out)
{
    const std::string& name = a.name;
    if (name == "--record")
        return Result(a.Text(out.record, "a file name"));
    if (name == "--delay")
        return Result(a.Number(0, 3'600'000, out.delayMs));
    if (name == "--split-gap")
        return Result(a.Number(0, 60'000, out.splitGapMs));
    if (name == "--wrong-at")
        return Result(a.List(out.wrongAt));
    if (name == "--repeat-reply-at")
        return Result(a.List(out.repeatReplyAt));
    if (name == "--silent-after")
        return Result(a.Number(0, 1'000'000'000, out.silentAfter.emplace()));
    if (name == "--drop-after")
        return Result(a.Number(1, 1'000'000'000, out.dropAfter.emplace()));
    if (name == "--drop-at")
        return Result(a.Number(1, 1'000'000'000, out.dropAt.emplace()));
    if (name == "--cut-after")
        return Result(a.Number(1, 1'000'000'000, out.cutAfter.emplace()));
    if (name == "--greet")
        return Result(a.Text(out.greet, "a reply"));
    if (name == "--reply-port")
        return Result(a.Number(1, 65535, out.replyPort));
    if (name == "--split")
        out.split = true;
    else if (name == "--log")
        out.log = true;
    else if (name == "--forget")
        out.forget = true;
    else if (name == "--keep-line")
        out.keepLine = true;
    else
        return Outcome::Unknown;
    return Outcome::Ok;
}

bool ParseOne(Arg& a, SimOptions& out, Given& given)
{
    const std::string& name = a.name;
    const bool help = name == "--help" || name == "-h";
    const bool flag = help || name == "--serial" || name == "--split" || name == "--log" || name == "--forget"
                      || name == "--keep-line";
    if (flag && a.hasValue)
        return a.Fail(name + " takes no value");
    if (help) {
        out.help = true;
        return true;
    }
    Outcome outcome = ParseLinkOption(a, out, given);
    if (outcome == Outcome::Unknown)
        outcome = ParseReplyOption(a, out);
    if (outcome == Outcome::Unknown)
        return a.Fail("unknown option \"" + name + "\"");
    return outcome == Outcome::Ok;
}

// Why options that each make sense alone do not go together; empty when they do.
std::string CombinationFault(const SimOptions& out, const Given& given)
{
    if (given.modes != 1)
        return given.modes == 0 ? "give one of --serial, --device, --tcp, --udp"
                                : "give only one of --serial, --device, --tcp, --udp";
    const bool network = out.mode == SimMode::Tcp || out.mode == SimMode::Udp;
    if (given.host && !network)
        return "--host applies to --tcp and --udp only";
    if (out.count > 1 && !network)
        return "--count applies to --tcp and --udp only";
    if (out.mode == SimMode::Tcp && out.port != 0 && out.port + out.count - 1 > 65535)
        return "--count " + std::to_string(out.count) + " ports from " + std::to_string(out.port) + " go past 65535";
    if ((out.cutAfter || out.keepLine || !out.greet.empty()) && out.mode != SimMode::Tcp)
        return "--cut-after, --keep-line and --greet apply to --tcp only";
    if (given.baud && out.mode != SimMode::Device)
        return "--baud applies to --device only";
    return {};
}

} // namespace

bool ParseOptions(int argc, char** argv, SimOptions& out, std::string& error)
{
    Given given;
    for (int i = 1; i < argc; ++i) {
        Arg arg(argc, argv, i, error);
        if (!ParseOne(arg, out, given))
            return false;
    }
    if (out.help)
        return true;
    error = CombinationFault(out, given);
    return error.empty();
}
