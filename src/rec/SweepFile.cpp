#include "rec/SweepFile.h"

#include "core/system/FileNames.h"
#include "rec/WriterThread.h"

#include <QFileInfo>

#include <cerrno>

namespace {

// Sweeps handed over and not yet on the disk at most, about 16 KiB each: at 2000 sweeps a
// second, an eighth of a second of the disk's standing still.
constexpr std::size_t RingSweeps = 256;

RecordedSweep recorded(const SweepRecord& s)
{
    return {s.number, s.start.toUTC(), s.seconds, s.channel, s.range, s.link, s.note, s.trigger};
}

} // namespace

SweepFile::SweepFile(const QString& path, Opening opening, bool compress) : path_(path), opening_(opening), compress_(compress)
{
    if (opening == Fresh && QFileInfo::exists(path))
        throw OutputError(QStringLiteral("%1: already there; --append records on into it").arg(path), EEXIST);
}

SweepFile::~SweepFile()
{
    stop();
}

QString SweepFile::mended() const
{
    return writer_ && !writer_->mended().isEmpty() ? path_ + QStringLiteral(": ") + writer_->mended() : QString();
}

long long SweepFile::firstNumber() const
{
    return writer_->lastNumber() + 1;
}

OutputError SweepFile::failed(const RecordingError& failure, long long firstNotKept) const
{
    QString text = path_ + QStringLiteral(": ") + englishReason(failure);
    if (firstNotKept > 0)
        text += QStringLiteral("; sweep %1 is the first not kept").arg(firstNotKept);
    return OutputError(text, failure.errorNumber());
}

void SweepFile::begin()
{
    const RecordingWriter::Settings settings{QStringLiteral("q390-rec"), QStringLiteral(Q390_VERSION), compress_};
    const QString base = path_;
    for (int n = 2;; ++n) {
        try {
            writer_ = std::make_unique<RecordingWriter>(nameBytes(path_), opening_ == Append ? RecordingWriter::Continue : RecordingWriter::Create,
                                                        settings);
            break;
        } catch (const RecordingError& failure) {
            if (opening_ != NextFreeName || failure.errorNumber() != EEXIST)
                throw failed(failure, 0);
            path_ = base.chopped(3) + QStringLiteral("-%1.h5").arg(n);
        }
    }
    ring_.resize(RingSweeps);
    thread_ = std::thread([this] { work(); });
}

void SweepFile::kept(const SweepRecord& sweep, const SampleArray& samples)
{
    std::unique_lock lock(mutex_);
    written_.wait(lock, [this] { return failure_ || given_ - confirmed_ < static_cast<long long>(RingSweeps); });
    if (failure_)
        throw *failure_;
    Waiting& slot = ring_[given_ % RingSweeps];
    // The writer reads only the slots handed over before.
    lock.unlock();
    slot.sweep = sweep;
    slot.samples = samples;
    lock.lock();
    ++given_;
    if (writerWaits_)
        handed_.notify_one();
}

void SweepFile::work()
{
    becomeWriterThread();
    std::unique_lock lock(mutex_);
    for (;;) {
        writerWaits_ = true;
        handed_.wait(lock, [this] { return stopping_ || given_ > confirmed_; });
        writerWaits_ = false;
        const long long from = confirmed_, to = given_;
        if (from == to)
            return;
        lock.unlock();
        try {
            for (long long n = from; n < to; ++n)
                writer_->append(recorded(ring_[n % RingSweeps].sweep), ring_[n % RingSweeps].samples);
            writer_->flush();
        } catch (const RecordingError& failure) {
            lock.lock();
            failure_ = failed(failure, ring_[from % RingSweeps].sweep.number);
            written_.notify_all();
            return;
        }
        lock.lock();
        confirmed_ = to;
        written_.notify_all();
    }
}

void SweepFile::stop()
{
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    handed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void SweepFile::finish()
{
    stop();
    if (failure_)
        throw *failure_;
    try {
        writer_->close();
    } catch (const RecordingError& failure) {
        throw failed(failure, 0);
    }
}
