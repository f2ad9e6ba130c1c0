#pragma once

#include <QByteArray>
#include <QtGlobal>

// A file that grows by whole pieces (a recording's index, a row at a time), through the system's
// own calls: a piece goes in whole or not at all, a part written before a failure (past a
// file-size limit, on a full disk) cut off again. Taken only when the name is a regular file of
// its own: never a FIFO (whose open would wait for its other end), a device or a link. One
// writer at a time. Names are the system's bytes, as WholeFile takes them. POSIX implementation
// in AppendFilePosix.cpp, Windows' in AppendFileWin.cpp.
class AppendFile {
public:
    // Opened for appending, made when missing; see isOpen().
    explicit AppendFile(const QByteArray& path);
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    bool isOpen() const { return handle_ != -1; }
    // Not open because the name is no regular file of its own.
    bool notRegular() const { return notRegular_; }
    // Why opening or the last call failed: the system's error number.
    int errorNumber() const { return errorNumber_; }

    qint64 size() const;
    bool cutTo(qint64 length);
    bool append(const QByteArray& bytes);

private:
    bool failed(int errorNumber)
    {
        errorNumber_ = errorNumber;
        return false;
    }

    qintptr handle_ = -1;
    bool notRegular_ = false;
    int errorNumber_ = 0;
};

// Makes the folder itself (not its parents): 0, or the system's error number as errno words it.
int makeOneFolder(const QByteArray& path);
