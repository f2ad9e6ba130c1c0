// The POSIX writes of SampleStream: poll(2) for room, then write(2), a stop signal ending any wait.
#include "rec/SampleStream.h"


#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The longest a write goes without looking for a stop or the end of the time allowed.
constexpr int WaitSliceMs = 100;
} // namespace

SampleStream::SampleStream(std::FILE* out, std::optional<double> seconds, bool triggered)
    : out_(out), fd_(out ? fileno(out) : -1), seconds_(seconds), triggered_(triggered)
{
    struct stat file {};
    if (fd_ < 0)
        throw streamError(EBADF);
    if (::fstat(fd_, &file) != 0)
        throw streamError(errno);
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags >= 0 && (flags & O_ACCMODE) == O_RDONLY)
        throw streamError(EBADF);
    if (!S_ISREG(file.st_mode) && !S_ISFIFO(file.st_mode) && !S_ISSOCK(file.st_mode) && !S_ISCHR(file.st_mode))
        throw OutputError(QStringLiteral("standard output: not a file, a pipe or a terminal"), S_ISDIR(file.st_mode) ? EISDIR : EINVAL);
    regular_ = S_ISREG(file.st_mode);
}

void SampleStream::put(const QByteArray& text)
{
    if (std::fflush(out_) != 0)
        throw streamError(errno);
    // A pipe or terminal that shows room takes PIPE_BUF bytes without blocking; a wait for room
    // is the poll's, which a stop signal ends at once, and the end of the time allowed once the
    // reader has been silent for a while. A file's writes wait for nothing but the disk.
    QElapsedTimer stalled;
    stalled.start();
    for (qsizetype done = 0; done < text.size();) {
        mayGoOn(stalled);
        pollfd ready{fd_, POLLOUT, 0};
        const int polled = regular_ ? 1 : ::poll(&ready, 1, WaitSliceMs);
        if (polled < 0 && errno != EINTR)
            throw streamError(errno);
        if (polled <= 0)
            continue;
        const ssize_t n = ::write(fd_, text.constData() + done, std::size_t(regular_ ? text.size() - done : std::min<qsizetype>(text.size() - done, PIPE_BUF)));
        if (n < 0 && errno != EINTR && errno != EAGAIN)
            throw streamError(errno);
        if (n > 0) {
            done += n;
            stalled.start();
        }
    }
}
