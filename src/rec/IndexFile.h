#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// A sweep folder's index through the system's own calls, taken only when it is a regular file
// (never waiting for a FIFO's other end). Failures throw OutputError with the path and reason.
// POSIX implementation in IndexFilePosix.cpp, Windows' in IndexFileWin.cpp.
class IndexFile {
public:
    // The whole index, read once.
    static QByteArray read(const QString& path);

    // Opened for appending, made when missing.
    explicit IndexFile(const QString& path);
    ~IndexFile();
    IndexFile(const IndexFile&) = delete;
    IndexFile& operator=(const IndexFile&) = delete;

    qint64 size() const;
    void cutTo(qint64 length);
    // The bytes go in whole or not at all: a part written before a failure is cut off again
    // (past a file-size limit or on a full disk a write stops part-way).
    void append(const QByteArray& bytes);

private:
    QString path_;
    qintptr handle_;
};

// Makes the folder itself (not its parents): 0, or the system's error number as errno words it.
int makeOneFolder(const QString& path);
