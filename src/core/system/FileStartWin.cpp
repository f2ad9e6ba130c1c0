#include "core/system/FileStart.h"

#include "core/system/WindowsError.h"

#include <QDir>
#include <QScopeGuard>
#include <QString>

#include <windows.h>

// Names are UTF-8 here (Qt's encoding of file names on Windows), opened as the system's wide
// names. Backup semantics let a folder open too, so that it is told apart by what was opened.
FileStart readFileStart(const QByteArray& path, qsizetype limit)
{
    FileStart found;
    const auto unreadable = [&found](unsigned long error) {
        found.kind = FileStart::Unreadable;
        found.errorNumber = errnoFromWindows(error);
        return found;
    };
    const std::wstring name = QDir::toNativeSeparators(QString::fromUtf8(path)).toStdWString();
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return unreadable(GetLastError());
    const auto closer = qScopeGuard([file] { CloseHandle(file); });
    // A device (NUL, CON, COMn, a pipe) is not read: it could block or never end.
    if (GetFileType(file) != FILE_TYPE_DISK) {
        found.kind = FileStart::Special;
        return found;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file, &information))
        return unreadable(GetLastError());
    if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        found.kind = FileStart::Folder;
        return found;
    }
    found.bytes.resize(limit);
    qsizetype done = 0;
    while (done < limit) {
        DWORD n = 0;
        if (!ReadFile(file, found.bytes.data() + done, DWORD(limit - done), &n, nullptr))
            return unreadable(GetLastError());
        if (n == 0)
            break;
        done += n;
    }
    found.bytes.truncate(done);
    return found;
}
