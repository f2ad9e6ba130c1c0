#pragma once

#include "core/samples/Range.h"
#include "core/samples/RecordingIndex.h"
#include "core/samples/Samples.h"
#include "dat/Request.h"

#include <QString>

#include <cstdio>
#include <map>
#include <optional>

namespace DatTool {

// One sweep as the commands take it: its records, the range they are read in, and what the
// recording's index says of it where the file lies in a recording.
struct DatSweep {
    QString input; // as named on the command line
    SampleArray samples{};
    Range range = Range::Unipolar;
    std::optional<IndexedSweep> indexed;

    QString fileName() const;
    std::optional<int> channel() const { return indexed ? std::optional(indexed->channel) : std::nullopt; }
    std::optional<double> seconds() const { return indexed ? indexed->seconds : std::nullopt; }
    // The sweep's start as the index gives it (ISO 8601 with the offset from UTC); empty where
    // it is not known or not a time.
    QByteArray start() const;
};

// Reads the data files a request names. Each folder's index is read once, however many of its
// files are named.
class SweepReader {
public:
    SweepReader(const Request& request, std::FILE* err) : request_(request), err_(err) {}

    // The records and the index's row; throws Stop naming the file and the reason it cannot
    // be read.
    DatSweep read(const QString& input);
    // The range: as given, from the index, or from the records, named on err where the records
    // had to tell it (once the output is settled, so that a refused output is the only line).
    void chooseRange(DatSweep& sweep) const;

private:
    std::optional<IndexedSweep> indexed(const QString& input);

    const Request& request_;
    std::FILE* err_;
    std::map<QByteArray, RecordingIndex> indexes_; // by folder
};

} // namespace DatTool
