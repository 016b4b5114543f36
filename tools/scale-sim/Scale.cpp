#include "Scale.h"

#include <cstdio>

namespace {
// A peer that never sends a LF must not grow the buffer without end.
constexpr size_t MaxLine = 1 << 20;
} // namespace

std::optional<std::string> ReplyFor(std::string_view command)
{
    if (command == "SbP")
        return "MbP";
    if (command == "SbU")
        return "MbU";
    if (command == "SbS")
        return "MbS";
    if (command.starts_with("Sr"))
        return "Mr";
    if (command == "Se")
        return "Me";
    return std::nullopt;
}

bool IsBlank(std::string_view command)
{
    for (const char c : command) {
        if (static_cast<unsigned char>(c) > 32)
            return false;
    }
    return true;
}

std::string Escaped(std::string_view bytes)
{
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '\\') {
            out += "\\\\";
        } else if (b == '\r') {
            out += "\\r";
        } else if (b == '\n') {
            out += "\\n";
        } else if (b == '\t') {
            out += "\\t";
        } else if (b < 32 || b > 126) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            out += hex;
        } else {
            out += c;
        }
    }
    return out;
}

Answer Scale::Take(std::string_view command)
{
    Answer answer;
    if (IsBlank(command))
        return answer;
    answer.number = ++count_;
    const bool dropHere = options_.dropAt && answer.number == *options_.dropAt;
    answer.drop = dropHere || (options_.dropAfter && answer.number == *options_.dropAfter);
    // The upload goes with the connection: this command is still answered as ever.
    const bool forgets = answer.drop && options_.forget;
    if (dropHere || (options_.silentAfter && answer.number > *options_.silentAfter)) {
        forgotten_ = forgotten_ || forgets;
        return answer;
    }
    std::optional<std::string> text = ReplyFor(command);
    if (!text)
        return answer;
    if (text->starts_with("Mb"))
        forgotten_ = false;
    if (options_.wrongAt.contains(answer.number) || (forgotten_ && !text->starts_with("Mb")))
        text = "Mx";
    answer.reply = *text + "\r\n";
    // A late duplicate of the reply before goes out ahead of this one, in the same piece.
    const std::string duplicate = options_.repeatReplyAt.contains(answer.number) ? lastReply_ : std::string();
    lastReply_ = *answer.reply;
    answer.reply = duplicate + *answer.reply;
    forgotten_ = forgotten_ || forgets;
    return answer;
}

std::vector<std::string> LineSplitter::Feed(std::string_view bytes)
{
    std::vector<std::string> lines;
    for (const char c : bytes) {
        if (c != '\n') {
            if (buffer_.size() < MaxLine)
                buffer_ += c;
            continue;
        }
        if (!buffer_.empty() && buffer_.back() == '\r')
            buffer_.pop_back();
        lines.push_back(std::move(buffer_));
        buffer_.clear();
    }
    return lines;
}
