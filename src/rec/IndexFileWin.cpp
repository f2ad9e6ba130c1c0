#include "rec/IndexFile.h"

#include "core/system/WindowsError.h"
#include "rec/SweepOutput.h"

#include <QDir>

#include <algorithm>
#include <cerrno>
#include <string>

#include <windows.h>

namespace {

std::wstring wide(const QString& path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

OutputError failure(const QString& path, unsigned long error)
{
    const int number = errnoFromWindows(error);
    return OutputError(QStringLiteral("%1: %2").arg(path, englishReason(number)), number);
}

// Refused unless a file on a disk (a folder does not open without backup semantics; a device
// name such as NUL opens as a device). Shared, so that a reader of the index may look in.
HANDLE openRegular(const QString& path, DWORD access, DWORD creation)
{
    const HANDLE file = CreateFileW(wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, creation, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw failure(path, GetLastError());
    if (GetFileType(file) != FILE_TYPE_DISK) {
        CloseHandle(file);
        throw OutputError(QStringLiteral("%1: not a regular file").arg(path), EINVAL);
    }
    return file;
}

HANDLE handleOf(qintptr handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

} // namespace

QByteArray IndexFile::read(const QString& path)
{
    const HANDLE file = openRegular(path, GENERIC_READ, OPEN_EXISTING);
    QByteArray text;
    char buffer[65536];
    DWORD n = 0;
    BOOL read = TRUE;
    while ((read = ReadFile(file, buffer, sizeof buffer, &n, nullptr)) && n > 0)
        text.append(buffer, n);
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (!read)
        throw failure(path, error);
    return text;
}

IndexFile::IndexFile(const QString& path)
    : path_(path), handle_(reinterpret_cast<qintptr>(openRegular(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS)))
{
}

IndexFile::~IndexFile()
{
    CloseHandle(handleOf(handle_));
}

qint64 IndexFile::size() const
{
    LARGE_INTEGER size{};
    return GetFileSizeEx(handleOf(handle_), &size) ? size.QuadPart : -1;
}

void IndexFile::cutTo(qint64 length)
{
    LARGE_INTEGER at{};
    at.QuadPart = length;
    if (!SetFilePointerEx(handleOf(handle_), at, nullptr, FILE_BEGIN) || !SetEndOfFile(handleOf(handle_)))
        throw failure(path_, GetLastError());
}

void IndexFile::append(const QByteArray& bytes)
{
    // One writer at a time (the folder's lock), so the end found is where the bytes go.
    const qint64 before = size();
    const LARGE_INTEGER none{};
    if (before < 0 || !SetFilePointerEx(handleOf(handle_), none, nullptr, FILE_END))
        throw failure(path_, GetLastError());
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
            throw failure(path_, error);
        }
        done += n;
    }
}

int makeOneFolder(const QString& path)
{
    return CreateDirectoryW(wide(path).c_str(), nullptr) ? 0 : errnoFromWindows(GetLastError());
}
