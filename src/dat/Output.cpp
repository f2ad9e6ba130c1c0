#include "dat/Output.h"

#include "core/system/FailureWords.h"
#include "core/system/FileIdentity.h"
#include "dat/Stop.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>


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
#endif
    // The same file under any name: a link, and on Windows another case, a trailing dot or
    // space, an 8.3 name.
    if (const std::optional<FileIdentity> found = FileIdentity::of(name_)) {
        for (const QString& input : inputs)
            if (found == FileIdentity::of(input))
                throw isInput;
        // This program's own standard output under another name (-o /dev/stdout into a file
        // the shell opened, perhaps to append to it): the shell's stream, not a file to replace.
        if (found == FileIdentity::of(out))
            return;
    }
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
