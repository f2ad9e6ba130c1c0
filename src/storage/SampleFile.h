#pragma once

#include "acquisition/AcquisitionState.h"
#include "platform/Failure.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>


class FileError : public Failure {
public:
    using Failure::Failure;
};

// The data file: SampleBuffer(1..8192) as 8192 little-endian int16 records, no header.
namespace SampleFile {

constexpr qint64 Size = 2 * SweepLength;

// "vx" + the hyphen and first digit of the year + its last two digits + hour + minute + ".dat",
// taken from the fixed forms mm-dd-yyyy and hh:mm:ss whatever the locale.
QString fileName(const QDateTime& now);

QByteArray encode(const SampleArray& samples);
// Fills samples 1..8192 from the first Size bytes.
void decode(const QByteArray& bytes, SampleArray& samples);

// Writes the file completely or not at all: a temporary file beside it, flushed, then renamed
// over the name. Throws FileError with the reason.
void write(const QString& path, const SampleArray& samples);

// Reads the first Size bytes without creating or changing anything. A missing, short or
// unreadable file, a folder or anything else that is not a regular file throws FileError
// with the reason.
QByteArray read(const QString& path);

} // namespace SampleFile
