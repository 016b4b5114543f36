#include "Options.h"

#include <charconv>
#include <string_view>
#include <type_traits>

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
           "  --log                 print each command and reply to stderr\n"
           "  --help                show this text\n";
}

bool ParseOptions(int argc, char** argv, SimOptions& out, std::string& error)
{
    int modes = 0;
    bool hostGiven = false;
    bool baudGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        std::string value;
        bool hasValue = false;
        if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
            hasValue = true;
        }
        auto take = [&]() -> bool {
            if (hasValue)
                return true;
            if (i + 1 >= argc) {
                error = name + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        auto number = [&](long min, long max, auto& target) -> bool {
            if (!take())
                return false;
            long n = 0;
            if (!ParseNumber(value, min, max, n)) {
                error = name + ": \"" + value + "\" is not a number from " + std::to_string(min) + " to "
                    + std::to_string(max);
                return false;
            }
            target = static_cast<std::remove_reference_t<decltype(target)>>(n);
            return true;
        };
        const bool flag = name == "--serial" || name == "--split" || name == "--log" || name == "--help"
            || name == "-h";
        if (flag && hasValue) {
            error = name + " takes no value";
            return false;
        }

        bool ok = true;
        if (name == "--help" || name == "-h") {
            out.help = true;
        } else if (name == "--serial") {
            out.mode = SimMode::Serial;
            ++modes;
        } else if (name == "--device") {
            ok = take();
            out.device = value;
            out.mode = SimMode::Device;
            ++modes;
            if (ok && value.empty()) {
                error = "--device needs a path";
                ok = false;
            }
        } else if (name == "--tcp" || name == "--udp") {
            ok = number(0, 65535, out.port);
            out.mode = name == "--tcp" ? SimMode::Tcp : SimMode::Udp;
            ++modes;
        } else if (name == "--host") {
            ok = take();
            out.host = value;
            hostGiven = true;
        } else if (name == "--count") {
            ok = number(1, 10'000, out.count);
        } else if (name == "--baud") {
            ok = number(1, 4'000'000, out.baud);
            baudGiven = true;
        } else if (name == "--record") {
            ok = take();
            out.record = value;
            if (ok && value.empty()) {
                error = "--record needs a file name";
                ok = false;
            }
        } else if (name == "--delay") {
            ok = number(0, 3'600'000, out.delayMs);
        } else if (name == "--split-gap") {
            ok = number(0, 60'000, out.splitGapMs);
        } else if (name == "--wrong-at") {
            ok = take();
            if (ok && !ParseList(value, out.wrongAt)) {
                error = "--wrong-at: \"" + value + "\" is not a list of command numbers from 1";
                ok = false;
            }
        } else if (name == "--repeat-reply-at") {
            ok = take();
            if (ok && !ParseList(value, out.repeatReplyAt)) {
                error = "--repeat-reply-at: \"" + value + "\" is not a list of command numbers from 1";
                ok = false;
            }
        } else if (name == "--silent-after") {
            long n = 0;
            ok = number(0, 1'000'000'000, n);
            out.silentAfter = n;
        } else if (name == "--drop-after") {
            long n = 0;
            ok = number(1, 1'000'000'000, n);
            out.dropAfter = n;
        } else if (name == "--drop-at") {
            long n = 0;
            ok = number(1, 1'000'000'000, n);
            out.dropAt = n;
        } else if (name == "--forget") {
            out.forget = true;
        } else if (name == "--reply-port") {
            ok = number(1, 65535, out.replyPort);
        } else if (name == "--split") {
            out.split = true;
        } else if (name == "--log") {
            out.log = true;
        } else {
            error = "unknown option \"" + name + "\"";
            ok = false;
        }
        if (!ok)
            return false;
    }
    if (out.help)
        return true;
    if (modes != 1) {
        error = modes == 0 ? "give one of --serial, --device, --tcp, --udp" : "give only one of --serial, --device, --tcp, --udp";
        return false;
    }
    const bool network = out.mode == SimMode::Tcp || out.mode == SimMode::Udp;
    if (hostGiven && !network) {
        error = "--host applies to --tcp and --udp only";
        return false;
    }
    if (out.count > 1 && !network) {
        error = "--count applies to --tcp and --udp only";
        return false;
    }
    if (out.mode == SimMode::Tcp && out.port != 0 && out.port + out.count - 1 > 65535) {
        error = "--count " + std::to_string(out.count) + " ports from " + std::to_string(out.port) + " go past 65535";
        return false;
    }
    if (baudGiven && out.mode != SimMode::Device) {
        error = "--baud applies to --device only";
        return false;
    }
    return true;
}
