#include "StreamWrite.h"

#include "QuitSignals.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Set the first time a write sees that a quit signal came; shared by every
// write after it, so all of them together stay within the grace.
QDeadlineTimer& Grace()
{
    static QDeadlineTimer grace(QDeadlineTimer::Forever);
    if (grace.isForever() && QuitSignalCaught())
        grace.setRemainingTime(kQuitGraceMs);
    return grace;
}

// A pipe, terminal or socket that polls writable takes PIPE_BUF bytes
// without blocking; a regular file takes everything.
std::size_t Chunk(int fd, std::size_t left)
{
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        return left;
    return std::min<std::size_t>(left, PIPE_BUF);
}

} // namespace

long WriteNow(int fd, const char* data, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        pollfd p{fd, POLLOUT, 0};
        const int ready = ::poll(&p, 1, 0);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return ready < 0 ? -1 : static_cast<long>(done);
        const ssize_t n = ::write(fd, data + done, Chunk(fd, size - done));
        if (n < 0 && errno != EINTR && errno != EAGAIN)
            return -1;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<long>(done);
}

bool WriteAllOut(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    std::size_t left = static_cast<std::size_t>(bytes.size());
    while (left > 0) {
        const QDeadlineTimer& grace = Grace();
        // Without a signal, a tenth of a second at a time, so one that comes
        // is seen; past the grace, only what fd takes at once.
        const int wait = grace.isForever() ? 100 : static_cast<int>(std::max<qint64>(grace.remainingTime(), 0));
        pollfd p{fd, POLLOUT, 0};
        const int ready = ::poll(&p, 1, wait);
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready == 0 && !grace.isForever() && grace.hasExpired()) {
            errno = ETIME;
            return false;
        }
        if (ready <= 0)
            continue;
        const ssize_t n = ::write(fd, data, Chunk(fd, left));
        if (n < 0 && errno != EINTR && errno != EAGAIN)
            return false;
        if (n > 0) {
            data += n;
            left -= static_cast<std::size_t>(n);
        }
    }
    return true;
}
