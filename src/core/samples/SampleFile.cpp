#include "core/samples/SampleFile.h"

#include "core/system/FileNames.h"
#include "core/system/FileStart.h"
#include "core/system/WholeFile.h"

#include <QFile>
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
    qToLittleEndian<qint16>(samples.data(), SweepLength, bytes.data());
    return bytes;
}

void decode(const QByteArray& bytes, SampleArray& samples)
{
    Q_ASSERT(bytes.size() >= Size);
    qFromLittleEndian<qint16>(bytes.constData(), SweepLength, samples.data());
}

void write(const QByteArray& path, const SampleArray& samples, WholeFile::Mode mode)
{
    WholeFile file(path, mode);
    if (file.open() && file.commit(encode(samples)))
        return;
    if (file.unconfirmed())
        throw UnconfirmedFile(FailureKind::System, file.errorNumber());
    throw FileError(FailureKind::System, file.errorNumber());
}

void write(const QString& path, const SampleArray& samples, WholeFile::Mode mode)
{
    write(nameBytes(path), samples, mode);
}

Contents inspect(const QByteArray& path)
{
    FileStart start = readFileStart(path, Size);
    switch (start.kind) {
    case FileStart::Regular:
        break;
    case FileStart::Folder:
        return {Contents::SystemError, EISDIR, {}};
    case FileStart::Special:
        return {Contents::NotRegular, 0, {}};
    case FileStart::Unreadable:
        return {Contents::SystemError, start.errorNumber, {}};
    }
    const Contents::Outcome outcome = start.bytes.size() < Size ? Contents::Short : Contents::Whole;
    return {outcome, 0, std::move(start.bytes)};
}

Contents inspect(const QString& path)
{
    return inspect(nameBytes(path));
}

} // namespace SampleFile
