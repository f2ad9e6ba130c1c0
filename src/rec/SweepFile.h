#pragma once

#include "core/recording/RecordingWriter.h"
#include "core/system/ThreadSync.h"
#include "rec/SweepOutput.h"

#include <atomic>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

// The whole recording in one HDF5 file (RecordingWriter), written on a thread of its own, so
// that the sweeps' thread never waits on the disk. The writer appends every sweep handed over
// since its last flush, flushes and syncs once for all of them, and begins again as soon as
// that has ended; a sweep counts as kept once the flush that serves it has ended. The sweeps
// waiting for it are held in a ring made at the start: memory stays flat, and the sweeps'
// thread waits only when the disk falls that far behind. When a flush fails, the sweeps it was
// for are not kept (the file may hold them or not) and the recording ends with the failure;
// the file keeps every sweep of the flushes that ended.
class SweepFile final : public SweepOutput {
public:
    // Fresh takes a name that holds nothing; Append continues the file there (or makes one);
    // NextFreeName makes the file, or "NAME-2.h5", "NAME-3.h5" … where one is there. Throws
    // OutputError for a fresh name that is taken.
    enum Opening { Fresh, Append, NextFreeName };
    SweepFile(const QString& path, Opening opening, bool compress);
    // Stops the writer, when finish() has not.
    ~SweepFile() override;

    QString name() const override { return path_; }
    QString mended() const override;
    // Opens or makes the file and starts the writer; throws OutputError.
    void begin() override;
    long long firstNumber() const override;
    // Throws the writer's failure, if there was one.
    void kept(const SweepRecord& sweep, const SampleArray& samples) override;
    // The messages tell of a lost sweep; the file holds the sweeps kept.
    void lost(const SweepRecord&, const QString&) override {}
    long long confirmed(long long) const override { return confirmed_; }
    // Writes what was handed over, closes the file; throws OutputError.
    void finish() override;

private:
    struct Waiting {
        SweepRecord sweep;
        SampleArray samples{};
    };

    void work();
    void stop();
    OutputError failed(const RecordingError& failure, long long firstNotKept) const;

    QString path_;
    Opening opening_;
    bool compress_;
    std::unique_ptr<RecordingWriter> writer_;
    std::vector<Waiting> ring_;
    std::thread thread_;
    ThreadLock mutex_;
    ThreadSignal handed_;    // a sweep for the writer, or the end
    ThreadSignal written_;   // room in the ring, or a failure
    long long given_ = 0;    // sweeps handed over
    std::atomic<long long> confirmed_{0};
    bool stopping_ = false;
    bool writerWaits_ = false;
    std::optional<OutputError> failure_;
};
