#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

// A file written completely or not at all: a temporary file beside the name, written
// unbuffered until every byte is in, then renamed over the name. Unbuffered, a short write (a
// full disk) shows up at the call that made it, with its reason on the next one; through a
// write buffer, or a writer that gives up quietly at the first short write, it would go unseen
// and the truncated file would take the name.
class WholeFile {
public:
    explicit WholeFile(const QString& path) : file_(path) {}

    // Creates the temporary file; false when the folder cannot take it.
    bool open();
    // Writes every byte and gives the file its name; false, with nothing under the name
    // changed, when any of it fails.
    bool commit(const QByteArray& bytes);

    QString fileName() const { return file_.fileName(); }
    QString errorString() const { return error_.isEmpty() ? file_.errorString() : error_; }

private:
    QSaveFile file_;
    QString error_;
};
