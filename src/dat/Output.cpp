#include "dat/Output.h"

#include "core/system/FailureWords.h"
#include "dat/Stop.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace DatTool {

#ifdef Q_OS_WIN
namespace {

// The device a name stands for whatever folder it is in (COM1, NUL, also as com1.txt), in
// capitals; empty for a name that is no device.
QString windowsDevice(const QString& path)
{
    static const QStringList Plain{QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"), QStringLiteral("NUL")};
    QString name = QFileInfo(path).fileName().section(u'.', 0, 0).trimmed().toUpper();
    const bool numbered = name.size() == 4 && (name.startsWith(u"COM") || name.startsWith(u"LPT")) && name[3] >= u'1'
        && name[3] <= u'9';
    return numbered || Plain.contains(name) ? name : QString();
}

} // namespace
#endif

Output::Output(const QString& name, const QStringList& inputs, std::FILE* out) : name_(name), stream_(out)
{
    if (name_.isEmpty()) {
        name_ = QStringLiteral("standard output");
        return;
    }
    const Stop isInput = failure(name_, QStringLiteral("is the data file being read; nothing written"));
#ifdef Q_OS_WIN
    // A device's name is taken for a file's by mistake far more often than meant (NUL, which
    // takes everything and keeps nothing, is meant).
    if (const QString device = windowsDevice(name_); !device.isEmpty() && device != u"NUL")
        throw failure(name_, QStringLiteral("%1 is a name Windows keeps for a device; nothing written").arg(device));
    // No inode numbers here: the same file is the same full name, links followed. Windows'
    // devices (NUL, CON) are written by the console's own stream rules, not treated apart.
    const QString found = QFileInfo(name_).canonicalFilePath();
    for (const QString& input : inputs)
        if (!found.isEmpty() && found.compare(QFileInfo(input).canonicalFilePath(), Qt::CaseInsensitive) == 0)
            throw isInput;
#else
    struct stat found {};
    if (::stat(QFile::encodeName(name_).constData(), &found) == 0) {
        for (const QString& input : inputs)
            if (struct stat source {}; ::stat(QFile::encodeName(input).constData(), &source) == 0
                && source.st_dev == found.st_dev && source.st_ino == found.st_ino)
                throw isInput;
        // This program's own standard output under another name (-o /dev/stdout into a file
        // the shell opened, perhaps to append to it): the shell's stream, not a file to replace.
        if (struct stat own {}; ::fstat(::fileno(out), &own) == 0 && own.st_dev == found.st_dev && own.st_ino == found.st_ino)
            return;
    }
#endif
    if (!file_.emplace(name_).open())
        throw failure(name_, englishReason(file_->errorNumber()));
}

void Output::write(const QByteArray& bytes)
{
    if (file_) {
        if (file_->commit(bytes))
            return;
        if (file_->unconfirmed())
            throw failure(name_, QStringLiteral("written, but the folder could not be synced (%1), so it may not survive a crash")
                                     .arg(englishReason(file_->errorNumber())));
        throw failure(name_, englishReason(file_->errorNumber()));
    }
    if (std::fwrite(bytes.constData(), 1, bytes.size(), stream_) != std::size_t(bytes.size()) || std::fflush(stream_) != 0)
        throw failure(name_, englishReason(errno));
}


void makeOutputFolder(const QString& folder)
{
    const QFileInfo found(folder);
    if (found.isDir())
        return;
#ifdef Q_OS_WIN
    if (const QString device = windowsDevice(QDir::cleanPath(folder)); !device.isEmpty())
        throw failure(folder, QStringLiteral("%1 is a name Windows keeps for a device, not a folder").arg(device));
#endif
    if (found.exists())
        throw failure(folder, QStringLiteral("not a folder"));
    errno = 0;
    if (!QDir().mkpath(folder))
        throw failure(folder, errno ? englishReason(errno) : QStringLiteral("the folder could not be made"));
}

} // namespace DatTool
