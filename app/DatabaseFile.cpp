#include "DatabaseFile.h"

#include "GridText.h"

#include <QFile>
#include <QFileInfo>

#include <cstring>

namespace {
[[noreturn]] void Fail(const QString& path, const QString& reason)
{
    throw EInOutError(QStringLiteral("Cannot read the file %1: %2").arg(path, reason).toLocal8Bit().toStdString());
}

qsizetype CountByte(const char* p, qsizetype n, char byte)
{
    qsizetype count = 0;
    const char* end = p + n;
    while ((p = static_cast<const char*>(std::memchr(p, byte, static_cast<size_t>(end - p)))) != nullptr) {
        ++count;
        ++p;
    }
    return count;
}
}

TGridContent ParseDatabase(QByteArray bytes)
{
    TGridContent t;
    if (const void* eof = std::memchr(bytes.constData(), 26, static_cast<size_t>(bytes.size())))
        bytes.truncate(static_cast<const char*>(eof) - bytes.constData());
    const char* data = bytes.constData();
    const qsizetype size = bytes.size();

    // Sized up front from the separators, so a big file never reallocates its tables.
    const qsizetype lines = CountByte(data, size, '\n') + 1;
    t.RowStart.reserve(static_cast<size_t>(lines) + 1);
    t.Fields.reserve(static_cast<size_t>(lines + CountByte(data, size, ';')));

    qsizetype pos = 0;
    while (pos < size) {
        const char* nl = static_cast<const char*>(std::memchr(data + pos, '\n', static_cast<size_t>(size - pos)));
        qsizetype end = nl ? nl - data : size;
        const qsizetype next = nl ? end + 1 : size;
        if (nl && end > pos && data[end - 1] == '\r')
            --end;  // CR LF ends a line as LF does
        if (end > pos) {
            int cols = 0;
            qsizetype field = pos;
            for (;;) {
                const char* semi = static_cast<const char*>(std::memchr(data + field, ';', static_cast<size_t>(end - field)));
                const qsizetype stop = semi ? semi - data : end;
                t.Fields.emplace_back(static_cast<std::uint32_t>(field), static_cast<std::uint32_t>(stop));
                ++cols;
                if (!semi)
                    break;
                field = stop + 1;
            }
            if (cols > t.Cols)
                t.Cols = cols;
            t.RowStart.push_back(static_cast<std::uint32_t>(t.Fields.size()));
        }
        pos = next;
    }
    t.Utf8 = IsValidUtf8(data, size);
    t.Bytes = std::move(bytes);
    return t;
}

void LoadDatabaseFile(const QString& path, TGridTable& table)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        Fail(path, file.errorString());
    if (QFileInfo(path).isDir())
        Fail(path, QStringLiteral("Is a directory"));
    // Offsets are 32-bit: that bounds a database at 4 GiB, far beyond any scale's memory.
    if (file.size() >= qint64(0xFFFFFFFFu))
        Fail(path, QStringLiteral("File too large"));
    QByteArray bytes;
    bytes.resize(static_cast<qsizetype>(file.size()));
    qsizetype got = 0;
    for (;;) {
        if (got == bytes.size())
            bytes.resize(got + 65536);  // the file grew, or reports no size (a pipe)
        const qint64 n = file.read(bytes.data() + got, bytes.size() - got);
        if (n < 0)
            Fail(path, file.errorString());
        if (n == 0)
            break;
        got += n;
        if (got >= qsizetype(0xFFFFFFFFu))
            Fail(path, QStringLiteral("File too large"));
    }
    bytes.truncate(got);
    table.Assign(ParseDatabase(std::move(bytes)));
}
