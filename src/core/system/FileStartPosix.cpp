#include "core/system/FileStart.h"

#include <QScopeGuard>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FileStart readFileStart(const QByteArray& path, qsizetype limit)
{
    FileStart found;
    const auto unreadable = [&found](int errorNumber) {
        found.kind = FileStart::Unreadable;
        found.errorNumber = errorNumber;
        return found;
    };
    // A FIFO opens at once without waiting for a writer; a terminal does not become ours.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return unreadable(errno);
    const auto closer = qScopeGuard([fd] { ::close(fd); });
    struct stat opened {};
    if (::fstat(fd, &opened) != 0)
        return unreadable(errno);
    if (!S_ISREG(opened.st_mode)) {
        found.kind = S_ISDIR(opened.st_mode) ? FileStart::Folder : FileStart::Special;
        return found;
    }
    found.bytes.resize(limit);
    qsizetype done = 0;
    while (done < limit) {
        const ssize_t n = ::read(fd, found.bytes.data() + done, limit - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return unreadable(errno);
        if (n == 0)
            break;
        done += n;
    }
    found.bytes.truncate(done);
    return found;
}
