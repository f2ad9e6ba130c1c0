#pragma once

#include "core/samples/Range.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// What a recording's index (index.csv in the folder q390-rec records into) says of one sweep
// kept in a file of that folder.
struct IndexedSweep {
    long long number = 0;
    QString file; // the name within the folder
    QByteArray startText; // ISO 8601 with the offset from UTC
    std::optional<double> seconds;
    int channel = 0;
    Range range = Range::Unipolar;
    QString link; // how the sweep reached the converter
    QString note;
    std::optional<int> trigger; // the index (from 0) of the first sample past a trigger's crossing

    // Invalid where the cell could not be read. Parsed only when asked for: it costs more than
    // all the rest of a row, and a lookup needs one row of many.
    QDateTime start() const;
};

// A recording's index read back. Columns are found by the header's names, so that columns added
// or renamed since (the sweep's link was first called "path") do not matter; rows are CSV, a
// cell quoted where it holds a separator, a quote or a line break.
class RecordingIndex {
public:
    static constexpr const char* FileName = "index.csv";

    enum Outcome { Read, Unreadable, NotAnIndex };

    // The index in `folder` (the system's bytes for its name; empty is the current folder).
    static RecordingIndex load(const QByteArray& folder);
    explicit RecordingIndex(const QByteArray& text);

    Outcome outcome() const { return outcome_; }
    int errorNumber() const { return errorNumber_; } // Unreadable: the system's error number
    QByteArray path() const { return path_; }        // as load() found it; empty for a text given

    // The sweeps kept in files, in the index's order.
    const std::vector<IndexedSweep>& sweeps() const { return sweeps_; }
    // The rows that name no file to read, in English: a sweep that was not kept (with the
    // recorder's note) or a row that cannot be read, each with its line number.
    const QStringList& lost() const { return lost_; }

    std::optional<IndexedSweep> find(const QString& file) const;

private:
    RecordingIndex() = default;
    void parse(const QByteArray& text);

    Outcome outcome_ = Read;
    int errorNumber_ = 0;
    QByteArray path_;
    std::vector<IndexedSweep> sweeps_;
    QStringList lost_;
};

// A file looked up in the index of the folder it lies in.
struct IndexLookup {
    enum Found { NoIndex, NotNamed, Named } found = NoIndex;
    IndexedSweep sweep; // Named: the index's row
};
IndexLookup lookUpInIndex(const QByteArray& filePath);
