#include "core/system/AppendFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

AppendFile::AppendFile(const QByteArray& path)
{
    // Opened without waiting for a FIFO's other end, nor through a link.
    const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        notRegular_ = errno == ELOOP;
        failed(errno);
        return;
    }
    struct stat file {};
    if (::fstat(fd, &file) != 0 || !S_ISREG(file.st_mode)) {
        notRegular_ = true;
        failed(EINVAL);
        ::close(fd);
        return;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    handle_ = fd;
}

AppendFile::~AppendFile()
{
    if (isOpen())
        ::close(int(handle_));
}

qint64 AppendFile::size() const
{
    return ::lseek(int(handle_), 0, SEEK_END);
}

bool AppendFile::cutTo(qint64 length)
{
    return ::ftruncate(int(handle_), length) == 0 || failed(errno);
}

bool AppendFile::append(const QByteArray& bytes)
{
    const int fd = int(handle_);
    const off_t before = ::lseek(fd, 0, SEEK_END);
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            // The part of the row that went is taken back; should that fail too, the index's
            // reader drops a row cut short, so the write's error is the one to tell.
            if (before >= 0) {
                [[maybe_unused]] const int cut = ::ftruncate(fd, before);
            }
            return failed(error);
        }
        done += n;
    }
    return true;
}

int makeOneFolder(const QByteArray& path)
{
    return ::mkdir(path.constData(), 0777) == 0 ? 0 : errno;
}
