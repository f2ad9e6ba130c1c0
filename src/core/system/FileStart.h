#pragma once

#include <QByteArray>

// The first bytes of a file, read through one open: the type is that of what was opened,
// whatever the name stands for by then. A FIFO or a device is not read, since either could
// block or never end. Nothing is created or changed. POSIX implementation in FileStartPosix.cpp.
struct FileStart {
    enum Kind { Regular, Folder, Special, Unreadable } kind = Regular;
    int errorNumber = 0; // Unreadable: the system's error number
    QByteArray bytes;    // Regular: up to the limit asked for
};

FileStart readFileStart(const QByteArray& path, qsizetype limit);
