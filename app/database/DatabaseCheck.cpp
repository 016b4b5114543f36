#include "DatabaseCheck.h"

#include "GridText.h"

#include <QStringList>

#include <algorithm>
#include <cstring>

namespace {
constexpr std::uint64_t kOnes = 0x0101010101010101u;
constexpr std::uint64_t kHigh = 0x8080808080808080u;
// "Sr" and the record make the command; a UDP command holds 99 bytes.
constexpr std::uint32_t kUdpCommand = 99;
constexpr std::uint32_t kUdpRecord = kUdpCommand - 2;

constexpr unsigned sbControl = 1, sbHigh = 2;

std::uint64_t Load8(const char* p)
{
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

// Whether [p, end) holds a byte under 0x20 and a byte over 0x7F. Almost every
// row holds neither, so a word at a time; the exact search runs only where
// this finds something.
unsigned Scan(const char* p, const char* end)
{
    std::uint64_t low = 0, high = 0;
    if (end - p >= 8) {
        for (; end - p >= 8; p += 8) {
            const std::uint64_t w = Load8(p);
            low |= (w - kOnes * 0x20) & ~w;  // high bit set in some byte under 0x20 when there is one
            high |= w;
        }
        if (p < end) {  // the last 8 bytes again, overlapping: the bytes seen twice change nothing
            const std::uint64_t w = Load8(end - 8);
            low |= (w - kOnes * 0x20) & ~w;
            high |= w;
        }
    } else {
        for (; p < end; ++p) {
            const auto b = static_cast<unsigned char>(*p);
            low |= b < 0x20 ? 0x80 : 0;
            high |= b;
        }
    }
    return ((low & kHigh) ? sbControl : 0) | ((high & kHigh) ? sbHigh : 0);
}

// The control bytes of one row, field by field: CR, LF and NUL end a command
// on the scale; the others reach it as they are.
void FindControls(const char* p, const char* end, int row, std::vector<TFinding>& out)
{
    std::uint32_t field = 1, breaks = 0, breakField = 0, others = 0, firstOther = 0, otherField = 0;
    for (; p < end; ++p) {
        const auto b = static_cast<unsigned char>(*p);
        if (b == ';') {
            ++field;
        } else if (b == '\r' || b == '\n' || b == 0) {
            if (!breaks)
                breakField = field;
            breaks |= b == '\r' ? 1 : b == '\n' ? 2 : 4;
        } else if (b < 0x20 && b != '\t') {
            if (!others++) {
                firstOther = b;
                otherField = field;
            }
        }
    }
    if (breaks)
        out.push_back({row, TFinding::fkLineBreak, breaks, breakField, 0});
    if (others)
        out.push_back({row, TFinding::fkControl, firstOther, otherField, others});
}

QString Rows(std::uint32_t n)
{
    return n == 1 ? QStringLiteral("1 row") : QStringLiteral("%1 rows").arg(n);
}
}

std::vector<TFinding> CheckDatabase(const TGridTable& table, bool udp)
{
    const TGridContent& t = table.Content();
    const char* const data = t.Bytes.constData();
    const int rows = table.RowCount();
    const auto cols = static_cast<std::uint32_t>(table.ColCount());
    std::vector<TFinding> out;
    // Sent as it stands, the empty grid is as many records of bare separators.
    if (!table.Loaded()) {
        out.push_back({0, TFinding::fkNoDatabase, static_cast<std::uint32_t>(rows), 0, 0});
        return out;
    }
    std::vector<int> utf8Rows, otherRows;  // rows with bytes over 0x7F, by whether they are UTF-8
    bool emptySeen = false;
    for (int r = 0; r < rows; ++r) {
        const int row = r + 1;
        std::uint32_t fields = 0, length = cols - 1;  // a row no line filled: its separators
        unsigned seen = 0;
        const char* begin = nullptr;
        const char* end = nullptr;
        if (r < t.Rows()) {
            fields = t.RowStart[r + 1] - t.RowStart[r];
            begin = data + t.RowBegin[r];
            end = data + t.FieldEnd[t.RowStart[r + 1] - 1];
            length = static_cast<std::uint32_t>(end - begin) + (cols - fields);
            seen = Scan(begin, end);
        }
        // The upload ends at the first empty record; the rows after it never go.
        if (length == 0 && !emptySeen) {
            emptySeen = true;
            out.push_back({row, TFinding::fkEmptyRecord, static_cast<std::uint32_t>(rows - row), 0, 0});
        }
        if (udp && length > kUdpRecord)
            out.push_back({row, TFinding::fkTooLongForUdp, length, 0, 0});
        if (seen & sbControl)
            FindControls(begin, end, row, out);
        if (fields && fields < cols)
            out.push_back({row, TFinding::fkFewerFields, fields, cols, 0});
        // A file that is UTF-8 as a whole cannot mix encodings.
        if ((seen & sbHigh) && !t.Utf8)
            (IsValidUtf8(begin, end - begin) ? utf8Rows : otherRows).push_back(row);
    }

    // Where UTF-8 lines stand beside lines that are not, the fewer are the odd ones out.
    if (!utf8Rows.empty() && !otherRows.empty()) {
        const bool utf8Odd = utf8Rows.size() <= otherRows.size();
        const std::vector<int>& odd = utf8Odd ? utf8Rows : otherRows;
        const std::vector<int>& usual = utf8Odd ? otherRows : utf8Rows;
        const auto middle = static_cast<std::ptrdiff_t>(out.size());
        for (const int row : odd)
            out.push_back({row, TFinding::fkEncoding, utf8Odd ? 1u : 0u, static_cast<std::uint32_t>(usual.size()),
                           static_cast<std::uint32_t>(usual.front())});
        std::inplace_merge(out.begin(), out.begin() + middle, out.end(), [](const TFinding& a, const TFinding& b) {
            return a.Row != b.Row ? a.Row < b.Row : a.Kind < b.Kind;
        });
    }
    return out;
}

QString TFinding::Text() const
{
    QString text;
    switch (Kind) {
    case fkEmptyRecord:
        text = QStringLiteral("empty record; the upload would stop there with \"Database could not be sent to scale.\"");
        if (A)
            text += QStringLiteral(" and not send the %1 after it").arg(Rows(A));
        break;
    case fkTooLongForUdp:
        text = QStringLiteral("%1 bytes; its UDP command is %2 bytes, over the %3 a UDP command holds")
                   .arg(A).arg(A + 2).arg(kUdpCommand);
        break;
    case fkLineBreak: {
        QStringList names;
        if (A & 1)
            names << QStringLiteral("CR");
        if (A & 2)
            names << QStringLiteral("LF");
        if (A & 4)
            names << QStringLiteral("NUL");
        text = QStringLiteral("%1 inside the record (field %2); ").arg(names.join(QStringLiteral(" and "))).arg(B);
        if (!(A & 4))
            text += QStringLiteral("over serial or TCP the scale takes it as the end of the command");
        else if (A == 4)
            text += QStringLiteral("over UDP the scale takes it as the end of the text");
        else
            text += QStringLiteral("the scale takes them as the end of the command");
        break;
    }
    case fkControl: {
        const QString hex = QStringLiteral("0x") + QString::number(A, 16).toUpper().rightJustified(2, QLatin1Char('0'));
        text = C == 1 ? QStringLiteral("control byte %1 in field %2").arg(hex).arg(B)
                      : QStringLiteral("%1 control bytes, the first %2 in field %3").arg(C).arg(hex).arg(B);
        text += C == 1 ? QStringLiteral("; the scale gets it as it is (below 0x20 only tab belongs in a record)")
                       : QStringLiteral("; the scale gets them as they are (below 0x20 only tab belongs in a record)");
        break;
    }
    case fkFewerFields:
        text = QStringLiteral("%1 %2 where the widest row has %3; it is sent padded with %4")
                   .arg(A).arg(A == 1 ? QStringLiteral("field") : QStringLiteral("fields")).arg(B)
                   .arg(B - A == 1 ? QStringLiteral("1 empty field") : QStringLiteral("%1 empty fields").arg(B - A));
        break;
    case fkEncoding:
        text = A ? QStringLiteral("UTF-8 text, while %1 in another encoding (the first is row %2); "
                                  "the grid and the scale show it garbled")
                 : QStringLiteral("not UTF-8, while %1 UTF-8 text (the first is row %2); "
                                  "one of the two shows garbled on the scale");
        text = text.arg(B == 1 ? QStringLiteral("1 row is") : QStringLiteral("%1 rows are").arg(B)).arg(C);
        break;
    case fkNoDatabase:
        return A == 1 ? QStringLiteral("no database opened: the grid's 1 empty row would go to the scale as 1 empty record")
                      : QStringLiteral("no database opened: the grid's %1 empty rows would go to the scale as %1 empty records").arg(A);
    }
    return QStringLiteral("row %1: ").arg(Row) + text;
}
