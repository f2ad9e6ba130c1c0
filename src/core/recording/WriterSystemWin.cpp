#include "core/recording/WriterSystem.h"

#include "core/system/WindowsError.h"

#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace {

HANDLE openShared(const QByteArray& path, DWORD access)
{
    return CreateFileW(reinterpret_cast<const wchar_t*>(QString::fromUtf8(path).utf16()), access,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
}

// Far past the data: a lock on Windows keeps other processes from reading what it covers.
OVERLAPPED lockedByte()
{
    OVERLAPPED at{};
    at.OffsetHigh = 0x40000000;
    return at;
}

} // namespace

bool WriterLock::heldOn(const QByteArray& path)
{
    const HANDLE file = openShared(path, GENERIC_READ);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    // A shared lock of its own for a moment: refused only while a writer has the byte.
    OVERLAPPED at = lockedByte();
    const bool free = LockFileEx(file, LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at);
    const bool held = !free && GetLastError() == ERROR_LOCK_VIOLATION;
    if (free)
        UnlockFileEx(file, 0, 1, 0, &at);
    CloseHandle(file);
    return held;
}

WriterLock::WriterLock(const QByteArray& path)
{
    const HANDLE file = openShared(path, GENERIC_READ | GENERIC_WRITE);
    if (file == INVALID_HANDLE_VALUE) {
        error_ = errnoFromWindows(GetLastError());
        return;
    }
    OVERLAPPED at = lockedByte();
    if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        const DWORD error = GetLastError();
        busy_ = error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING;
        error_ = busy_ ? EAGAIN : errnoFromWindows(error);
        CloseHandle(file);
        return;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
}

WriterLock::~WriterLock()
{
    if (handle_ != -1)
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

herr_t setLibraryLocks(hid_t access)
{
    return H5Pset_file_locking(access, false, true);
}

int syncData(int descriptor)
{
    return _commit(descriptor) == 0 ? 0 : errno;
}

int reserveSpace(int descriptor, qint64 size)
{
    // NTFS gives the clusters when the end of the file moves.
    const qint64 now = _filelengthi64(descriptor);
    if (now < 0)
        return errno;
    return now >= size ? 0 : _chsize_s(descriptor, size);
}

int truncateTo(int descriptor, qint64 size)
{
    return _chsize_s(descriptor, size);
}

int detach(int descriptor)
{
    wchar_t folder[MAX_PATH + 1], name[MAX_PATH + 1];
    if (!GetTempPathW(MAX_PATH + 1, folder) || !GetTempFileNameW(folder, L"q39", 0, name))
        return errnoFromWindows(GetLastError());
    const HANDLE file = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return errnoFromWindows(GetLastError());
    const int scratch = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
    if (scratch < 0) {
        CloseHandle(file);
        return EMFILE;
    }
    const int error = _dup2(scratch, descriptor) < 0 ? errno : 0;
    _close(scratch);
    return error;
}
