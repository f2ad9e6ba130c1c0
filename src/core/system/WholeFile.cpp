#include "core/system/WholeFile.h"

#include "core/system/SystemReason.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Writes every byte from the start of the file; false, with errno, when a write fails. A short
// write (a disk filling up) is retried for the rest, which then fails with the reason.
bool writeAll(int fd, const QByteArray& bytes)
{
    for (qint64 done = 0; done < bytes.size();) {
        const ssize_t n = ::pwrite(fd, bytes.constData() + done, bytes.size() - done, done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        done += n;
    }
    return true;
}

// The whole file; false, with errno, when a read fails.
bool readAll(int fd, QByteArray& bytes)
{
    struct stat file {};
    if (::fstat(fd, &file) != 0)
        return false;
    bytes.resize(file.st_size);
    for (qint64 done = 0; done < bytes.size();) {
        const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            bytes.truncate(done);
        done += n;
    }
    return true;
}

// Past the process's file-size limit a write stops part-way (or ends the process): such a
// write is refused before it starts.
bool fitsSizeLimit(qint64 size)
{
    rlimit limit{};
    return ::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || rlim_t(size) <= limit.rlim_cur;
}

} // namespace

WholeFile::WholeFile(const QString& path, Mode mode) : path_(path), mode_(mode)
{
    // Writing through a link writes the file it points to and keeps the link.
    const QString linked = QFileInfo(path).canonicalFilePath();
    target_ = QFile::encodeName(linked.isEmpty() ? path : linked);
}

WholeFile::~WholeFile()
{
    discard();
}

QString WholeFile::reason() const
{
    return systemReason(errorNumber_);
}

bool WholeFile::failed(int errorNumber)
{
    errorNumber_ = errorNumber;
    return false;
}

int WholeFile::closeFile()
{
    const int closed = ::close(fd_);
    fd_ = -1;
    return closed;
}

void WholeFile::discard()
{
    if (fd_ >= 0)
        closeFile();
    if (!temporary_.isEmpty())
        ::unlink(temporary_.constData());
    temporary_.clear();
}

bool WholeFile::open()
{
    struct stat existing {};
    const bool exists = ::stat(target_.constData(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        return failed(EISDIR);
    if (exists && mode_ == NeverReplace)
        return failed(EEXIST);
    // A name no other file has, beside the target so that the rename stays in one file system.
    // A new file gets the usual permissions, a replacement those of the file it replaces.
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        temporary_ = target_ + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        fd_ = ::open(temporary_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, exists ? 0600 : 0666);
        if (fd_ < 0 && errno != EEXIST)
            break;
    }
    if (fd_ >= 0) {
        if (exists && ::fchmod(fd_, existing.st_mode & 0777) != 0) {
            failed(errno);
            discard();
            return false;
        }
        return true;
    }
    const int error = errno;
    temporary_.clear();
    if (error != EACCES || !exists || !S_ISREG(existing.st_mode))
        return failed(error);
    fd_ = ::open(target_.constData(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0 || !readAll(fd_, previous_)) {
        failed(errno);
        discard();
        return false;
    }
    return true;
}

bool WholeFile::commit(const QByteArray& bytes)
{
    Q_ASSERT(fd_ >= 0);
    const bool written = !fitsSizeLimit(std::max(bytes.size(), previous_.size())) ? failed(EFBIG)
        : temporary_.isEmpty()                                                  ? rewrite(bytes)
                                                                                : replace(bytes);
    discard();
    return written;
}

bool WholeFile::replace(const QByteArray& bytes)
{
    if (!writeAll(fd_, bytes) || ::fdatasync(fd_) != 0 || closeFile() != 0 || !rename())
        return failed(errno);
    temporary_.clear();
    return syncFolder();
}

bool WholeFile::rename()
{
    if (mode_ == ReplaceExisting)
        return ::rename(temporary_.constData(), target_.constData()) == 0;
    if (::renameat2(AT_FDCWD, temporary_.constData(), AT_FDCWD, target_.constData(), RENAME_NOREPLACE) == 0)
        return true;
    // A file system without the no-replace rename still links a name only where there is none.
    if (errno != EINVAL || ::link(temporary_.constData(), target_.constData()) != 0)
        return false;
    ::unlink(temporary_.constData());
    return true;
}

bool WholeFile::rewrite(const QByteArray& bytes)
{
    if (writeAll(fd_, bytes) && ::ftruncate(fd_, bytes.size()) == 0 && ::fdatasync(fd_) == 0)
        return true;
    const int error = errno;
    // The old bytes go back where the new ones went; the size limit was checked to allow them.
    if (writeAll(fd_, previous_) && ::ftruncate(fd_, previous_.size()) == 0)
        ::fdatasync(fd_);
    return failed(error);
}

bool WholeFile::syncFolder()
{
    const qsizetype slash = target_.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArrayLiteral(".") : target_.left(std::max<qsizetype>(slash, 1));
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // A folder this process may not read cannot be synced from here, and a file system that
    // does not sync folders (EINVAL) keeps the rename by its own means.
    if (fd < 0)
        return true;
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    const int error = errno;
    ::close(fd);
    return synced || failed(error);
}
