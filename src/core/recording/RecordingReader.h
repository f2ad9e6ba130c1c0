#pragma once

#include "core/recording/RecordedSweep.h"
#include "core/samples/Samples.h"

#include <QByteArray>
#include <QStringList>

#include <memory>
#include <optional>

// A recording read back, either kind alike: a folder that q390-rec recorded into (its data
// files and index.csv, read through RecordingIndex) or one HDF5 file (see OneFileLayout). Each
// sweep is described as RecordedSweep and its records are read only when asked for, one sweep
// at a time, so that memory stays bounded whatever the recording's length (of a folder's index,
// the rows of the sweeps kept are held, never its text).
//
// An HDF5 file is opened in SWMR mode: also one that is still being written, or whose writer
// died (its mark left on it). It takes no lock, so that a reader never keeps a writer from
// continuing the file. refresh() looks again for the sweeps a writer added since. (The library
// keeps one open file a process: a process does not read a file it is writing itself.)
//
// Sweeps are counted by their place in the recording, from 0 (a sweep's number is in its
// description). Every failure is a RecordingError; englishReason() words it, and errorNumber()
// is the system's where one is behind it. One thread at a time.
class RecordingReader {
public:
    enum class Kind { Folder, OneFile };

    // A folder, or an HDF5 file; the system's bytes for the name (UTF-8 on Windows).
    static std::unique_ptr<RecordingReader> open(const QByteArray& path);
    virtual ~RecordingReader() = default;

    virtual Kind kind() const = 0;
    // The sweeps there to read.
    virtual long long size() const = 0;
    // Place 0 to size() - 1.
    virtual RecordedSweep sweep(long long place) const = 0;
    // The records as stored, exactly (a data file's 8192 records).
    virtual SampleArray samples(long long place) const = 0;
    // Looks for sweeps added since; returns size().
    virtual long long refresh() = 0;
    // What the recording says of sweeps it did not keep, in English: a folder's rows that name no
    // file to read, each with its line.
    virtual QStringList lost() const { return {}; }

    // The place of the sweep numbered so; none when there is none. Numbers rise with the place.
    std::optional<long long> find(long long number) const;
};
