#include "core/system/FileStart.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FileReading::FileReading(const QByteArray& path, Links links)
{
    // A FIFO opens at once without waiting for a writer; a terminal does not become ours.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (links == Refused ? O_NOFOLLOW : 0));
    if (fd < 0) {
        // A link refused is told as what it is, not as the loop O_NOFOLLOW reports.
        struct stat named {};
        if (errno == ELOOP && links == Refused && ::lstat(path.constData(), &named) == 0 && S_ISLNK(named.st_mode))
            kind_ = FileStart::Special;
        else
            unreadable(errno);
        return;
    }
    handle_ = fd;
    struct stat opened {};
    if (::fstat(fd, &opened) != 0)
        unreadable(errno);
    else if (!S_ISREG(opened.st_mode))
        kind_ = S_ISDIR(opened.st_mode) ? FileStart::Folder : FileStart::Special;
    else
        size_ = opened.st_size;
}

FileReading::~FileReading()
{
    if (handle_ >= 0)
        ::close(int(handle_));
}

qsizetype FileReading::read(QByteArray& into, qsizetype most)
{
    if (kind_ != FileStart::Regular)
        return -1;
    const qsizetype had = into.size();
    into.resize(had + most);
    ssize_t n;
    while ((n = ::read(int(handle_), into.data() + had, std::size_t(most))) < 0 && errno == EINTR) {
    }
    into.truncate(had + std::max<ssize_t>(n, 0));
    if (n < 0)
        unreadable(errno);
    return n;
}
