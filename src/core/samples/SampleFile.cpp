#include "core/samples/SampleFile.h"

#include "core/system/WholeFile.h"

#include <QFile>
#include <QScopeGuard>
#include <QtEndian>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SampleFile {

QString fileName(const QDateTime& now)
{
    const QDate d = now.date();
    const QTime t = now.time();
    const QString date = QString::asprintf("%02d-%02d-%04d", d.month(), d.day(), d.year());
    const QString time = QString::asprintf("%02d:%02d:%02d", t.hour(), t.minute(), t.second());
    return QStringLiteral("vx") + date.mid(5, 2) + date.mid(8, 2) + time.mid(0, 2) + time.mid(3, 2) + QStringLiteral(".dat");
}

QByteArray encode(const SampleArray& samples)
{
    QByteArray bytes(Size, Qt::Uninitialized);
    for (int n = 1; n <= SweepLength; ++n)
        qToLittleEndian<qint16>(samples[n], bytes.data() + 2 * (n - 1));
    return bytes;
}

void decode(const QByteArray& bytes, SampleArray& samples)
{
    Q_ASSERT(bytes.size() >= Size);
    for (int n = 1; n <= SweepLength; ++n)
        samples[n] = qFromLittleEndian<qint16>(bytes.constData() + 2 * (n - 1));
}

void write(const QByteArray& path, const SampleArray& samples, WholeFile::Mode mode)
{
    WholeFile file(path, mode);
    if (file.open() && file.commit(encode(samples)))
        return;
    if (file.unconfirmed())
        throw UnconfirmedFile(file.reason(), file.errorNumber());
    throw FileError(file.reason(), file.errorNumber());
}

void write(const QString& path, const SampleArray& samples, WholeFile::Mode mode)
{
    write(QFile::encodeName(path), samples, mode);
}

Contents inspect(const QByteArray& path)
{
    Contents found;
    const auto refused = [&found](Contents::Outcome outcome, int errorNumber = 0) {
        found.outcome = outcome;
        found.errorNumber = errorNumber;
        found.bytes.clear();
        return found;
    };
    // The type is that of what was opened, whatever the name stands for by now. A FIFO opens at
    // once without waiting for a writer, and neither it nor a device is read: either could block
    // or never end.
    const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return refused(Contents::SystemError, errno);
    const auto closer = qScopeGuard([fd] { ::close(fd); });
    struct stat opened {};
    if (::fstat(fd, &opened) != 0)
        return refused(Contents::SystemError, errno);
    if (S_ISDIR(opened.st_mode))
        return refused(Contents::SystemError, EISDIR);
    if (!S_ISREG(opened.st_mode))
        return refused(Contents::NotRegular);
    found.bytes.resize(Size);
    qsizetype done = 0;
    while (done < Size) {
        const ssize_t n = ::read(fd, found.bytes.data() + done, Size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return refused(Contents::SystemError, errno);
        if (n == 0)
            break;
        done += n;
    }
    found.bytes.truncate(done);
    found.outcome = done < Size ? Contents::Short : Contents::Whole;
    return found;
}

Contents inspect(const QString& path)
{
    return inspect(QFile::encodeName(path));
}

} // namespace SampleFile
