#pragma once
// The communication log: what went to the scale, what came back and what the
// link did, the last 100,000 entries (and at most 64 MB of bytes) in a ring. The window's panel shows it
// through the table model; the command line writes each entry to a file as it
// comes. Entries keep the very bytes that went over the wire (shared, not
// copied) and a millisecond time, nothing converted until shown.
#include <QAbstractTableModel>
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <vector>

class TCommLog : public QAbstractTableModel {
    Q_OBJECT
public:
    enum TKind : std::uint8_t {
        lkSent,      // a command as framed for the link
        lkReceived,  // a piece of text as the link delivered it
        lkReply,     // a complete reply line, as the upload takes it
        lkEvent,     // the link opened, closed, failed...
    };
    // How bytes above 0x7F read: as the grid shows the loaded database, or
    // not known (nothing loaded), when they are written as <XX>.
    enum TDecoding : std::uint8_t { ldUnknown, ldUtf8, ldWindows1250 };
    enum TColumn { lcTime, lcLink, lcDirection, lcText, lcHex, lcColumns };

    struct TEntry {
        std::int64_t Ms;   // since the epoch
        QByteArray Bytes;  // event entries: the event's text in UTF-8
        std::uint16_t Link;
        TKind Kind;
        std::uint32_t Whole = 0;  // cut to its first LongEntry bytes: the length it had; 0: kept whole
    };

    static constexpr qsizetype Capacity = 100000;
    // The bytes of all entries kept; the oldest go first past it.
    static constexpr std::int64_t ByteCapacity = 64 * 1024 * 1024;
    // Bytes longer than this are kept as their first LongEntry bytes and their length.
    static constexpr qsizetype LongEntry = 4096;

    explicit TCommLog(QObject* parent = nullptr);

    // A link's number for Append; the same name gives the same number.
    int LinkId(const QString& name);
    QString LinkName(int link) const { return links_.value(link); }

    void Append(int link, TKind kind, const QByteArray& bytes);
    void Event(int link, const QString& text);
    // A piece of received text, then each reply line it completes after the
    // text still waiting for its LF (the upload's ReplyBuffer). A line past
    // the upload's bound is not logged further: one event tells how many
    // bytes it had, when its LF comes or the link's next event is logged.
    void Received(int link, const QByteArray& waiting, const QByteArray& piece);
    std::int64_t Bytes() const { return bytes_; }

    qsizetype Count() const { return count_; }
    const TEntry& At(qsizetype i) const;  // 0 is the oldest kept
    // "2026-12-08T17:03:22.123 tcp://127.0.0.1:5000 > SbP<0D><0A>"
    QString Line(const TEntry& e) const;
    // The bytes as text: <XX> for what cannot be shown.
    QString Text(const TEntry& e) const;
    static QString Hex(const QByteArray& bytes);
    // The Hex column: the bytes, and the length of a cut entry.
    static QString Hex(const TEntry& e);

    void SetDecoding(TDecoding decoding);
    TDecoding Decoding() const { return decoding_; }

    void Clear();
    // Every entry, one line each, written atomically; false with the reason.
    bool Save(const QString& path, QString& error) const;

    // Called for each entry as it is appended (the command line's --log).
    std::function<void(const TEntry& e)> OnAppend;

    // The entry the views show at row, or null when it already left the ring.
    const TEntry* Row(int row) const;
    // The number of the entry the views show at row: never reused, so a
    // view may keep what it drew for it.
    std::int64_t RowNumber(int row) const { return shownFirst_ + row; }

    // Tells the views what was appended since they last heard; runs by itself
    // a quarter second after an append, so a burst costs the views one update.
    void Flush();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    // A link's received text since its last LF.
    struct TRun {
        std::int64_t Length = 0;
        std::int64_t Told = 0;  // of Length, bytes an event already counted as discarded
    };
    TRun& RunOf(int link);
    void LogPiece(int link, const QByteArray& waiting, const QByteArray& piece, TRun& run);
    void TellDiscarded(int link, TRun& run);
    void DropOldest();

    std::vector<TEntry> ring_;
    std::vector<TRun> runs_;      // by link
    std::int64_t bytes_ = 0;      // of the entries kept
    qsizetype count_ = 0;
    std::int64_t total_ = 0;      // entries ever appended, the next one's number
    std::int64_t base_ = 0;       // the number of the entry in ring_[0] after the last Clear
    std::int64_t shownFirst_ = 0; // the number of the views' row 0
    int shownCount_ = 0;          // rows the views know of
    TDecoding decoding_ = ldUnknown;
    QStringList links_;
    QHash<QString, int> linkIds_;
    QTimer flush_;
};

// Bytes as the log shows them; exposed for the tests.
QString CommLogText(const QByteArray& bytes, TCommLog::TDecoding decoding);
