#include "DatabaseFile.h"

#include "ByteScan.h"
#include "GridText.h"

#include <QFile>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {
[[noreturn]] void Fail(const QString& path, const QString& reason)
{
    throw EInOutError(QStringLiteral("Cannot read the file %1: %2").arg(path, reason).toLocal8Bit().toStdString());
}

// Faulting a large buffer in 4 KiB at a time costs more than parsing it,
// notably in virtual machines; ask for huge pages where the kernel offers them.
void AdviseHugePages(const void* p, std::size_t bytes)
{
#ifdef MADV_HUGEPAGE
    constexpr std::uintptr_t huge = std::uintptr_t(2) << 20;
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(p) + huge - 1) & ~(huge - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(huge - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)p;
    (void)bytes;
#endif
}

template <typename T>
void ReserveLarge(std::vector<T>& v, std::size_t count)
{
    v.reserve(count);
    AdviseHugePages(v.data(), count * sizeof(T));
}
}

TGridContent ParseDatabase(QByteArray bytes)
{
    TGridContent t;
    if (const void* eof = std::memchr(bytes.constData(), 26, static_cast<size_t>(bytes.size())))
        bytes.truncate(static_cast<const char*>(eof) - bytes.constData());
    const char* const data = bytes.constData();
    const char* const end = data + bytes.size();

    // Sized up front from the separators, so a big file never reallocates its tables.
    const TByteCounts counts = CountBreaks(data, end);
    ReserveLarge(t.RowStart, static_cast<std::size_t>(counts.Lf) + 2);
    ReserveLarge(t.RowBegin, static_cast<std::size_t>(counts.Lf) + 1);
    ReserveLarge(t.FieldEnd, static_cast<std::size_t>(counts.Lf + counts.Semicolons) + 1);

    const char* line = data;
    while (line < end) {
        int cols = 0;
        const char* field = line;
        const char* stop;
        for (;;) {
            stop = NextBreak(field, end);
            if (stop == end || *stop == '\n')
                break;
            t.FieldEnd.push_back(static_cast<std::uint32_t>(stop - data));
            ++cols;
            field = stop + 1;
        }
        const char* lineEnd = stop;
        if (stop != end && lineEnd > field && lineEnd[-1] == '\r')
            --lineEnd;  // CR LF ends a line as LF does
        if (cols > 0 || lineEnd > line) {
            t.FieldEnd.push_back(static_cast<std::uint32_t>(lineEnd - data));
            ++cols;
            if (cols > t.Cols)
                t.Cols = cols;
            t.RowBegin.push_back(static_cast<std::uint32_t>(line - data));
            t.RowStart.push_back(static_cast<std::uint32_t>(t.FieldEnd.size()));
        }
        line = stop == end ? end : stop + 1;
    }
    t.Utf8 = IsValidUtf8(data, end - data);
    t.Bytes = std::move(bytes);
    return t;
}

void LoadDatabaseFile(const QString& path, TGridTable& table)
{
    // Opened without waiting and its type checked before any read: a FIFO
    // or a device would block or never end.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        Fail(path, QString::fromLocal8Bit(std::strerror(errno)));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const bool dir = S_ISDIR(st.st_mode);
        ::close(fd);
        if (dir)
            Fail(path, QStringLiteral("Is a directory"));
        throw EInOutError(QStringLiteral("%1 is not a regular file").arg(path).toLocal8Bit().toStdString());
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        Fail(path, file.errorString());
    }
    // Offsets are 32-bit: that bounds a database at 4 GiB, far beyond any scale's memory.
    if (file.size() >= qint64(0xFFFFFFFFu))
        Fail(path, QStringLiteral("File too large"));
    QByteArray bytes;
    bytes.resize(static_cast<qsizetype>(file.size()));
    AdviseHugePages(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    qsizetype got = 0;
    for (;;) {
        if (got == bytes.size())
            bytes.resize(got + 65536);  // the file grew
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
