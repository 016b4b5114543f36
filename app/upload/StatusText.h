#pragma once
// The status line's words for the upload and the link: state in, text out,
// nothing read from anywhere else, so every state is a row of a test table.
#include <QByteArray>
#include <QString>

#include <cstdint>

// A reply this long unanswered is worth a word.
constexpr std::int64_t DefaultWaitNoticeMs = 2000;

struct TStatusState {
    // The upload, as TUpload keeps it.
    bool Started = false;        // an upload was started since the program began
    bool Running = false;
    bool Stopped = false;        // Stop ended it
    std::int32_t Index = 0;      // UploadIndex
    std::int32_t Rows = 0;
    bool Failed = false;         // UploadFailed
    bool Awaiting = false;       // the last command awaits its reply
    int SendsInARow = 0;         // times that command went out at this index
    int WrongReplies = 0;        // replies in a row that did not match it
    std::int64_t MsSinceSent = 0;
    std::int64_t WaitNoticeMs = DefaultWaitNoticeMs;  // from then on the line says how long it waits
    std::int64_t ElapsedMs = 0;  // since the start; once over, the time it took
    QByteArray LastReply;
    bool LineOverflow = false;   // text without line ends went past the bound since the last command
    // The link.
    QString Link;                // as the label names it: "COM1", "192.168.1.100"
    bool LinkUp = false;
    bool LinkWasUp = false;      // it was up at some time during this upload
    QString Cause;               // why it last failed; empty when it did not
    QString NotSent;             // why the last command could not go out; empty when it went
};

QString StatusText(const TStatusState& s);
// The connection label's tooltip: why the link failed, or what keeps the
// scale's answer from coming.
QString LinkToolTip(const TStatusState& s);
// Why no reply line comes from a device that keeps sending.
QString NoLineEndCause();

// "MbP", "MbU" or "MbS": a start command's reply, so a scale that gives
// another than the one awaited expects another database kind.
bool IsStartReply(const QByteArray& reply);
// Where an exchange at UploadIndex `index` stands: "the start command",
// "record 37" (with `of`: "record 37 of 120"), "the end command".
QString UploadWhere(std::int32_t index, std::int32_t rows, bool of);
// The same in the user's language, for the window.
QString ShownUploadWhere(std::int32_t index, std::int32_t rows, bool of);
// "1st", "2nd", "11th".
QString Ordinal(int n);
