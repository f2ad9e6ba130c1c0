#include "core/samples/SampleFile.h"

#include "core/system/SystemReason.h"
#include "core/system/WholeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <cerrno>

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

void write(const QString& path, const SampleArray& samples, WholeFile::Mode mode)
{
    WholeFile file(path, mode);
    if (!file.open() || !file.commit(encode(samples)))
        throw FileError(file.reason(), file.errorNumber());
}

Contents inspect(const QString& path)
{
    Contents found;
    const auto refused = [&found](Contents::Outcome outcome, int errorNumber = 0) {
        found.outcome = outcome;
        found.errorNumber = errorNumber;
        return found;
    };
    const QFileInfo info(path);
    if (info.isDir())
        return refused(Contents::SystemError, EISDIR);
    if (!info.exists())
        return refused(Contents::SystemError, ENOENT);
    // A FIFO or a device would block the open or never end.
    if (!info.isFile())
        return refused(Contents::NotRegular);
    QFile file(path);
    errno = 0;
    if (file.open(QIODevice::ReadOnly))
        found.bytes = file.read(Size);
    if (!file.isOpen() || file.error() != QFileDevice::NoError) {
        const int error = errno;
        if (!error)
            found.errorText = file.errorString();
        return refused(Contents::SystemError, error);
    }
    found.outcome = found.bytes.size() < Size ? Contents::Short : Contents::Whole;
    return found;
}

QByteArray read(const QString& path)
{
    Contents contents = inspect(path);
    switch (contents.outcome) {
    case Contents::Whole:
        return std::move(contents.bytes);
    case Contents::SystemError:
        throw FileError(contents.errorNumber ? systemReason(contents.errorNumber) : contents.errorText);
    case Contents::NotRegular:
        throw FileError(QStringLiteral("不是普通文件"));
    case Contents::Short:
        break;
    }
    throw FileError(QStringLiteral("文件只有 %1 字节，数据文件应有 %2 字节").arg(contents.bytes.size()).arg(Size));
}

} // namespace SampleFile
