#pragma once

#include "core/recording/RecordingReader.h"
#include "core/samples/Range.h"
#include "core/samples/RecordingIndex.h"
#include "core/samples/Samples.h"
#include "dat/Request.h"

#include <QString>

#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

namespace DatTool {

// What a recording says of a sweep: a folder's index of one of its files, or an HDF5 file.
struct SweepFacts {
    long long number = 0;
    int channel = 0;
    Range range = Range::Unipolar;
    std::optional<double> seconds;
    QByteArray start; // ISO 8601 with the offset from UTC; empty where not told
};

// One sweep as the commands take it: a data file's, or one of an HDF5 recording's, the range
// its records are read in, and what the recording says of it.
struct DatSweep {
    QString input; // as named on the command line
    QString name;  // what its outputs are named after: the file's base name, or sweep-N-chC
    Range range = Range::Unipolar;
    std::optional<SweepFacts> facts;

    // The records: a data file's as read, a recording's read from it again each time, so that
    // a recording of any length is never held whole.
    SampleArray records() const;
    // How labels name it: the file's name, or the recording's and the sweep's number.
    QString label() const;
    // How messages name it: the input as named, and a recording's sweep number.
    QString source() const;
    std::optional<int> channel() const { return facts ? std::optional(facts->channel) : std::nullopt; }
    std::optional<double> seconds() const { return facts ? facts->seconds : std::nullopt; }
    QByteArray start() const { return facts ? facts->start : QByteArray(); }

    SampleArray stored{}; // a data file's
    std::shared_ptr<const RecordingReader> recording;
    long long place = 0;
};

// Reads what a request names: data files (16384 bytes of records, or a sweep's CSV), each
// looked up in its folder's index; and recordings (an HDF5 file, or for the h5 command a folder), their sweeps within
// --sweeps.
class SweepReader {
public:
    // Reads the indexes of the inputs' folders, and names on err those refused.
    SweepReader(const Request& request, std::FILE* err);

    // Throws Stop naming the input and the reason it cannot be read.
    std::vector<DatSweep> read(const QString& input);
    // The range: as given, from the recording, or from the records, named on err where the
    // records had to tell it (once the output is settled, so that a refused output is the only line).
    void chooseRange(DatSweep& sweep) const;

private:
    std::optional<SweepFacts> indexed(const QString& input);
    std::vector<DatSweep> recorded(const QString& input);

    const Request& request_;
    std::FILE* err_;
    const IndexedFiles indexed_;
};

} // namespace DatTool
