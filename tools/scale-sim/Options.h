#pragma once
// The simulator's command line, parsed into one plain struct.
#include <optional>
#include <set>
#include <string>

enum class SimMode { None, Serial, Device, Tcp, Udp };

struct SimOptions {
    SimMode mode = SimMode::None;
    std::string device;            // --device PATH
    int baud = 9600;               // --device only
    int port = 0;                  // --tcp / --udp; 0 picks a free port
    std::string host = "127.0.0.1";
    int count = 1;                 // --tcp: scales on consecutive ports; --udp: on consecutive addresses
    std::string record;            // empty: nothing recorded; a folder when count > 1
    int delayMs = 0;
    std::set<long> wrongAt;
    std::set<long> repeatReplyAt;
    bool split = false;
    int splitGapMs = 20;
    std::optional<long> silentAfter;
    std::optional<long> dropAfter;
    std::optional<long> dropAt;    // close on the N-th command, leaving it unanswered
    bool forget = false;           // after a drop, refuse records and "Se" until a start command
    std::optional<long> cutAfter;  // --tcp: close the client once this many bytes came, mid-command
    bool keepLine = false;         // --tcp: a new client goes on with the half line the last one left
    std::string greet;             // --tcp: each client after the first gets this line at once
    int replyPort = 0;             // --udp: answer to this port of the sender; 0: its own port
    bool log = false;
    bool help = false;
};

// Fills `out` from the arguments; on a mistake returns false and says why in `error`.
bool ParseOptions(int argc, char** argv, SimOptions& out, std::string& error);

const char* UsageText();
