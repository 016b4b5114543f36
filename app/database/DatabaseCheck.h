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
        fkEmptyRecord,   // Count: rows after it, never sent
        fkTooLongForUdp, // Count: the record's bytes
        fkLineBreak,     // Breaks: which were found; Field: the field of the first
        fkControl,       // Byte: the first such byte; Field: its field; Count: how many
        fkFewerFields,   // Count: the row's fields; Widest: the widest row's
        fkEncoding,      // Utf8: which kind the row is; Count: rows of the other kind; FirstRow: the first of them
        fkNoDatabase,    // row 0, the only finding: no file was loaded; Count: the grid's rows
        fkTooLarge,      // Count: the record's bytes, over MaxRecordBytes; scaledb send refuses the upload
    };
    enum : std::uint8_t { brCR = 1, brLF = 2, brNUL = 4 };

    int Row = 0;  // from 1, as the grid's rows are counted
    TKind Kind = fkEmptyRecord;
    std::uint8_t Breaks = 0;  // the line-break bytes found, brCR | brLF | brNUL
    std::uint8_t Byte = 0;    // a control byte's value
    bool Utf8 = false;        // the row is UTF-8 among rows that are not; false the other way
    std::uint32_t Count = 0;     // how many, of what the kind says
    std::uint32_t Field = 0;     // from 1
    std::uint32_t Widest = 0;    // the fields of the widest row
    std::uint32_t FirstRow = 0;  // from 1

    // "row 5: ..." in plain English (the whole grid's finding names no row). Built on demand: a large file may have a finding on every row.
    QString Text() const;
};

// The most a record may have: a larger one is never sent.
constexpr std::uint32_t MaxRecordBytes = std::uint32_t(16) << 20;

// "record 5 is 16,777,217 bytes, over the 16 MiB a record may have": why a
// fkTooLarge finding refuses the upload.
QString TooLargeCause(const TFinding& f);

// Every finding, in row order. udp: the link is UDP, where a command holds at most 99 bytes.
std::vector<TFinding> CheckDatabase(const TGridTable& table, bool udp);
