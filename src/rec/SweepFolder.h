#pragma once

#include "rec/RecOptions.h"
#include "rec/SweepOutput.h"
#include "rec/WriterPool.h"

#include "core/samples/RecordingIndex.h"
#include "core/system/AppendFile.h"
#include "core/system/SharedSync.h"

#include <QSet>

#include <optional>
#include <vector>

// A folder of sweep files, each written whole (there complete or not at all), named so that
// they sort in recording order and show the channel, and its index (RecordingIndex) with a row
// for every sweep kept or lost, appended once its file is written, in recording order. Nothing
// in the folder is ever replaced: a folder that holds files is taken only to append to, its
// numbering and index continued. The index names exactly the sweep files of the folder.
//
// A recording that was killed, or a system that went down, may leave sweep files whose rows
// never went in, and temporary files of writes under way. Appending takes each such file into
// the index (its start and duration not known), with a row for each number between them whose
// file was never complete, and removes the temporary files; a fresh start takes a folder that
// holds only those temporary files beside an index without rows.
//
// The files are written by a WriterPool: a whole-file write waits for the disk, as long as
// several sweeps on a slow one. The writers share the folder's syncs: a file's row still goes
// in only once a sync of the folder begun after its rename has ended.
class SweepFolder final : public SweepOutput {
public:
    // Fresh takes a folder that holds no recording (nothing, or an index without rows); Append
    // continues one; NextFreeName makes the folder, or "PATH-2", "PATH-3" … where one is there.
    enum Opening { Fresh, Append, NextFreeName };

    // Looks at the folder without making anything. `source` is the port as the user named it.
    // `format` none: a folder appended to keeps the format of its files, a new one takes dat.
    // Throws OutputError for a folder that cannot be taken so or cannot be read, and for an
    // index whose numbering cannot be continued; UsageError for a format that is not the one
    // of the folder appended to.
    SweepFolder(const QString& path, std::optional<SampleFormat> format, Opening opening, QString source);

    QString name() const override { return path_; }
    QString mended() const override { return mended_.join(QStringLiteral("; ")); }
    void begin() override;
    long long firstNumber() const override { return next_; }
    // Each throws the failure of an earlier write, if there was one.
    void kept(const SweepRecord& sweep, const SampleArray& samples) override;
    void lost(const SweepRecord& sweep, const QString& reason) override;
    void finish() override;

private:
    class SweepJob;
    struct SweepFile {
        long long number = 0;
        int channel = 0;
        QString name;
    };
    // What the index's rows say: the highest number, the files named (as the file system tells
    // names apart) and the range of the last sweep kept.
    struct Indexed {
        long long highest = 0;
        QSet<QString> named;
        std::optional<Range> lastRange;
    };

    // Continues the numbering after the highest sweep in the index and among the files, in the
    // format of the last of those files.
    void look(const QStringList& entries, bool append, std::optional<SampleFormat> format);
    Indexed readIndex(bool append);
    // The rows of the sweep files the index does not name, in order after its own.
    void recover(const std::vector<SweepFile>& orphans, const Indexed& indexed);
    // An orphan's row, from the file: throws OutputError for one that is not a whole sweep.
    IndexedSweep recovered(const SweepFile& orphan, std::optional<Range> lastRange) const;
    void makeFolder(Opening opening);
    void openIndex();
    // The row goes in whole or not at all; throws OutputError.
    void appendRow(const QByteArray& row);
    // A sweep's row, with the summary of a kept sweep's samples.
    QByteArray row(const SweepRecord& sweep, const QString& file, const SampleArray* samples, const QString& note) const;

    QString path_;
    SampleFormat format_;
    Opening opening_;
    QString source_;
    long long next_ = 1;
    QString indexPath_;
    IndexHeader header_ = IndexHeader::current(); // the index's own, which its rows follow
    std::optional<AppendFile> index_;
    qint64 keepIndexBytes_ = -1; // what is kept of an index whose end was cut short; -1: all
    QList<QByteArray> recovered_; // rows for files an interrupted recording left unindexed
    QStringList temporaries_;     // of writes an interrupted recording left, removed as it begins
    QStringList mended_;
    bool madeFolder_ = false;

    SharedSync folderSync_; // the writers' renames made durable together
    WriterPool pool_;       // last: its writers end before anything they use
};
