#pragma once

#include "rec/SweepOutput.h"

#include "core/system/ThreadSync.h"

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

// One piece of a recording's output for the writers: its own work (a sweep's file) done on a
// writer's thread, then committed (its index row) in the order the jobs were handed over.
class WriterJob {
public:
    explicit WriterJob(long long number) : number_(number) {}
    virtual ~WriterJob() = default;
    // The sweep's, for the failure that ends the recording.
    long long number() const { return number_; }
    // On a writer's thread, without the pool's lock: the work, and its failure if any.
    virtual std::optional<OutputError> write() = 0;
    // With the pool's lock held, once every job before it is committed; throws OutputError.
    virtual void commit() = 0;
    // Takes back what write() did, for a job written again or not kept.
    virtual void undo() = 0;

private:
    long long number_;
};

// A few writers at once, so that the disk serves their waits together while the next sweeps are
// taken; a bounded number of jobs handed over and not yet committed. When a job fails (a full
// disk, a file-size limit), the jobs written after it are undone, and everything from it on is
// written again one by one, so that as many are kept as fit when written one after another; a
// job that fails then ends the recording, its sweep named as the first not kept, and nothing
// after it is kept.
class WriterPool {
public:
    WriterPool(int writers, int mostUnfinished);
    // Waits for the writes under way.
    ~WriterPool();
    WriterPool(const WriterPool&) = delete;
    WriterPool& operator=(const WriterPool&) = delete;

    void start();
    // Waits while the most jobs are unfinished. Throws the failure of an earlier job, if any.
    void add(std::unique_ptr<WriterJob> job);
    // Every job handed over is written and committed, or the recording's failure thrown.
    void finish();

private:
    struct Entry {
        long long order = 0; // of the commits
        std::unique_ptr<WriterJob> job;
    };

    // A writer: takes jobs until the pool finishes.
    void work();
    // With the lock held: whether a writer may take the next job.
    bool mayTake() const;
    // With the lock held: the job is committed once every job before it is.
    void written(Entry entry, std::optional<OutputError> failure);
    // With the lock held, nothing in flight: from the first failed job on, the jobs are undone
    // and written again one by one.
    void rewind();
    // With the lock held: the failure ends the recording; nothing after the job is kept.
    void failFinally(const Entry& entry, const OutputError& failure);
    void stop();

    const int writerCount_;
    const int mostUnfinished_;
    std::vector<std::thread> writers_;
    ThreadLock mutex_;
    ThreadSignal queued_;               // a job for a writer, or the end
    ThreadSignal done_;                 // a job out of the way, for the recording's thread
    std::deque<Entry> jobs_;
    int unfinished_ = 0;                // queued, being written, or to be written again
    int inFlight_ = 0;                  // being written
    std::size_t idleWriters_ = 0;       // waiting for a job
    bool alone_ = false;                // a job written one by one is in flight
    long long nextOrder_ = 0, nextCommit_ = 0;
    std::map<long long, Entry> waiting_; // written, waiting for those before them
    std::vector<Entry> failed_;          // to be written again once nothing is in flight
    long long oneByOneUpTo_ = -1;        // jobs up to this order are written one at a time
    std::optional<OutputError> failure_;
    long long failedOrder_ = 0;          // of the failure; nothing after it is kept
    bool stopping_ = false;
};
