#include "rec/WriterPool.h"

#include "rec/WriterThread.h"

#include <algorithm>

WriterPool::WriterPool(int writers, int mostUnfinished) : writerCount_(writers), mostUnfinished_(mostUnfinished)
{
}

WriterPool::~WriterPool()
{
    stop();
}

void WriterPool::start()
{
    for (int n = 0; n < writerCount_; ++n)
        writers_.emplace_back([this] { work(); });
}

void WriterPool::add(std::unique_ptr<WriterJob> job)
{
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return failure_ || unfinished_ < mostUnfinished_; });
    if (failure_)
        throw *failure_;
    ++unfinished_;
    jobs_.push_back({nextOrder_++, std::move(job)});
    // A writer that is awake takes the next job on its way round: one is woken only for a job
    // that none of them will come to. So the sweeps' thread mostly hands over without a system
    // call.
    if (jobs_.size() > writers_.size() - idleWriters_)
        queued_.notify_one();
}

bool WriterPool::mayTake() const
{
    return !jobs_.empty() && failed_.empty() && !alone_ && (inFlight_ == 0 || jobs_.front().order > oneByOneUpTo_);
}

void WriterPool::work()
{
    becomeWriterThread();
    std::unique_lock lock(mutex_);
    for (;;) {
        while (!mayTake() && !(stopping_ && jobs_.empty() && inFlight_ == 0)) {
            ++idleWriters_;
            queued_.wait(lock);
            --idleWriters_;
        }
        if (!mayTake())
            return;
        Entry entry = std::move(jobs_.front());
        jobs_.pop_front();
        if (failure_ && entry.order > failedOrder_) {
            --unfinished_; // after the failure nothing more is written
        } else {
            const bool alone = entry.order <= oneByOneUpTo_;
            alone_ = alone;
            ++inFlight_;
            lock.unlock();
            std::optional<OutputError> failure = entry.job->write();
            lock.lock();
            --inFlight_;
            alone_ = alone_ && !alone;
            written(std::move(entry), std::move(failure));
        }
        done_.notify_one();
        // Writers held back while one wrote alone, or waiting to end, look again; in the
        // common case each writer takes the next job itself.
        if (stopping_ || oneByOneUpTo_ >= 0)
            queued_.notify_all();
    }
}

void WriterPool::written(Entry entry, std::optional<OutputError> failure)
{
    if (!failure) {
        waiting_.emplace(entry.order, std::move(entry));
        for (auto next = waiting_.find(nextCommit_); next != waiting_.end(); next = waiting_.find(nextCommit_)) {
            try {
                next->second.job->commit();
            } catch (const OutputError& error) {
                // A job that cannot be committed is taken back too.
                failure = error;
                entry = std::move(next->second);
                waiting_.erase(next);
                entry.job->undo();
                break;
            }
            waiting_.erase(next);
            ++nextCommit_;
            --unfinished_;
        }
    }
    if (failure) {
        if (entry.order <= oneByOneUpTo_ || failure_)
            failFinally(entry, *failure);
        else
            failed_.push_back(std::move(entry));
    }
    if (!failed_.empty() && inFlight_ == 0)
        rewind();
}

void WriterPool::rewind()
{
    for (auto& [order, entry] : waiting_) {
        entry.job->undo();
        failed_.push_back(std::move(entry));
    }
    waiting_.clear();
    std::sort(failed_.begin(), failed_.end(), [](const Entry& a, const Entry& b) { return a.order > b.order; });
    for (Entry& entry : failed_)
        jobs_.push_front(std::move(entry));
    failed_.clear();
    oneByOneUpTo_ = nextOrder_ - 1;
}

void WriterPool::failFinally(const Entry& entry, const OutputError& failure)
{
    --unfinished_;
    if (failure_ && failedOrder_ < entry.order)
        return;
    failure_ = OutputError(QStringLiteral("%1; sweep %2 is the first not kept").arg(failure.detail()).arg(entry.job->number()),
                           failure.errorNumber());
    failedOrder_ = entry.order;
    // A job written but not committed would be a sweep half kept.
    for (auto later = waiting_.upper_bound(failedOrder_); later != waiting_.end(); later = waiting_.erase(later)) {
        later->second.job->undo();
        --unfinished_;
    }
}

void WriterPool::stop()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    queued_.notify_all();
    for (std::thread& writer : writers_)
        writer.join();
    writers_.clear();
}

void WriterPool::finish()
{
    stop();
    if (failure_)
        throw *failure_;
}
