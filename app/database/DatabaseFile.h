#pragma once
// Reading a database file into the table: one record per non-empty line,
// fields split at ';', no quoting and no trimming, bytes kept as they are.
#include "GridTable.h"

#include <QString>
#include <stdexcept>

// An input/output failure; its text names the file and the system's reason.
class EInOutError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Parses a whole file's bytes (Ctrl+Z ends them) into table content.
TGridContent ParseDatabase(QByteArray bytes);

// Loads the file into the table. A file that cannot be opened or read, or is
// no regular file (a FIFO, socket or device), throws EInOutError and leaves
// the table as it was.
void LoadDatabaseFile(const QString& path, TGridTable& table);
