#pragma once

#include "core/samples/Range.h"
#include "core/samples/Readings.h"
#include "core/system/FileStart.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

// What a recording's index (index.csv in the folder q390-rec records into) says of one sweep:
// one kept in a file of that folder, or one that was not (no file; the note says why).
struct IndexedSweep {
    long long number = 0;
    QString file;         // the name within the folder; empty for a sweep not kept
    QByteArray startText; // ISO 8601 local time with milliseconds and the offset from UTC; empty when not known
    std::optional<double> seconds;
    int channel = 0;
    Range range = Range::Unipolar;
    QString source;                // the port as the user named it
    QString link;                  // how the sweep reached the converter (simulator, modem-lines, ftdi-bitbang)
    std::optional<Summary> levels; // a kept sweep's minimum, maximum and mean; written, not read back
    QString note;                  // what is doubtful about a sweep kept, or why one was not
    std::optional<int> trigger;    // the place (from 0) of the first sample past a trigger's crossing

    // Invalid where the cell could not be read. Parsed only when asked for: it costs more than
    // all the rest of a row, and a lookup needs one row of many.
    QDateTime start() const;
    void setStart(const QDateTime& time);
};

// The columns an index has, each found by its name in the header, so that columns added or
// renamed since do not matter to a reader.
enum class IndexColumn { Sweep, File, Start, Seconds, Channel, Range, Source, Link, MinV, MaxV, MeanV, Note, Trigger, Count };

// An index's header: its columns in the order a file names them. Rows are written for the header
// of the file they go into, a cell for each of its columns (empty for one this program does not
// know), so that an older recording goes on in its own columns.
class IndexHeader {
public:
    // What a new index is given.
    static IndexHeader current();
    // The header a first line names; none where it names no sweep, file, channel and range.
    static std::optional<IndexHeader> named(const QList<QByteArray>& cells);
    // Whether the text is the beginning of a header this program writes or wrote (an index cut
    // short as it was made).
    static bool begins(const QByteArray& text);

    QByteArray line() const;
    qsizetype size() const { return names_.size(); }
    // Where the column is, -1 where the header has none.
    qsizetype at(IndexColumn column) const { return at_[std::size_t(column)]; }
    // The sweep's row, CSV: a cell quoted where it holds a separator, a quote or a line break.
    QByteArray row(const IndexedSweep& sweep) const;
    // The row of a sweep of which only the number is known, with why it was not kept.
    QByteArray unknownRow(long long number, const QString& note) const;
    bool operator==(const IndexHeader& other) const { return names_ == other.names_; }

private:
    explicit IndexHeader(QList<QByteArray> names);
    QByteArray rowOf(const std::array<QByteArray, std::size_t(IndexColumn::Count)>& cells) const;

    QList<QByteArray> names_;
    std::array<qsizetype, std::size_t(IndexColumn::Count)> at_;
};

// One row of an index read back.
struct IndexRow {
    enum Kind { Kept, NotKept, Unreadable } kind = Kept;
    int line = 0;      // the line it starts on, the header's being 1
    qint64 offset = 0; // the byte it starts at
    bool cutShort = false; // the index ended within it, before its line break
    IndexedSweep sweep;    // Kept: the whole row; NotKept: its number and note
    QString problem;       // Unreadable: what is wrong with it

    // A row that names no file to read, in English: "line 5: sweep 4 was not kept: gone".
    QString told() const;
};

// A recording's index read back as a stream of rows: never the whole file at once, each row at
// most MostRowBytes, the index at most MostBytes (a larger one is refused: about 170 bytes for
// each of the 99,999,999 sweeps a folder takes). Only what the file held when it was opened is
// read: a row being added then reads as cut short. Rows are CSV with LF or CRLF line ends; a
// file cell names a file of the folder itself, never one elsewhere (no path, no "..").
class RecordingIndex {
public:
    static constexpr const char* FileName = "index.csv";
    static constexpr qint64 MostBytes = qint64(16) << 30;
    static constexpr qsizetype MostRowBytes = 64 << 10;

    enum Outcome {
        Read,       // its rows follow
        Begun,      // empty, or cut short within the header as it was made: no recording yet
        Unreadable, // errorNumber() says why
        NotRegular, // a FIFO, a device or a link
        TooLarge,
        NotAnIndex, // its first line names no sweep, file, channel and range
    };

    // Whether a name in a folder is the index's, in any case where the file system ignores it.
    static bool isIndexName(const QString& name);
    // The index's path in the folder (the system's bytes for its name; empty is the current folder).
    static QByteArray pathIn(const QByteArray& folder);

    // Opens the index in the folder and reads its header.
    explicit RecordingIndex(const QByteArray& folder);

    Outcome outcome() const { return outcome_; }
    int errorNumber() const { return file_.errorNumber(); }
    QByteArray path() const { return path_; }
    qint64 size() const { return file_.size(); }
    // Read: the file's own.
    const IndexHeader& header() const { return header_; }
    // What an outcome other than Read means, in English, for a line after the path.
    QString refusal() const;

    // The next row; false at the end, or when reading failed (the outcome is Unreadable then).
    bool next(IndexRow& row);

private:
    // The next CSV row's cells into cells_; false when nothing is left. Past MostRowBytes a row's
    // cells are dropped and tooLong_ set, the rest of it read through to its end.
    bool nextCells(IndexRow& row);
    // The cell being read, its room kept from row to row.
    QByteArray& cell();
    // More of the file into buffer_; false at its end (as opened) or on a failed read.
    bool fill();

    QByteArray path_;
    FileReading file_;
    Outcome outcome_ = Read;
    IndexHeader header_ = IndexHeader::current();
    QByteArray buffer_;
    qsizetype at_ = 0;    // the next byte of buffer_
    qint64 before_ = 0;   // bytes of the file before buffer_
    qint64 left_ = 0;     // bytes of the file not yet in buffer_
    int line_ = 1;
    QList<QByteArray> cells_; // the first cellCount_ are the row's
    qsizetype cellCount_ = 0;
    bool tooLong_ = false;
};

// A file looked up in the index of the folder it lies in.
struct IndexLookup {
    enum Found { NoIndex, NotNamed, Named } found = NoIndex;
    IndexedSweep sweep; // Named: the index's row
};

// Files looked up in the indexes of the folders they lie in: each index read once for all the
// files in its folder, keeping only their rows.
class IndexedFiles {
public:
    explicit IndexedFiles(const QList<QByteArray>& files = {});
    IndexLookup find(const QByteArray& file) const;
    // The indexes refused for their size, each in English with its path.
    const QStringList& refused() const { return refused_; }

private:
    QHash<QByteArray, IndexLookup> found_;
    QStringList refused_;
};
