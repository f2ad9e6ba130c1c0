// Windows' writes of SampleStream. A pipe on Windows has no wait for room that a console control
// event could end: the rows go in blocking writes of a pipe buffer's size at most, and a stop or
// the end of the time allowed is seen between them, so a reader that takes nothing at all holds
// the recording until it reads or goes away.
#include "rec/SampleStream.h"

#include "core/system/WindowsError.h"

#include <algorithm>
#include <cerrno>

#include <io.h>
#include <windows.h>

namespace {

constexpr qsizetype Chunk = 4096;
HANDLE handleOf(int fd)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

} // namespace

SampleStream::SampleStream(std::FILE* out, std::optional<double> seconds, bool triggered)
    : out_(out), fd_(out ? _fileno(out) : -1), seconds_(seconds), triggered_(triggered)
{
    if (fd_ < 0 || handleOf(fd_) == INVALID_HANDLE_VALUE)
        throw streamError(EBADF);
    const DWORD type = GetFileType(handleOf(fd_));
    if (type == FILE_TYPE_UNKNOWN)
        throw OutputError(QStringLiteral("standard output: not a file, a pipe or a terminal"), EINVAL);
    regular_ = type == FILE_TYPE_DISK;
}

void SampleStream::put(const QByteArray& text)
{
    if (std::fflush(out_) != 0)
        throw streamError(errno);
    QElapsedTimer stalled;
    stalled.start();
    for (qsizetype done = 0; done < text.size();) {
        mayGoOn(stalled);
        DWORD n = 0;
        const DWORD size = DWORD(regular_ ? std::min<qsizetype>(text.size() - done, 1 << 30) : std::min(text.size() - done, Chunk));
        if (!WriteFile(handleOf(fd_), text.constData() + done, size, &n, nullptr))
            throw streamError(errnoFromWindows(GetLastError()));
        if (n > 0) {
            done += n;
            stalled.start();
        }
    }
}
