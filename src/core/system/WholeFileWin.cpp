#include "core/system/WholeFile.h"

#include "core/system/WindowsError.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <string>

#include <io.h>
#include <windows.h>

// Windows keeps no folder entries apart from the file: MOVEFILE_WRITE_THROUGH returns only once
// the move is on the disk, so there is no folder to sync. The names are the system's wide
// names (the paths are kept here in UTF-8, as Qt encodes file names on Windows), never the ANSI
// code page's. Windows has no FIFOs; a device name (NUL, CON, COMn) is written into as a stream.

namespace {

// Between the target's name and the random part of its temporary's.
constexpr const char* TemporaryMark = ".q390-";

std::wstring wide(const QByteArray& utf8)
{
    return QString::fromUtf8(utf8).toStdWString();
}

HANDLE handleOf(int fd)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

bool writeAll(HANDLE file, const QByteArray& bytes)
{
    for (qint64 done = 0; done < bytes.size();) {
        const DWORD chunk = DWORD(std::min<qint64>(bytes.size() - done, 1 << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes.constData() + done, chunk, &written, nullptr))
            return false;
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        done += written;
    }
    return true;
}

// What a name stands for. Each look at a name that names nothing reads the whole folder under
// Wine (it seeks a name that differs in case only), which a folder of many sweeps makes dear:
// so a name is looked at once, by opening it for nothing but its type.
enum class Named { Nothing, File, Folder, Device };

Named named(const QByteArray& target)
{
    const HANDLE probe = CreateFileW(wide(target).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            return Named::Nothing;
        // A file that will not open even so (held by another program) still has attributes.
        const DWORD attributes = GetFileAttributesW(wide(target).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return Named::Nothing;
        return attributes & FILE_ATTRIBUTE_DIRECTORY ? Named::Folder : Named::File;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    const Named what = GetFileType(probe) != FILE_TYPE_DISK ? Named::Device
        : GetFileInformationByHandle(probe, &information) && (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        ? Named::Folder
        : Named::File;
    CloseHandle(probe);
    return what;
}

} // namespace

// The writer's state: the name as given, the file it stands for and, while one is open, the
// temporary file beside it.
class WholeFile::Writer {
public:
    Writer(const QByteArray& path, Mode mode);
    ~Writer();

    bool open();
    bool commit(const QByteArray& bytes);
    QString fileName() const;

    int errorNumber_ = 0;

private:
    bool openStream();
    bool stream(const QByteArray& bytes);
    bool replace(const QByteArray& bytes);
    bool rename();
    bool failed(int errorNumber)
    {
        errorNumber_ = errorNumber;
        return false;
    }
    int closeFile();
    void discard();

    QByteArray path_;
    Mode mode_;
    QByteArray target_;    // the file the name stands for, links followed, in Windows' separators
    QByteArray temporary_; // empty when writing into a stream
    bool streaming_ = false;
    int fd_ = -1;
};

// The move is written through, so the folder needs no sync of its own and `folderSync` goes unused.
WholeFile::WholeFile(const QByteArray& path, Mode mode, SharedSync*) : writer_(std::make_unique<Writer>(path, mode)) {}

WholeFile::WholeFile(const QString& path, Mode mode, SharedSync* folderSync) : WholeFile(path.toUtf8(), mode, folderSync)
{
}

WholeFile::~WholeFile() = default;

bool WholeFile::open()
{
    return writer_->open();
}

bool WholeFile::commit(const QByteArray& bytes)
{
    return writer_->commit(bytes);
}

// The move is written through: a commit that failed never gave the name new bytes.
bool WholeFile::unconfirmed() const
{
    return false;
}

QString WholeFile::fileName() const
{
    return writer_->fileName();
}

int WholeFile::errorNumber() const
{
    return writer_->errorNumber_;
}

WholeFile::Writer::Writer(const QByteArray& path, Mode mode)
    : path_(path), mode_(mode), target_(QDir::toNativeSeparators(QString::fromUtf8(path)).toUtf8())
{
}

QString WholeFile::Writer::fileName() const
{
    return QString::fromUtf8(path_);
}

bool WholeFile::isTemporary(const QString& name)
{
    return name.contains(QLatin1String(TemporaryMark), Qt::CaseInsensitive);
}

WholeFile::Writer::~Writer()
{
    discard();
}

int WholeFile::Writer::closeFile()
{
    const int closed = _close(fd_);
    fd_ = -1;
    return closed;
}

void WholeFile::Writer::discard()
{
    if (fd_ >= 0)
        closeFile();
    if (!temporary_.isEmpty())
        DeleteFileW(wide(temporary_).c_str());
    temporary_.clear();
}

bool WholeFile::Writer::open()
{
    // A device's name with any extension (NUL.x) is the device again.
    Named what = named(target_);
    if (what != Named::Nothing) {
        // Links followed to the file they stand for; a name that names nothing has none to follow.
        const QString linked = QFileInfo(QString::fromUtf8(path_)).canonicalFilePath();
        const QByteArray file = QDir::toNativeSeparators(linked).toUtf8();
        if (!linked.isEmpty() && file != target_) {
            target_ = file;
            what = named(target_);
        }
    }
    if (what == Named::Device)
        return mode_ == NeverReplace ? failed(EEXIST) : openStream();
    if (what == Named::Folder)
        return failed(EISDIR);
    if (what == Named::File && mode_ == NeverReplace)
        return failed(EEXIST);
    // Beside the target, so that the move stays on one volume and is a rename. The name is this
    // program's own and random: no other differing in case only is sought for it (which Wine
    // would seek through the whole folder).
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary_ = target_ + TemporaryMark + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        const HANDLE file = CreateFileW(wide(temporary_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_POSIX_SEMANTICS, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(file), 0);
            if (fd_ >= 0)
                return true;
            CloseHandle(file);
            DeleteFileW(wide(temporary_).c_str());
            temporary_.clear();
            return failed(EMFILE);
        }
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
            temporary_.clear();
            return failed(errnoFromWindows(error));
        }
    }
    temporary_.clear();
    return failed(EEXIST);
}

bool WholeFile::Writer::openStream()
{
    const HANDLE file = CreateFileW(wide(target_).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return failed(errnoFromWindows(GetLastError()));
    fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(file), 0);
    if (fd_ < 0) {
        CloseHandle(file);
        return failed(EMFILE);
    }
    streaming_ = true;
    return true;
}

bool WholeFile::Writer::stream(const QByteArray& bytes)
{
    return (writeAll(handleOf(fd_), bytes) && closeFile() == 0) || failed(errnoFromWindows(GetLastError()));
}

bool WholeFile::Writer::commit(const QByteArray& bytes)
{
    Q_ASSERT(fd_ >= 0);
    const bool written = streaming_ ? stream(bytes) : replace(bytes);
    discard();
    return written;
}

bool WholeFile::Writer::replace(const QByteArray& bytes)
{
    const HANDLE file = handleOf(fd_);
    if (!writeAll(file, bytes) || !FlushFileBuffers(file))
        return failed(errnoFromWindows(GetLastError()));
    closeFile();
    if (!rename())
        return failed(errnoFromWindows(GetLastError()));
    temporary_.clear();
    return true;
}

bool WholeFile::Writer::rename()
{
    // The move replaces the old file in one step: the name never stands empty. Without
    // MOVEFILE_REPLACE_EXISTING it fails when any file has taken the name meanwhile.
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (mode_ == ReplaceExisting ? MOVEFILE_REPLACE_EXISTING : 0);
    return MoveFileExW(wide(temporary_).c_str(), wide(target_).c_str(), flags);
}
