#pragma once

#include "rec/IndexFile.h"
#include "rec/RecOptions.h"
#include "rec/SweepOutput.h"

#include "core/system/SharedSync.h"
#include "core/system/ThreadSync.h"

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

// A folder of sweep files, each written whole (there complete or not at all), named so that
// they sort in recording order and show the channel, and index.csv with a row for every sweep
// kept or lost, appended once its file is written, in recording order. Nothing in the folder is
// ever replaced: a folder that holds files is taken only to append to, its numbering and index
// continued. The index names exactly the sweep files this class wrote there.
//
// A whole-file write waits for the disk, as long as several sweeps on a slow one; so a few
// writers write while the next sweeps are taken, and the disk serves their waits together. When
// a write fails (a full disk, a file-size limit) the files written after the one that failed are
// removed and everything from it on is written again one by one, so that as many sweeps are
// kept as fit when written one after another; a write that fails then ends the recording, the
// sweep it was for named as the first not kept. The writers share the folder's syncs: a file's
// row still goes in only once a sync of the folder begun after its rename has ended.
class SweepFolder final : public SweepOutput {
public:
    // `link`: how the sweep reached the converter (simulator, modem-lines, ftdi-bitbang).
    static constexpr const char* Header = "sweep,file,start,seconds,channel,range,source,link,min_v,max_v,mean_v,note\n";
    // The same columns as older recordings named them, still continued as they are.
    static constexpr const char* OlderHeader = "sweep,file,start,seconds,channel,range,source,path,min_v,max_v,mean_v,note\n";

    // Fresh takes a folder that holds no recording (nothing, or an index without rows); Append
    // continues one; NextFreeName makes the folder, or "PATH-2", "PATH-3" … where one is there.
    enum Opening { Fresh, Append, NextFreeName };

    // Looks at the folder without making anything. `source` is the port as the user named it.
    // `format` none: a folder appended to keeps the format of its files, a new one takes dat.
    // Throws OutputError for a folder that cannot be taken so or cannot be read, and for an
    // index whose numbering cannot be continued; UsageError for a format that is not the one
    // of the folder appended to.
    SweepFolder(const QString& path, std::optional<SampleFormat> format, Opening opening, QString source);
    // Waits for the writes under way.
    ~SweepFolder() override;

    QString name() const override { return path_; }
    QString mended() const override { return mended_; }
    void begin() override;
    long long firstNumber() const override { return next_; }
    // Each throws the failure of an earlier write, if there was one.
    void kept(const SweepRecord& sweep, const SampleArray& samples) override;
    void lost(const SweepRecord& sweep, const QString& reason) override;
    void finish() override;

private:
    struct Job {
        long long order = 0;  // of the rows in the index
        long long number = 0; // the sweep's
        QString file;         // empty for a lost sweep
        SweepRecord sweep;
        QString note;         // why a sweep was lost, or what is doubtful about one kept
        QByteArray row;       // for the index, made by a writer
        // A kept sweep's samples, apart so that a job moves between the threads without a copy.
        std::unique_ptr<const SampleArray> samples;
    };

    // Continues the numbering after the highest sweep in the index and among the files, in the
    // format of the last of those files.
    void continueFrom(const QStringList& entries, bool append, std::optional<SampleFormat> format);
    void makeFolder(Opening opening);
    void openIndex();
    void queue(Job job);
    // A writer: takes jobs until the folder finishes.
    void work();
    // With the lock held: whether a writer may take the next job.
    bool mayTake() const;
    // The job's file; its failure, if any. A file that took its name but whose folder did not
    // sync keeps its row, with a note.
    std::optional<OutputError> write(Job& job);
    // With the lock held: the job's row goes into the index once every row before it is in.
    void written(Job job, std::optional<OutputError> failure);
    // With the lock held, nothing in flight: from the first failed job on, the files go and
    // the jobs are written again one by one.
    void rewind();
    // With the lock held: the failure ends the recording; nothing after the job is kept.
    void failFinally(const Job& job, const OutputError& failure);
    void removeFile(const Job& job) const;
    void stopWriters();
    // The row goes in whole or not at all; throws OutputError.
    void appendRow(const QByteArray& row);
    // The job's row, with the summary of a kept sweep's samples.
    QByteArray row(const Job& job) const;

    QString path_;
    SampleFormat format_;
    Opening opening_;
    QString source_;
    long long next_ = 1;
    QString indexPath_;
    std::optional<IndexFile> index_;
    qint64 keepIndexBytes_ = -1; // what is kept of an index whose end was cut short; -1: all
    QString mended_;
    bool madeFolder_ = false;

    SharedSync folderSync_; // the writers' renames made durable together
    std::vector<std::thread> writers_;
    ThreadLock mutex_;
    ThreadSignal queued_;               // a job for a writer, or the end
    ThreadSignal done_;                 // a job out of the way, for the recording's thread
    std::deque<Job> jobs_;
    int unfinished_ = 0;                // queued, being written, or to be written again
    int inFlight_ = 0;                  // being written
    std::size_t idleWriters_ = 0;       // waiting for a job
    bool alone_ = false;                // a job written one by one is in flight
    long long nextOrder_ = 0, nextRow_ = 0;
    std::map<long long, Job> waiting_;  // written, their rows waiting for those before them
    std::vector<Job> failed_;           // to be written again once nothing is in flight
    long long oneByOneUpTo_ = -1;       // jobs up to this order are written one at a time
    std::optional<OutputError> failure_;
    long long failedOrder_ = 0;         // of the failure; nothing after it is kept
    bool stopping_ = false;
};
