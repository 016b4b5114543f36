#pragma once
// The check of a table before it goes to the scale: what would make the
// upload stop half-way or leave the scale with wrong data. It reads the
// table only; what is sent never changes.
#include "GridTable.h"

#include <QString>

#include <cstdint>
#include <vector>

struct TFinding {
    // In the order a row's findings are listed.
    enum TKind : std::uint8_t {
        fkEmptyRecord,   // A: rows after it, never sent
        fkTooLongForUdp, // A: the record's bytes
        fkLineBreak,     // A: CR 1 | LF 2 | NUL 4 found; B: the field of the first
        fkControl,       // A: the first such byte; B: its field; C: how many
        fkFewerFields,   // A: the row's fields; B: the widest row's
        fkEncoding,      // A: 1 the row is UTF-8 among rows that are not, 0 the other way; B: rows of the other kind; C: the first of them
        fkNoDatabase,    // row 0, the only finding: no file was loaded; A: the grid's rows
    };

    int Row = 0;  // from 1, as the grid's rows are counted
    TKind Kind = fkEmptyRecord;
    std::uint32_t A = 0, B = 0, C = 0;

    // "row 5: ..." in plain English (the whole grid's finding names no row). Built on demand: a large file may have a finding on every row.
    QString Text() const;
};

// Every finding, in row order. udp: the link is UDP, where a command holds at most 99 bytes.
std::vector<TFinding> CheckDatabase(const TGridTable& table, bool udp);
