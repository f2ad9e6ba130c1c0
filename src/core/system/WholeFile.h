#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class SharedSync;

// A file written completely or not at all, and on the disk once it says so. The bytes go to a
// temporary file beside the name, are synced, and the temporary file is renamed over the name;
// then the folder is synced, so that the rename survives a crash too. A replaced file keeps its
// permissions, owner and group; an existing file whose owner cannot be kept, or one in a folder
// that takes no new file, is written in place instead: its old bytes are read first, the new
// ones written over them without truncating, and when anything fails the old ones are put back.
// An existing FIFO or device is written into as a stream, never replaced by a file. A write that
// cannot fit under the process's file-size limit is refused before any byte is written.
//
// Names are the system's bytes: a QString name is encoded as Qt encodes every file name.
// This is the POSIX implementation (WholeFilePosix.cpp). Windows' (WholeFileWin.cpp) moves the file
// over the name with a write-through move, so that nothing stays unconfirmed; its names are
// UTF-8 bytes, and a device name there (NUL, COMn) is the stream.
//
// Costs per file: one fdatasync of the file and one fsync of its folder; writers that write
// into one folder at once may share its fsyncs through a SharedSync.
class WholeFile {
public:
    // NeverReplace takes the name only while no file has it, up to the very rename: a printout or
    // a recorded sweep that must not replace anything, whatever appears meanwhile.
    enum Mode { ReplaceExisting, NeverReplace };

    // `folderSync`, when given, is shared by every WholeFile writing into the same folder.
    explicit WholeFile(const QByteArray& path, Mode mode = ReplaceExisting, SharedSync* folderSync = nullptr);
    explicit WholeFile(const QString& path, Mode mode = ReplaceExisting, SharedSync* folderSync = nullptr);
    ~WholeFile();
    WholeFile(const WholeFile&) = delete;
    WholeFile& operator=(const WholeFile&) = delete;

    // Creates the temporary file (or opens the file itself, see above); false when neither can be.
    bool open();
    // Writes every byte and gives the file its name; false when any of it fails, with nothing
    // under the name changed unless unconfirmed() says otherwise.
    bool commit(const QByteArray& bytes);
    // After a commit that failed: true when the new bytes had already taken the name and only the
    // folder's sync failed, so that they may not survive a crash. The old file is gone then.
    bool unconfirmed() const;

    QString fileName() const;
    // Whether a name in a folder is one this class gives its temporary files there: such a
    // file is left only by a process that ended while it wrote (killed, or the system down).
    static bool isTemporary(const QString& name);
    // The system's error number that says why open or commit failed.
    int errorNumber() const;

private:
    // Each system's writer, with the state it keeps, is its own (WholeFilePosix.cpp,
    // WholeFileWin.cpp): behind a pointer, the face stays one and no system type reaches the
    // includers, for one allocation a file, which is nothing beside its syncs.
    class Writer;
    std::unique_ptr<Writer> writer_;
};
