#include "core/system/AppendFile.h"

#include "core/system/WindowsError.h"

#include <QDir>
#include <QString>

#include <algorithm>
#include <cerrno>
#include <string>

#include <windows.h>

namespace {

std::wstring wide(const QByteArray& path)
{
    return QDir::toNativeSeparators(QString::fromUtf8(path)).toStdWString();
}

HANDLE handleOf(qintptr handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

} // namespace

AppendFile::AppendFile(const QByteArray& path)
{
    // Shared, so that a reader of the index may look in. A link is opened as itself and told by
    // its attributes; a folder does not open without backup semantics; a device name such as
    // NUL opens as a device.
    const HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        failed(errnoFromWindows(GetLastError()));
        return;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &information)
        || information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        CloseHandle(file);
        notRegular_ = true;
        failed(EINVAL);
        return;
    }
    handle_ = reinterpret_cast<qintptr>(file);
}

AppendFile::~AppendFile()
{
    if (isOpen())
        CloseHandle(handleOf(handle_));
}

qint64 AppendFile::size() const
{
    LARGE_INTEGER size{};
    return GetFileSizeEx(handleOf(handle_), &size) ? size.QuadPart : -1;
}

bool AppendFile::cutTo(qint64 length)
{
    LARGE_INTEGER at{};
    at.QuadPart = length;
    return (SetFilePointerEx(handleOf(handle_), at, nullptr, FILE_BEGIN) && SetEndOfFile(handleOf(handle_)))
        || failed(errnoFromWindows(GetLastError()));
}

bool AppendFile::append(const QByteArray& bytes)
{
    // One writer at a time, so the end found is where the bytes go.
    const qint64 before = size();
    const LARGE_INTEGER none{};
    if (before < 0 || !SetFilePointerEx(handleOf(handle_), none, nullptr, FILE_END))
        return failed(errnoFromWindows(GetLastError()));
    for (qsizetype done = 0; done < bytes.size();) {
        DWORD n = 0;
        const DWORD chunk = DWORD(std::min<qsizetype>(bytes.size() - done, 1 << 30));
        const BOOL written = WriteFile(handleOf(handle_), bytes.constData() + done, chunk, &n, nullptr);
        if (!written || n == 0) {
            const DWORD error = written ? DWORD(ERROR_WRITE_FAULT) : GetLastError();
            LARGE_INTEGER at{};
            at.QuadPart = before;
            if (SetFilePointerEx(handleOf(handle_), at, nullptr, FILE_BEGIN))
                SetEndOfFile(handleOf(handle_));
            return failed(errnoFromWindows(error));
        }
        done += n;
    }
    return true;
}

int makeOneFolder(const QByteArray& path)
{
    return CreateDirectoryW(wide(path).c_str(), nullptr) ? 0 : errnoFromWindows(GetLastError());
}
