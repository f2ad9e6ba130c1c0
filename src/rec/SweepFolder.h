#pragma once

#include "rec/RecOptions.h"
#include "rec/SweepOutput.h"

#include <QFile>

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// A folder of sweep files, each written whole (there complete or not at all), named so that
// they sort in recording order and show the channel, and index.csv with a row for every sweep
// kept or lost, appended and flushed once its file is written, in recording order. Nothing in
// the folder is ever replaced: a folder that holds files is taken only to append to, its
// numbering and index continued.
//
// A whole-file write waits for the disk, as long as several sweeps on a slow one; so a few
// writers write while the next sweeps are taken, and the disk serves their waits together. After
// a failure nothing more is written, and files written after the one that failed go again, so
// the index stays complete up to the last sweep in the folder and names every file there.
class SweepFolder final : public SweepOutput {
public:
    static constexpr const char* Header = "sweep,file,start,seconds,channel,range,source,path,min_v,max_v,mean_v,note\n";

    // Looks at the folder without making anything. `source` is the port as the user named it.
    // Throws OutputError for a folder that holds files unless appending, or one that cannot be read.
    SweepFolder(const QString& path, RecOptions::Format format, bool append, QString source);
    // Waits for the writes under way.
    ~SweepFolder() override;

    void begin() override;
    long long firstNumber() const override { return next_; }
    // Each throws the failure of an earlier write, if there was one.
    void kept(const SweepRecord& sweep, const SampleArray& samples) override;
    void lost(const SweepRecord& sweep, const QString& reason) override;
    void finish() override;

private:
    struct Job {
        long long order = 0; // of the rows in the index
        QString file;        // empty for a lost sweep
        QByteArray row;      // for the index, made in the recording's thread
        SampleArray samples{};
        Range range = Range::Unipolar;
    };

    // Continues the numbering after the highest sweep in the index and among the files.
    void continueFrom(const QStringList& entries);
    void queue(Job job);
    // A writer: takes jobs until the folder finishes.
    void work();
    // Throws OutputError. A file whose folder did not sync is kept, with a note in its row.
    void write(Job& job) const;
    // With the lock held: the job's row goes into the index once every row before it is in.
    void written(Job job, const std::optional<OutputError>& failure);
    // With the lock held: the files written after the failure go again.
    void dropAfterFailure();
    void stopWriters();
    // The row goes in whole or not at all.
    void appendRow(const QByteArray& row);
    QByteArray row(const SweepRecord& sweep, const QString& file, const QString& note) const;

    QString path_;
    RecOptions::Format format_;
    QString source_;
    long long next_ = 1;
    QFile index_;

    std::vector<std::thread> writers_;
    std::mutex mutex_;
    std::condition_variable queued_; // a job for a writer, or the end
    std::condition_variable done_;   // a job out of the way, for the recording's thread
    std::deque<Job> jobs_;
    int unfinished_ = 0;                // queued or being written
    long long nextOrder_ = 0, nextRow_ = 0;
    std::map<long long, Job> waiting_;  // written, their rows waiting for those before them
    std::optional<OutputError> failure_;
    long long failedOrder_ = 0;         // of the failure; nothing after it is kept
    bool stopping_ = false;
};
