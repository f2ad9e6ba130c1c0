#pragma once

#include <QByteArray>

// The first bytes of a file, read through one open: the type is that of what was opened,
// whatever the name stands for by then. A FIFO or a device is not read, since either could
// block or never end. Nothing is created or changed.
struct FileStart {
    enum Kind { Regular, Folder, Special, Unreadable } kind = Regular;
    int errorNumber = 0; // Unreadable: the system's error number
    QByteArray bytes;    // Regular: up to the limit asked for
};

FileStart readFileStart(const QByteArray& path, qsizetype limit);

// A file read piece by piece through one open, taken as readFileStart takes it. A link is
// followed, or refused (as Special) where the file itself must be the name's own. POSIX
// implementation in FileStartPosix.cpp, Windows' in FileStartWin.cpp.
class FileReading {
public:
    enum Links { Followed, Refused };

    explicit FileReading(const QByteArray& path, Links links = Followed);
    ~FileReading();
    FileReading(const FileReading&) = delete;
    FileReading& operator=(const FileReading&) = delete;

    FileStart::Kind kind() const { return kind_; }
    int errorNumber() const { return errorNumber_; }
    // Regular: its size when it was opened.
    qint64 size() const { return size_; }
    // Appends up to `most` bytes that follow those read before; 0 at the end of the file. A
    // failure returns -1 and makes the kind Unreadable.
    qsizetype read(QByteArray& into, qsizetype most);

private:
    bool unreadable(int errorNumber);

    qintptr handle_ = -1;
    FileStart::Kind kind_ = FileStart::Regular;
    int errorNumber_ = 0;
    qint64 size_ = 0;
};
