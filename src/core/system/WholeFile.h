#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

// A file written completely or not at all: a temporary file beside the name, written
// unbuffered until every byte is in, then renamed over the name. Unbuffered, a short write (a
// full disk) shows up at the call that made it, with its reason on the next one; through a
// write buffer, or a writer that gives up quietly at the first short write, it would go unseen
// and the truncated file would take the name. An existing writable file in a folder that takes
// no new file is written in place instead, as the only way to save over it.
class WholeFile {
public:
    explicit WholeFile(const QString& path);

    // Creates the temporary file (or opens the file itself, see above); false when neither can be.
    bool open();
    // Writes every byte and gives the file its name; false, with nothing under the name
    // changed, when any of it fails.
    bool commit(const QByteArray& bytes);

    QString fileName() const { return file_.fileName(); }
    // Why open or commit failed, in the user's words.
    QString reason() const;
    // The system's error number behind the reason; 0 when the reason is the toolkit's own.
    int errorNumber() const { return errorNumber_; }

private:
    bool failed(int errorNumber);

    QSaveFile file_;
    int errorNumber_ = 0;
    QString toolkitReason_; // when the failure has no error number
};
