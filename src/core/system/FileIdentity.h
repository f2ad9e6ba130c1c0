#pragma once

#include <QString>

#include <cstdio>
#include <optional>

// A file as the system knows it, whatever name reaches it (a link, a second hard link, and on
// Windows another case, trailing dots or spaces, an 8.3 name): device and inode on POSIX, the
// volume's serial number and the file index on Windows. Names of one file have one identity.
class FileIdentity {
public:
    // The file a name reaches, links followed; none when it reaches nothing that can be looked at.
    static std::optional<FileIdentity> of(const QString& name);
    // The file an open stream reads or writes; none where the system tells of no file (a
    // console or a pipe on Windows).
    static std::optional<FileIdentity> of(std::FILE* stream);
    // The numbers by which the system knows the file's volume and the file on it.
    FileIdentity(quint64 volume, quint64 file) : volume_(volume), file_(file) {}
    bool operator==(const FileIdentity&) const = default;

private:
    quint64 volume_;
    quint64 file_;
};

// Whether two names reach the same file; false when either reaches none.
inline bool sameFile(const QString& a, const QString& b)
{
    const std::optional<FileIdentity> first = FileIdentity::of(a);
    return first && first == FileIdentity::of(b);
}

// Whether a name reaches the file an open stream reads or writes.
inline bool sameFile(const QString& name, std::FILE* stream)
{
    const std::optional<FileIdentity> named = FileIdentity::of(name);
    return named && named == FileIdentity::of(stream);
}
