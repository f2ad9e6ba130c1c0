#include "core/system/FileIdentity.h"

#include "core/system/FileNames.h"

#include <sys/stat.h>

std::optional<FileIdentity> FileIdentity::of(const QString& name)
{
    struct stat file {};
    if (::stat(nameBytes(name).constData(), &file) != 0)
        return std::nullopt;
    return FileIdentity(file.st_dev, file.st_ino);
}

std::optional<FileIdentity> FileIdentity::of(std::FILE* stream)
{
    struct stat file {};
    if (::fstat(::fileno(stream), &file) != 0)
        return std::nullopt;
    return FileIdentity(file.st_dev, file.st_ino);
}
