#pragma once

#include "core/samples/Samples.h"
#include "core/system/Failure.h"
#include "core/system/WholeFile.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

class FileError : public Failure {
public:
    using Failure::Failure;
};

// The new file has taken its name, so the old one is gone, but whether it survives a crash
// could not be confirmed.
class UnconfirmedFile : public FileError {
public:
    using FileError::FileError;
};

// The data file: a sweep's 8192 samples as little-endian int16 records in their order, no header.
namespace SampleFile {

constexpr qint64 Size = 2 * SweepLength;

// "vx" + the hyphen and first digit of the year + its last two digits + hour + minute + ".dat",
// taken from the fixed forms mm-dd-yyyy and hh:mm:ss whatever the locale.
QString fileName(const QDateTime& now);

QByteArray encode(const SampleArray& samples);
// Fills the samples from the first Size bytes.
void decode(const QByteArray& bytes, SampleArray& samples);

// Writes the file completely, and on the disk, or not at all (WholeFile). Throws FileError with
// the reason, UnconfirmedFile when the file took the name but its folder could not be synced.
// A path in bytes is the system's name as it stands; a QString is encoded as Qt encodes names.
void write(const QByteArray& path, const SampleArray& samples, WholeFile::Mode mode = WholeFile::ReplaceExisting);
void write(const QString& path, const SampleArray& samples, WholeFile::Mode mode = WholeFile::ReplaceExisting);

// What reading the first Size bytes of a file found, without creating or changing anything:
// the bytes, or why they are no data file. Each program words the refusal in its own language.
struct Contents {
    enum Outcome { Whole, SystemError, NotRegular, Short } outcome = Whole;
    int errorNumber = 0; // SystemError: the system's error number
    QByteArray bytes;    // Whole: Size bytes; Short: what there was
};
Contents inspect(const QByteArray& path);
Contents inspect(const QString& path);

} // namespace SampleFile
