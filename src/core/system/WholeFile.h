#pragma once

#include <QByteArray>
#include <QString>

// A file written completely or not at all, and on the disk once it says so. The bytes go to a
// temporary file beside the name, are synced, and the temporary file is renamed over the name;
// then the folder is synced, so that the rename survives a crash too. An existing file in a
// folder that takes no new file is written in place instead, as the only way to save over it:
// its old bytes are read first, the new ones written over them without truncating, and when
// anything fails the old ones are put back. A write that cannot fit under the process's
// file-size limit is refused before any byte is written.
//
// Costs per file: one fdatasync of the file and one fsync of its folder.
class WholeFile {
public:
    // NeverReplace takes the name only while no file has it, up to the very rename: a printout or
    // a recorded sweep that must not replace anything, whatever appears meanwhile.
    enum Mode { ReplaceExisting, NeverReplace };

    explicit WholeFile(const QString& path, Mode mode = ReplaceExisting);
    ~WholeFile();
    WholeFile(const WholeFile&) = delete;
    WholeFile& operator=(const WholeFile&) = delete;

    // Creates the temporary file (or opens the file itself, see above); false when neither can be.
    bool open();
    // Writes every byte and gives the file its name; false, with nothing under the name
    // changed, when any of it fails. (A folder that fails to sync after the rename is reported
    // too, though the name already holds the new file: it may not keep it through a crash.)
    bool commit(const QByteArray& bytes);

    QString fileName() const { return path_; }
    // Why open or commit failed, in the user's words.
    QString reason() const;
    // The system's error number behind the reason.
    int errorNumber() const { return errorNumber_; }

private:
    bool replace(const QByteArray& bytes);
    bool rename();
    bool rewrite(const QByteArray& bytes);
    bool syncFolder();
    bool failed(int errorNumber);
    int closeFile();
    void discard();

    QString path_;
    Mode mode_;
    QByteArray target_;    // the file the name stands for, links followed, in the system's encoding
    QByteArray temporary_; // empty when writing in place
    QByteArray previous_;  // in place: what the file held
    int fd_ = -1;
    int errorNumber_ = 0;
};
