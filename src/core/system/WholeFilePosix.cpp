// The POSIX implementation of WholeFile: open(2), pwrite(2), fdatasync(2), rename(2) and
// fsync(2) of the folder.
#include "core/system/WholeFile.h"

#include "core/system/SharedSync.h"

#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What the name of a temporary file begins with, before its random part.
constexpr const char* TemporaryStem = ".q390-";

// Writes every byte, from the start of the file or, into a FIFO or a device, in order; false,
// with errno, when a write fails. A short write (a disk filling up) is retried for the rest,
// which then fails with the reason.
bool writeAll(int fd, const QByteArray& bytes, bool fromStart = true)
{
    for (qint64 done = 0; done < bytes.size();) {
        const char* from = bytes.constData() + done;
        const ssize_t n = fromStart ? ::pwrite(fd, from, bytes.size() - done, done) : ::write(fd, from, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;
            return false;
        }
        done += n;
    }
    return true;
}

// The whole file; false, with errno, when a read fails.
bool readAll(int fd, QByteArray& bytes)
{
    struct stat file {};
    if (::fstat(fd, &file) != 0)
        return false;
    bytes.resize(file.st_size);
    for (qint64 done = 0; done < bytes.size();) {
        const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            bytes.truncate(done);
        done += n;
    }
    return true;
}

// Past the process's file-size limit a write stops part-way (or ends the process): such a
// write is refused before it starts.
bool fitsSizeLimit(qint64 size)
{
    rlimit limit{};
    return ::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || rlim_t(size) <= limit.rlim_cur;
}

// The file a name stands for, links followed; the name itself while it names no file.
QByteArray resolved(const QByteArray& path)
{
    const std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.constData(), nullptr), &std::free);
    return real ? QByteArray(real.get()) : path;
}

} // namespace

// The writer's state: the name as given, the file it stands for and, while one is open, the
// temporary file beside it or the old bytes of a file written in place.
class WholeFile::Writer {
public:
    Writer(const QByteArray& path, Mode mode, SharedSync* folderSync);
    ~Writer();

    bool open();
    bool commit(const QByteArray& bytes);
    QString fileName() const;

    bool unconfirmed_ = false;
    int errorNumber_ = 0;

private:
    bool openTemporary(const struct stat* existing);
    bool openInPlace();
    bool replace(const QByteArray& bytes);
    bool rename();
    bool rewrite(const QByteArray& bytes);
    bool stream(const QByteArray& bytes);
    bool syncFolder();
    int syncFolderOnce() const;
    QByteArray folder() const;
    bool failed(int errorNumber)
    {
        errorNumber_ = errorNumber;
        return false;
    }
    int closeFile();
    void discard();

    QByteArray path_;
    Mode mode_;
    SharedSync* folderSync_;
    QByteArray target_;    // the file the name stands for, links followed
    QByteArray temporary_; // empty when writing in place or into a stream
    QByteArray previous_;  // in place: what the file held
    bool streaming_ = false;
    int fd_ = -1;
};

WholeFile::WholeFile(const QByteArray& path, Mode mode, SharedSync* folderSync)
    : writer_(std::make_unique<Writer>(path, mode, folderSync))
{
}

WholeFile::WholeFile(const QString& path, Mode mode, SharedSync* folderSync) : WholeFile(QFile::encodeName(path), mode, folderSync)
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

bool WholeFile::unconfirmed() const
{
    return writer_->unconfirmed_;
}

QString WholeFile::fileName() const
{
    return writer_->fileName();
}

int WholeFile::errorNumber() const
{
    return writer_->errorNumber_;
}

WholeFile::Writer::Writer(const QByteArray& path, Mode mode, SharedSync* folderSync)
    : path_(path), mode_(mode), folderSync_(folderSync), target_(path)
{
}

WholeFile::Writer::~Writer()
{
    discard();
}

QString WholeFile::Writer::fileName() const
{
    return QFile::decodeName(path_);
}

bool WholeFile::isTemporary(const QString& name)
{
    return name.startsWith(QLatin1String(TemporaryStem));
}

int WholeFile::Writer::closeFile()
{
    const int closed = ::close(fd_);
    fd_ = -1;
    return closed;
}

void WholeFile::Writer::discard()
{
    if (fd_ >= 0)
        closeFile();
    if (!temporary_.isEmpty())
        ::unlink(temporary_.constData());
    temporary_.clear();
}

QByteArray WholeFile::Writer::folder() const
{
    const qsizetype slash = target_.lastIndexOf('/');
    return slash < 0 ? QByteArrayLiteral(".") : target_.left(std::max<qsizetype>(slash, 1));
}

bool WholeFile::Writer::open()
{
    struct stat existing {};
    if (::stat(path_.constData(), &existing) != 0) {
        // Only a name that names nothing is a new file, written under the name as it stands;
        // one that cannot be looked at (a folder that may not be entered, a part that is no
        // folder, a loop of links) says why.
        return errno == ENOENT ? openTemporary(nullptr) : failed(errno);
    }
    // The links are followed only for a name that stands for something: a recording's new files
    // spare the look at each part of their path.
    target_ = resolved(path_);
    if (S_ISDIR(existing.st_mode))
        return failed(EISDIR);
    if (mode_ == NeverReplace)
        return failed(EEXIST);
    if (!S_ISREG(existing.st_mode)) {
        // A FIFO's open waits for its reader, as a shell's redirection does.
        fd_ = ::open(target_.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        streaming_ = fd_ >= 0;
        return streaming_ || failed(errno);
    }
    return openTemporary(&existing);
}

bool WholeFile::Writer::openTemporary(const struct stat* existing)
{
    // A name no other file has, beside the target so that the rename stays in one file system,
    // and short so that a name at the system's length limit still has one beside it. A new file
    // gets the usual permissions, a replacement those of the file it replaces.
    const QByteArray stem = folder() + '/' + TemporaryStem;
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        temporary_ = stem + QByteArray::number(QRandomGenerator::global()->generate(), 36);
        fd_ = ::open(temporary_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, existing ? 0600 : 0666);
        if (fd_ < 0 && errno != EEXIST)
            break;
    }
    if (fd_ < 0) {
        const int error = errno;
        temporary_.clear();
        return error == EACCES && existing ? openInPlace() : failed(error);
    }
    if (!existing)
        return true;
    // The file stays its owner's, so that its owner can still write it; where this process may
    // not give a file away, the file itself is written.
    if (::fchown(fd_, existing->st_uid, existing->st_gid) != 0) {
        const int error = errno;
        discard();
        return error == EPERM ? openInPlace() : failed(error);
    }
    if (::fchmod(fd_, existing->st_mode & 07777) != 0) {
        failed(errno);
        discard();
        return false;
    }
    return true;
}

bool WholeFile::Writer::openInPlace()
{
    fd_ = ::open(target_.constData(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0 || !readAll(fd_, previous_)) {
        failed(errno);
        discard();
        return false;
    }
    return true;
}

bool WholeFile::Writer::commit(const QByteArray& bytes)
{
    Q_ASSERT(fd_ >= 0);
    const bool written = streaming_                                                 ? stream(bytes)
        : !fitsSizeLimit(std::max(bytes.size(), previous_.size())) ? failed(EFBIG)
        : temporary_.isEmpty()                                     ? rewrite(bytes)
                                                                   : replace(bytes);
    discard();
    return written;
}

bool WholeFile::Writer::stream(const QByteArray& bytes)
{
    return (writeAll(fd_, bytes, false) && closeFile() == 0) || failed(errno);
}

bool WholeFile::Writer::replace(const QByteArray& bytes)
{
    if (!writeAll(fd_, bytes) || ::fdatasync(fd_) != 0 || closeFile() != 0 || !rename())
        return failed(errno);
    temporary_.clear();
    unconfirmed_ = !syncFolder();
    return !unconfirmed_;
}

bool WholeFile::Writer::rename()
{
    if (mode_ == ReplaceExisting)
        return ::rename(temporary_.constData(), target_.constData()) == 0;
    if (::renameat2(AT_FDCWD, temporary_.constData(), AT_FDCWD, target_.constData(), RENAME_NOREPLACE) == 0)
        return true;
    // A file system without the no-replace rename still links a name only where there is none.
    if (errno != EINVAL || ::link(temporary_.constData(), target_.constData()) != 0)
        return false;
    ::unlink(temporary_.constData());
    return true;
}

bool WholeFile::Writer::rewrite(const QByteArray& bytes)
{
    if (writeAll(fd_, bytes) && ::ftruncate(fd_, bytes.size()) == 0 && ::fdatasync(fd_) == 0)
        return true;
    const int error = errno;
    // The old bytes go back where the new ones went; the size limit was checked to allow them.
    if (writeAll(fd_, previous_) && ::ftruncate(fd_, previous_.size()) == 0)
        ::fdatasync(fd_);
    return failed(error);
}

bool WholeFile::Writer::syncFolder()
{
    const int error = folderSync_ ? folderSync_->after([this] { return syncFolderOnce(); }) : syncFolderOnce();
    return error == 0 || failed(error);
}

int WholeFile::Writer::syncFolderOnce() const
{
    const int fd = ::open(folder().constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // A folder this process may not read cannot be synced from here, and a file system that
    // does not sync folders (EINVAL) keeps the rename by its own means.
    if (fd < 0)
        return 0;
    const int error = ::fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
    ::close(fd);
    return error;
}
