// The database file: any bytes must load into a table that gives back, row by
// row, exactly the file's non-empty lines.
#include "DatabaseFile.h"
#include "GridTable.h"
#include "GridText.h"

#include <QList>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void Fail(const char* what, int row = -1, int col = -1)
{
    std::fprintf(stderr, "fuzz_loader: %s (row %d, column %d)\n", what, row, col);
    std::abort();
}

// The lines the table must hold, worked out the plain way.
QList<QByteArray> ExpectedLines(QByteArray bytes)
{
    const qsizetype eof = bytes.indexOf('\x1a');
    if (eof >= 0)
        bytes.truncate(eof);
    QList<QByteArray> pieces = bytes.split('\n');
    QList<QByteArray> lines;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        QByteArray line = pieces[i];
        const bool endedByLf = i + 1 < pieces.size();
        if (endedByLf && line.endsWith('\r'))
            line.chop(1);
        if (!line.isEmpty())
            lines.append(line);
    }
    return lines;
}

bool ValidUtf8(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes).toUtf8() == bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QList<QByteArray> lines = ExpectedLines(input);

    TGridTable table;
    table.Assign(ParseDatabase(input));

    const int rows = static_cast<int>(lines.size());
    if (table.RowCount() != std::max(rows, 1))
        Fail("RowCount is not the number of non-empty lines");
    qsizetype widest = 1;
    for (const QByteArray& line : lines)
        widest = std::max(widest, line.count(';') + 1);
    if (table.ColCount() != widest)
        Fail("ColCount is not the widest line's field count");

    QByteArray cut = input;
    if (const qsizetype eof = cut.indexOf('\x1a'); eof >= 0)
        cut.truncate(eof);
    const bool utf8 = ValidUtf8(cut);

    for (int r = 0; r < rows; ++r) {
        const QByteArray& line = lines[r];
        const QList<QByteArray> fields = line.split(';');
        // A record always has ColCount fields: the line, then one ';' per missing field.
        const QByteArray padded = line + QByteArray(table.ColCount() - fields.size(), ';');
        if (table.Record(r) != padded)
            Fail("record is not the line it came from", r);
        QByteArray joined;
        for (int c = 0; c < table.ColCount(); ++c) {
            const QByteArray cell = table.Cell(c, r);
            if (c < fields.size() ? cell != fields[c] : !cell.isEmpty())
                Fail("cell differs from its field", r, c);
            if (c < fields.size())
                joined += (c > 0 ? ";" : "") + cell;
            if (!cell.isEmpty() && (r < 4 && c < 4)) {
                const QString shown = table.data(table.index(r, c)).toString();
                if (shown != (utf8 ? QString::fromUtf8(cell) : FromWindows1250(cell)))
                    Fail("cell shown in the wrong encoding", r, c);
            }
        }
        if (joined != line)
            Fail("cells joined by ';' are not the line", r);
    }
    if (rows == 0 && !table.Cell(0, 0).isEmpty())
        Fail("a table without lines has a filled cell");
    // Past the edges there is nothing, and nothing to crash on.
    if (!table.Cell(table.ColCount(), 0).isEmpty() || !table.Cell(0, table.RowCount()).isEmpty()
        || !table.Cell(-1, 0).isEmpty() || !table.Cell(0, -1).isEmpty())
        Fail("a cell outside the table is not empty");
    return 0;
}
