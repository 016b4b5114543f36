#include "DatabaseCheck.h"

#include "ByteScan.h"
#include "GridText.h"

#include <QCoreApplication>
#include <QLocale>
#include <QStringList>

#include <algorithm>

namespace {
// "Sr" and the record make the command; a UDP command holds 99 bytes.
constexpr std::uint32_t kUdpCommand = 99;
constexpr std::uint32_t kUdpRecord = kUdpCommand - 2;

// The control bytes of one row, field by field: CR, LF and NUL end a command
// on the scale; the others reach it as they are.
void FindControls(const char* p, const char* end, int row, std::vector<TFinding>& out)
{
    std::uint32_t field = 1, breakField = 0, others = 0, otherField = 0;
    std::uint8_t breaks = 0, firstOther = 0;
    for (; p < end; ++p) {
        const auto b = static_cast<unsigned char>(*p);
        if (b == ';') {
            ++field;
        } else if (b == '\r' || b == '\n' || b == 0) {
            if (!breaks)
                breakField = field;
            breaks |= b == '\r' ? TFinding::brCR : b == '\n' ? TFinding::brLF : TFinding::brNUL;
        } else if (b < 0x20 && b != '\t') {
            if (!others++) {
                firstOther = b;
                otherField = field;
            }
        }
    }
    if (breaks)
        out.push_back({.Row = row, .Kind = TFinding::fkLineBreak, .Breaks = breaks, .Field = breakField});
    if (others)
        out.push_back({.Row = row, .Kind = TFinding::fkControl, .Byte = firstOther, .Count = others, .Field = otherField});
}

// Where UTF-8 lines stand beside lines that are not, the fewer are the odd
// ones out: a finding each, merged into `out` by row.
void AddEncodingFindings(const std::vector<int>& utf8Rows, const std::vector<int>& otherRows, std::vector<TFinding>& out)
{
    if (utf8Rows.empty() || otherRows.empty())
        return;
    const bool utf8Odd = utf8Rows.size() <= otherRows.size();
    const std::vector<int>& odd = utf8Odd ? utf8Rows : otherRows;
    const std::vector<int>& usual = utf8Odd ? otherRows : utf8Rows;
    const auto middle = static_cast<std::ptrdiff_t>(out.size());
    for (const int row : odd)
        out.push_back({.Row = row, .Kind = TFinding::fkEncoding, .Utf8 = utf8Odd,
                       .Count = static_cast<std::uint32_t>(usual.size()),
                       .FirstRow = static_cast<std::uint32_t>(usual.front())});
    std::inplace_merge(out.begin(), out.begin() + middle, out.end(), [](const TFinding& a, const TFinding& b) {
        return a.Row != b.Row ? a.Row < b.Row : a.Kind < b.Kind;
    });
}

QString Rows(std::uint32_t n)
{
    return n == 1 ? QCoreApplication::translate("TFinding", "1 row") : QCoreApplication::translate("TFinding", "%1 rows").arg(n);
}

QString LineBreakText(unsigned breaks, std::uint32_t field)
{
    QStringList names;
    if (breaks & TFinding::brCR)
        names << QStringLiteral("CR");
    if (breaks & TFinding::brLF)
        names << QStringLiteral("LF");
    if (breaks & TFinding::brNUL)
        names << QStringLiteral("NUL");
    QString text = QCoreApplication::translate("TFinding", "%1 inside the record (field %2); ").arg(names.join(QCoreApplication::translate("TFinding", " and "))).arg(field);
    if (!(breaks & TFinding::brNUL))
        text += QCoreApplication::translate("TFinding", "over serial or TCP the scale takes it as the end of the command");
    else if (breaks == TFinding::brNUL)
        text += QCoreApplication::translate("TFinding", "over UDP the scale takes it as the end of the text");
    else
        text += QCoreApplication::translate("TFinding", "the scale takes them as the end of the command");
    return text;
}

QString ControlText(unsigned byte, std::uint32_t field, std::uint32_t count)
{
    const QString hex = QStringLiteral("0x") + QString::number(byte, 16).toUpper().rightJustified(2, QLatin1Char('0'));
    QString text = count == 1 ? QCoreApplication::translate("TFinding", "control byte %1 in field %2").arg(hex).arg(field)
                              : QCoreApplication::translate("TFinding", "%1 control bytes, the first %2 in field %3").arg(count).arg(hex).arg(field);
    text += count == 1 ? QCoreApplication::translate("TFinding", "; the scale gets it as it is (below 0x20 only tab belongs in a record)")
                       : QCoreApplication::translate("TFinding", "; the scale gets them as they are (below 0x20 only tab belongs in a record)");
    return text;
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
        out.push_back({.Row = 0, .Kind = TFinding::fkNoDatabase, .Count = static_cast<std::uint32_t>(rows)});
        return out;
    }
    std::vector<int> utf8Rows, otherRows;  // rows with bytes over 0x7F, by whether they are UTF-8
    bool emptySeen = false;
    for (int r = 0; r < rows; ++r) {
        const int row = r + 1;
        std::uint32_t fields = 0;
        std::uint64_t length = cols - 1;  // a row no line filled: its separators
        unsigned seen = 0;
        const char* begin = nullptr;
        const char* end = nullptr;
        if (r < t.Rows()) {
            fields = t.RowStart[r + 1] - t.RowStart[r];
            begin = data + t.RowBegin[r];
            end = data + t.FieldEnd[t.RowStart[r + 1] - 1];
            length = static_cast<std::uint64_t>(end - begin) + (cols - fields);
            seen = ScanControlAndHigh(begin, end);
        }
        // The upload ends at the first empty record; the rows after it never go.
        if (length == 0 && !emptySeen) {
            emptySeen = true;
            out.push_back({.Row = row, .Kind = TFinding::fkEmptyRecord, .Count = static_cast<std::uint32_t>(rows - row)});
        }
        const auto bytes = static_cast<std::uint32_t>(std::min<std::uint64_t>(length, UINT32_MAX));
        if (length > MaxRecordBytes)
            out.push_back({.Row = row, .Kind = TFinding::fkTooLarge, .Count = bytes});
        else if (udp && length > kUdpRecord)
            out.push_back({.Row = row, .Kind = TFinding::fkTooLongForUdp, .Count = bytes});
        if (seen & sbControl)
            FindControls(begin, end, row, out);
        if (fields && fields < cols)
            out.push_back({.Row = row, .Kind = TFinding::fkFewerFields, .Count = fields, .Widest = cols});
        // A file that is UTF-8 as a whole cannot mix encodings.
        if ((seen & sbHigh) && !t.Utf8)
            (IsValidUtf8(begin, end - begin) ? utf8Rows : otherRows).push_back(row);
    }

    AddEncodingFindings(utf8Rows, otherRows, out);
    return out;
}

QString TooLargeCause(const TFinding& f)
{
    return QStringLiteral("record %1 is %2 bytes, over the %3 MiB a record may have")
        .arg(f.Row).arg(QLocale(QLocale::English).toString(qulonglong(f.Count))).arg(MaxRecordBytes >> 20);
}

QString TFinding::Text() const
{
    QString text;
    switch (Kind) {
    case fkEmptyRecord:
        text = QCoreApplication::translate("TFinding", "empty record; the upload would stop there with \"Database could not be sent to scale.\"");
        if (Count)
            text += QCoreApplication::translate("TFinding", " and not send the %1 after it").arg(Rows(Count));
        break;
    case fkTooLongForUdp:
        text = QCoreApplication::translate("TFinding", "%1 bytes; its UDP command is %2 bytes, over the %3 a UDP command holds")
                   .arg(Count).arg(Count + 2).arg(kUdpCommand);
        break;
    case fkLineBreak:
        text = LineBreakText(Breaks, Field);
        break;
    case fkControl:
        text = ControlText(Byte, Field, Count);
        break;
    case fkFewerFields:
        text = QCoreApplication::translate("TFinding", "%1 %2 where the widest row has %3; it is sent padded with %4")
                   .arg(Count).arg(Count == 1 ? QCoreApplication::translate("TFinding", "field") : QCoreApplication::translate("TFinding", "fields")).arg(Widest)
                   .arg(Widest - Count == 1 ? QCoreApplication::translate("TFinding", "1 empty field") : QCoreApplication::translate("TFinding", "%1 empty fields").arg(Widest - Count));
        break;
    case fkEncoding:
        text = Utf8 ? QCoreApplication::translate("TFinding", "UTF-8 text, while %1 in another encoding (the first is row %2); "
                                     "the grid and the scale show it garbled")
                    : QCoreApplication::translate("TFinding", "not UTF-8, while %1 UTF-8 text (the first is row %2); "
                                     "one of the two shows garbled on the scale");
        text = text.arg(Count == 1 ? QCoreApplication::translate("TFinding", "1 row is") : QCoreApplication::translate("TFinding", "%1 rows are").arg(Count)).arg(FirstRow);
        break;
    case fkTooLarge:
        text = QCoreApplication::translate("TFinding", "%1 bytes, over the %2 MiB a record may have")
                   .arg(QLocale(QLocale::English).toString(qulonglong(Count))).arg(MaxRecordBytes >> 20);
        break;
    case fkNoDatabase:
        return Count == 1 ? QCoreApplication::translate("TFinding", "no database opened: the grid's 1 empty row would go to the scale as 1 empty record")
                          : QCoreApplication::translate("TFinding", "no database opened: the grid's %1 empty rows would go to the scale as %1 empty records").arg(Count);
    }
    return QCoreApplication::translate("TFinding", "row %1: ").arg(Row) + text;
}
