#include "core/recording/WriterSystem.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

constexpr off_t LockedByte = off_t(1) << 62;

struct flock lockedByte(short type)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = LockedByte;
    lock.l_len = 1;
    return lock;
}

} // namespace

bool WriterLock::heldOn(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct flock lock = lockedByte(F_WRLCK);
    const bool held = ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    ::close(fd);
    return held;
}

WriterLock::WriterLock(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error_ = errno;
        return;
    }
    struct flock lock = lockedByte(F_WRLCK);
    if (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        error_ = errno;
        busy_ = error_ == EAGAIN || error_ == EACCES;
        ::close(fd);
        return;
    }
    handle_ = fd;
}

WriterLock::~WriterLock()
{
    if (handle_ >= 0)
        ::close(int(handle_));
}

herr_t setLibraryLocks(hid_t)
{
    return 0;
}

int syncData(int descriptor)
{
    return ::fdatasync(descriptor) == 0 ? 0 : errno;
}

int reserveSpace(int descriptor, qint64 size)
{
    // The file's size grows too, so that the process's file-size limit is met here.
    return ::posix_fallocate(descriptor, 0, size);
}

int truncateTo(int descriptor, qint64 size)
{
    return ::ftruncate(descriptor, size) == 0 ? 0 : errno;
}

int detach(int descriptor)
{
    // In memory: the disk may be the one that is full.
    const int scratch = ::memfd_create("q390-detached", MFD_CLOEXEC);
    if (scratch < 0)
        return errno;
    const int error = ::dup3(scratch, descriptor, O_CLOEXEC) < 0 ? errno : 0;
    ::close(scratch);
    return error;
}
