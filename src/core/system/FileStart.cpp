#include "core/system/FileStart.h"

FileStart readFileStart(const QByteArray& path, qsizetype limit)
{
    FileReading file(path);
    FileStart found{file.kind(), file.errorNumber(), {}};
    if (found.kind != FileStart::Regular)
        return found;
    found.bytes.reserve(limit);
    for (qsizetype n = 1; n > 0 && found.bytes.size() < limit;)
        n = file.read(found.bytes, limit - found.bytes.size());
    if (file.kind() == FileStart::Unreadable)
        return {FileStart::Unreadable, file.errorNumber(), {}};
    return found;
}

bool FileReading::unreadable(int errorNumber)
{
    kind_ = FileStart::Unreadable;
    errorNumber_ = errorNumber;
    return false;
}
