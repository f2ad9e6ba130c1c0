#include "devices/FtdiBitBang.h"

#include "devices/SerialDevice.h"

#include <algorithm>
#include <cerrno>

BitBangStream::BitBangStream(Transport& transport, std::chrono::milliseconds deadline)
    : transport_(transport), deadline_(deadline)
{
}

BitBangStream::~BitBangStream()
{
    cancelAll();
}

void BitBangStream::start(long total, int perWrite, Fill fill)
{
    finish();
    fill_ = std::move(fill);
    perWrite_ = perWrite;
    toWrite_ = total;
    written_ = read_ = 0;
    in_.clear();
    taken_ = 0;
    failure_.reset();
    refill();
}

bool BitBangStream::submit(Transfer& transfer, bool write)
{
    transfer.done = transfer.ok = false;
    transfer.length = 0;
    if (transport_.submit(transfer, write))
        return true;
    failure_.emplace(FailureKind::System, EIO);
    return false;
}

void BitBangStream::refill()
{
    // Free transfers are the ones in the pool under way neither way.
    const auto spare = [this]() -> Transfer& {
        for (const auto& t : pool_)
            if (std::find(writing_.begin(), writing_.end(), t.get()) == writing_.end()
                && std::find(reading_.begin(), reading_.end(), t.get()) == reading_.end())
                return *t;
        return *pool_.emplace_back(transport_.newTransfer());
    };
    while (!failure_ && toWrite_ > 0 && int(writing_.size()) < Depth) {
        Transfer& write = spare();
        write.buffer.resize(std::size_t(std::min<long>(toWrite_, perWrite_)));
        fill_(write.buffer.data(), int(write.buffer.size()));
        toWrite_ -= long(write.buffer.size());
        written_ += long(write.buffer.size());
        if (submit(write, true))
            writing_.push_back(&write);
    }
    // Reads for every byte written, each packet its status bytes and the bytes after them.
    const int packet = transport_.packetSize(), data = packet - transport_.statusBytes();
    long unasked = written_ - read_;
    for (const Transfer* read : reading_)
        unasked -= long(read->buffer.size()) / packet * data;
    while (!failure_ && unasked > 0 && int(reading_.size()) < Depth) {
        Transfer& read = spare();
        const long packets = std::min<long>((unasked + data - 1) / data, (perWrite_ + data - 1) / data);
        read.buffer.resize(std::size_t(packets * packet));
        unasked -= packets * data;
        if (submit(read, false))
            reading_.push_back(&read);
    }
}

void BitBangStream::collect()
{
    while (!writing_.empty() && writing_.front()->done) {
        const Transfer& write = *writing_.front();
        if (!failure_ && (!write.ok || write.length != int(write.buffer.size())))
            failure_.emplace(FailureKind::System, EIO);
        writing_.pop_front();
    }
    // A read reported done waits for the reads before it: the bytes come in the order submitted.
    const int packet = transport_.packetSize(), status = transport_.statusBytes();
    while (!reading_.empty() && reading_.front()->done) {
        const Transfer& read = *reading_.front();
        reading_.pop_front();
        if (!read.ok) {
            if (!failure_)
                failure_.emplace(FailureKind::System, EIO);
            continue;
        }
        for (int at = 0; at < read.length; at += packet) {
            const int end = std::min(at + packet, read.length);
            if (end - at > status) {
                in_.insert(in_.end(), read.buffer.begin() + at + status, read.buffer.begin() + end);
                read_ += end - at - status;
            }
        }
    }
}

bool BitBangStream::awaitAny()
{
    if (!transport_.awaitAny(std::chrono::steady_clock::now() + deadline_))
        return false;
    collect();
    return true;
}

const unsigned char* BitBangStream::take(int count)
{
    while (in_.size() - taken_ < std::size_t(count)) {
        if (!failure_ && writing_.empty() && reading_.empty())
            failure_.emplace(FailureKind::System, EIO); // more asked for than was sent
        if (!failure_ && !awaitAny())
            failure_.emplace(FailureKind::NoAnswer, ETIMEDOUT);
        if (failure_) {
            cancelAll();
            throw *failure_;
        }
        refill();
    }
    // What was taken goes once it is most of the buffer, so the buffer stays a few transfers long.
    if (taken_ > in_.size() / 2) {
        in_.erase(in_.begin(), in_.begin() + std::ptrdiff_t(taken_));
        taken_ = 0;
    }
    const unsigned char* bytes = in_.data() + taken_;
    taken_ += std::size_t(count);
    return bytes;
}

void BitBangStream::finish() noexcept
{
    toWrite_ = 0;
    while (!failure_ && (!writing_.empty() || !reading_.empty())) {
        if (!awaitAny())
            break;
        refill();
    }
    cancelAll();
}

void BitBangStream::cancelAll() noexcept
{
    for (Transfer* transfer : writing_)
        transport_.cancel(*transfer);
    for (Transfer* transfer : reading_)
        transport_.cancel(*transfer);
    while (!writing_.empty() || !reading_.empty()) {
        if (!awaitAny()) {
            // The library still owns them: they are left to it rather than freed under it.
            for (auto& transfer : pool_)
                if (std::find(writing_.begin(), writing_.end(), transfer.get()) != writing_.end()
                    || std::find(reading_.begin(), reading_.end(), transfer.get()) != reading_.end())
                    static_cast<void>(transfer.release());
            writing_.clear();
            reading_.clear();
            break;
        }
    }
    std::erase(pool_, nullptr);
}

FtdiBitBang::FtdiBitBang(std::unique_ptr<BitBangStream::Transport> transport, std::chrono::milliseconds deadline)
    : transport_(std::move(transport)), stream_(std::make_unique<BitBangStream>(*transport_, deadline))
{
    // The lines at rest, as a serial port leaves them when it opens.
    try {
        runAlone(LineOp::ReadCts);
    } catch (const LineError& e) {
        throw PortError(e.kind(), e.errorNumber(), e.detail());
    }
}

// What is under way ends before the transport gives the chip back.
FtdiBitBang::~FtdiBitBang() = default;

unsigned char FtdiBitBang::put(LineOp op)
{
    switch (op) {
    case LineOp::RtsAsserted: outputs_ &= ~RtsPin; break;
    case LineOp::RtsReleased: outputs_ |= RtsPin; break;
    case LineOp::DtrAsserted: outputs_ &= ~DtrPin; break;
    case LineOp::DtrReleased: outputs_ |= DtrPin; break;
    case LineOp::ReadCts: break;
    }
    return outputs_;
}

FrameReadout FtdiBitBang::runFrame(const LineFrame& frame, int ahead)
{
    if (framesLeft_ == 0 || frame != frame_) {
        dropAhead();
        frame_ = frame;
        framesLeft_ = ahead + 1;
        nextOperation_ = 0;
        stream_->start(framesLeft_ * FrameOperations, FramesPerWrite * FrameOperations,
                       [this](unsigned char* bytes, int count) {
                           for (int n = 0; n < count; ++n) {
                               bytes[n] = put(frame_[std::size_t(nextOperation_)]);
                               nextOperation_ = (nextOperation_ + 1) % FrameOperations;
                           }
                       });
    }
    const unsigned char* in = stream_->take(FrameOperations);
    --framesLeft_;
    FrameReadout readout{};
    std::size_t read = 0;
    for (int n = 0; n < FrameOperations; ++n)
        if (frame[std::size_t(n)] == LineOp::ReadCts)
            readout[read++] = !(in[n] & CtsPin);
    return readout;
}

void FtdiBitBang::dropAhead()
{
    framesLeft_ = 0;
    stream_->finish();
}

unsigned char FtdiBitBang::runAlone(LineOp op)
{
    dropAhead();
    stream_->start(1, 1, [this, op](unsigned char* bytes, int) { bytes[0] = put(op); });
    return *stream_->take(1);
}

void FtdiBitBang::setRts(bool asserted)
{
    runAlone(asserted ? LineOp::RtsAsserted : LineOp::RtsReleased);
}

void FtdiBitBang::setDtr(bool asserted)
{
    runAlone(asserted ? LineOp::DtrAsserted : LineOp::DtrReleased);
}

bool FtdiBitBang::readCts()
{
    return !(runAlone(LineOp::ReadCts) & CtsPin);
}
