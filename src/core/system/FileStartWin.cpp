#include "core/system/FileStart.h"

#include "core/system/WindowsError.h"

#include <QDir>
#include <QString>

#include <cerrno>

#include <windows.h>

// Names are UTF-8 here (Qt's encoding of file names on Windows), opened as the system's wide
// names. Backup semantics let a folder open too, so that it is told apart by what was opened;
// a link refused is opened as itself, and told by its attributes.
FileReading::FileReading(const QByteArray& path, Links links)
{
    const std::wstring name = QDir::toNativeSeparators(QString::fromUtf8(path)).toStdWString();
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | (links == Refused ? FILE_FLAG_OPEN_REPARSE_POINT : 0),
                                    nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        unreadable(errnoFromWindows(GetLastError()));
        return;
    }
    handle_ = reinterpret_cast<qintptr>(file);
    // A device (NUL, CON, COMn, a pipe) is not read: it could block or never end.
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileType(file) != FILE_TYPE_DISK)
        kind_ = FileStart::Special;
    else if (!GetFileInformationByHandle(file, &information))
        unreadable(errnoFromWindows(GetLastError()));
    else if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT && links == Refused)
        kind_ = FileStart::Special;
    else if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        kind_ = FileStart::Folder;
    else
        size_ = qint64(information.nFileSizeHigh) << 32 | information.nFileSizeLow;
}

FileReading::~FileReading()
{
    if (handle_ != -1)
        CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

qsizetype FileReading::read(QByteArray& into, qsizetype most)
{
    if (kind_ != FileStart::Regular)
        return -1;
    const qsizetype had = into.size();
    into.resize(had + most);
    DWORD n = 0;
    const BOOL done = ReadFile(reinterpret_cast<HANDLE>(handle_), into.data() + had, DWORD(std::min<qsizetype>(most, 1 << 30)), &n, nullptr);
    into.truncate(had + (done ? qsizetype(n) : 0));
    if (done)
        return n;
    unreadable(errnoFromWindows(GetLastError()));
    return -1;
}
