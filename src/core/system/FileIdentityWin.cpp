#include "core/system/FileIdentity.h"

#include <io.h>
#include <windows.h>

namespace {

std::optional<FileIdentity> identityOf(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION information{};
    if (handle == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(handle, &information))
        return std::nullopt;
    return FileIdentity(information.dwVolumeSerialNumber, quint64(information.nFileIndexHigh) << 32 | information.nFileIndexLow);
}

} // namespace

std::optional<FileIdentity> FileIdentity::of(const QString& name)
{
    // Opened for nothing but its information, shared with every other opener; a folder needs
    // the backup semantics to be opened at all.
    const HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(name.utf16()), 0,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const std::optional<FileIdentity> identity = identityOf(file);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return identity;
}

std::optional<FileIdentity> FileIdentity::of(std::FILE* stream)
{
    return identityOf(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))));
}
