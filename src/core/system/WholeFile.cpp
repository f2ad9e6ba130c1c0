#include "core/system/WholeFile.h"

#include "core/system/SystemReason.h"

#include <QFileInfo>

#include <cerrno>
#include <csignal>

WholeFile::WholeFile(const QString& path) : file_(path)
{
    file_.setDirectWriteFallback(true);
}

bool WholeFile::failed(int errorNumber)
{
    errorNumber_ = errorNumber;
    if (!errorNumber)
        toolkitReason_ = file_.errorString();
    return false;
}

QString WholeFile::reason() const
{
    return errorNumber_ ? systemReason(errorNumber_) : toolkitReason_;
}

bool WholeFile::open()
{
    if (QFileInfo(file_.fileName()).isDir())
        return failed(EISDIR);
    errno = 0;
    return file_.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || failed(errno);
}

bool WholeFile::commit(const QByteArray& bytes)
{
#ifdef SIGXFSZ
    // Past the process's file-size limit a write must fail like a full disk, not end the program.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    for (qint64 done = 0; done < bytes.size();) {
        errno = 0;
        const qint64 written = file_.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0) {
            failed(errno);
            file_.cancelWriting();
            return false;
        }
        done += written;
    }
    errno = 0;
    return file_.commit() || failed(errno);
}
