#include "rec/IndexFile.h"

#include "rec/SweepOutput.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

OutputError failure(const QString& path, int error)
{
    return OutputError(QStringLiteral("%1: %2").arg(path, englishReason(error)), error);
}

// Opened without waiting for a FIFO's other end, and refused unless a regular file.
int openRegular(const QString& path, int flags)
{
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        throw failure(path, errno);
    struct stat file {};
    if (::fstat(fd, &file) != 0 || !S_ISREG(file.st_mode)) {
        ::close(fd);
        throw OutputError(QStringLiteral("%1: not a regular file").arg(path), EINVAL);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

} // namespace

QByteArray IndexFile::read(const QString& path)
{
    QFile index;
    index.open(openRegular(path, O_RDONLY), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    return index.readAll();
}

IndexFile::IndexFile(const QString& path) : path_(path), handle_(openRegular(path, O_WRONLY | O_APPEND | O_CREAT))
{
}

IndexFile::~IndexFile()
{
    ::close(int(handle_));
}

qint64 IndexFile::size() const
{
    return ::lseek(int(handle_), 0, SEEK_END);
}

void IndexFile::cutTo(qint64 length)
{
    if (::ftruncate(int(handle_), length) != 0)
        throw failure(path_, errno);
}

void IndexFile::append(const QByteArray& bytes)
{
    const int fd = int(handle_);
    const off_t before = ::lseek(fd, 0, SEEK_END);
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            if (before >= 0)
                ::ftruncate(fd, before);
            throw failure(path_, error);
        }
        done += n;
    }
}

int makeOneFolder(const QString& path)
{
    return ::mkdir(QFile::encodeName(path).constData(), 0777) == 0 ? 0 : errno;
}
