#pragma once
// What the simulated scale answers, kept apart from the sockets and the pty so
// the same rules hold for every link.
#include "Options.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The reply text for a command, without CR LF; nothing for an unknown command.
std::optional<std::string> ReplyFor(std::string_view command);

// A command of control bytes and blanks only (a stray CR LF, the link's opening
// datagram) is no command: it is neither counted nor answered.
bool IsBlank(std::string_view command);

// Bytes outside printable ASCII as escapes, for the log.
std::string Escaped(std::string_view bytes);

struct Answer {
    long number = 0;                  // 1-based; 0 for a blank command
    std::optional<std::string> reply; // with CR LF
    bool drop = false;                // close the connection once the reply is out
};

// Counts commands over the simulator's whole run and applies the misbehaviour
// options to each.
class Scale {
public:
    explicit Scale(const SimOptions& options) : options_(options) {}
    Answer Take(std::string_view command);

private:
    const SimOptions& options_;
    long count_ = 0;
    std::string lastReply_;  // with CR LF; empty before the first
    bool forgotten_ = false; // --forget: the upload went with the last drop
};

// Cuts a byte stream into commands: each ends at a LF, and a CR right before
// the LF belongs to the framing.
class LineSplitter {
public:
    std::vector<std::string> Feed(std::string_view bytes);
    void Clear() { buffer_.clear(); }

private:
    std::string buffer_;
};
