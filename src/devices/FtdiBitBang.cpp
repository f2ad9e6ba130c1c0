#include "devices/FtdiBitBang.h"

#include "devices/SerialDevice.h"

#include <QFile>
#include <QFileInfo>

#include <ftdi.h>
#include <libusb.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>

namespace {

constexpr int FtdiVendor = 0x0403;
constexpr unsigned char RtsPin = 0x04; // D2, RTS#
constexpr unsigned char CtsPin = 0x08; // D3, CTS#
constexpr unsigned char DtrPin = 0x10; // D4, DTR#

std::optional<int> readNumber(const QString& path, int base)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    bool ok = false;
    const int value = file.readAll().trimmed().toInt(&ok, base);
    return ok ? std::optional<int>(value) : std::nullopt;
}

ftdi_context* newContext(std::chrono::milliseconds deadline)
{
    ftdi_context* context = ftdi_new();
    if (!context)
        throw PortError(FailureKind::System, ENOMEM);
    // The tty comes back when the port closes.
    context->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
    // A chip that stops answering holds up a control request no longer than a transfer.
    context->usb_read_timeout = context->usb_write_timeout = int(deadline.count());
    return context;
}

[[noreturn]] void failOpen(ftdi_context* context)
{
    const QString reason = QString::fromLocal8Bit(ftdi_get_error_string(context));
    ftdi_free(context);
    throw PortError(FailureKind::Device, 0, reason);
}

} // namespace

std::optional<FtdiLocation> findFtdiChip(const QString& device, const QString& sysfsRoot)
{
    struct stat node {};
    if (::stat(QFile::encodeName(device).constData(), &node) != 0 || !S_ISCHR(node.st_mode))
        return {};
    // The character device's entry leads to the serial port, inside the USB interface, inside
    // the USB device.
    const QString top = QFileInfo(sysfsRoot).canonicalFilePath();
    QString dir = QFileInfo(QStringLiteral("%1/dev/char/%2:%3/device")
                                .arg(sysfsRoot).arg(major(node.st_rdev)).arg(minor(node.st_rdev)))
                      .canonicalFilePath();
    std::optional<int> interface;
    while (!top.isEmpty() && dir.startsWith(top + u'/')) {
        if (!interface)
            interface = readNumber(dir + QStringLiteral("/bInterfaceNumber"), 16);
        if (const auto vendor = readNumber(dir + QStringLiteral("/idVendor"), 16)) {
            const auto bus = readNumber(dir + QStringLiteral("/busnum"), 10);
            const auto address = readNumber(dir + QStringLiteral("/devnum"), 10);
            if (*vendor != FtdiVendor || !bus || !address)
                return {};
            return FtdiLocation{*bus, *address, interface.value_or(0)};
        }
        dir = QFileInfo(dir).path();
    }
    return {};
}

std::unique_ptr<FtdiBitBang> FtdiBitBang::open(const QString& description, std::chrono::milliseconds deadline)
{
    ftdi_context* context = newContext(deadline);
    if (ftdi_usb_open_string(context, description.toLocal8Bit().constData()) < 0)
        failOpen(context);
    std::unique_ptr<FtdiBitBang> chip(new FtdiBitBang(context, deadline));
    chip->start();
    return chip;
}

std::unique_ptr<FtdiBitBang> FtdiBitBang::open(const FtdiLocation& location, std::chrono::milliseconds deadline)
{
    ftdi_context* context = newContext(deadline);
    if (ftdi_set_interface(context, ftdi_interface(INTERFACE_A + location.interface)) < 0
        || ftdi_usb_open_bus_addr(context, uint8_t(location.bus), uint8_t(location.address)) < 0)
        failOpen(context);
    std::unique_ptr<FtdiBitBang> chip(new FtdiBitBang(context, deadline));
    chip->start();
    return chip;
}

struct BitBangStream::Transfer {
    libusb_transfer* usb = libusb_alloc_transfer(0);
    std::vector<unsigned char> buffer;
    int* completed = nullptr;
    bool done = false;
    ~Transfer() { libusb_free_transfer(usb); }
};

namespace {

void LIBUSB_CALL transferDone(libusb_transfer* usb)
{
    auto* transfer = static_cast<BitBangStream::Transfer*>(usb->user_data);
    transfer->done = true;
    *transfer->completed = 1;
}

} // namespace

BitBangStream::BitBangStream(ftdi_context* context, std::chrono::milliseconds deadline)
    : context_(context), deadline_(deadline)
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

bool BitBangStream::submit(Transfer& transfer, int endpoint)
{
    transfer.done = false;
    transfer.completed = &completed_;
    // No time-out of libusb's: the deadline is kept here, from the last transfer done.
    libusb_fill_bulk_transfer(transfer.usb, context_->usb_dev, static_cast<unsigned char>(endpoint), transfer.buffer.data(),
                              int(transfer.buffer.size()), transferDone, &transfer, 0);
    if (libusb_submit_transfer(transfer.usb) == 0)
        return true;
    // A transfer that failed (the chip pulled out, most often) is told as the input/output error
    // a serial adapter's line operations fail with then.
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
        return *pool_.emplace_back(std::make_unique<Transfer>());
    };
    while (!failure_ && toWrite_ > 0 && int(writing_.size()) < Depth) {
        Transfer& write = spare();
        write.buffer.resize(std::size_t(std::min<long>(toWrite_, perWrite_)));
        fill_(write.buffer.data(), int(write.buffer.size()));
        toWrite_ -= long(write.buffer.size());
        written_ += long(write.buffer.size());
        if (submit(write, context_->in_ep)) // libftdi names the endpoints as the chip sees them
            writing_.push_back(&write);
    }
    // Reads for every byte written, each packet two status bytes and up to packet - 2 bytes.
    const int packet = context_->max_packet_size, data = packet - 2;
    long unasked = written_ - read_;
    for (const Transfer* read : reading_)
        unasked -= long(read->buffer.size()) / packet * data;
    while (!failure_ && unasked > 0 && int(reading_.size()) < Depth) {
        Transfer& read = spare();
        const long packets = std::min<long>((unasked + data - 1) / data, (perWrite_ + data - 1) / data);
        read.buffer.resize(std::size_t(packets * packet));
        unasked -= packets * data;
        if (submit(read, context_->out_ep))
            reading_.push_back(&read);
    }
}

void BitBangStream::collect()
{
    while (!writing_.empty() && writing_.front()->done) {
        const libusb_transfer* usb = writing_.front()->usb;
        if (!failure_ && (usb->status != LIBUSB_TRANSFER_COMPLETED || usb->actual_length != usb->length))
            failure_.emplace(FailureKind::System, EIO);
        writing_.pop_front();
    }
    // A read reported done waits for the reads before it: the bytes come in the order submitted.
    const int packet = context_->max_packet_size;
    while (!reading_.empty() && reading_.front()->done) {
        const libusb_transfer* usb = reading_.front()->usb;
        reading_.pop_front();
        if (usb->status != LIBUSB_TRANSFER_COMPLETED) {
            if (!failure_)
                failure_.emplace(FailureKind::System, EIO);
            continue;
        }
        for (int at = 0; at < usb->actual_length; at += packet) {
            const int end = std::min(at + packet, usb->actual_length);
            if (end - at > 2) {
                in_.insert(in_.end(), usb->buffer + at + 2, usb->buffer + end);
                read_ += end - at - 2;
            }
        }
    }
}

bool BitBangStream::awaitAny()
{
    // libusb's own wait would have no end for a chip that stopped answering.
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + deadline_;
    completed_ = 0;
    while (!completed_) {
        const auto left = duration_cast<microseconds>(deadline - steady_clock::now()).count();
        if (left <= 0)
            return false;
        timeval wait{time_t(left / 1000000), suseconds_t(left % 1000000)};
        libusb_handle_events_timeout_completed(context_->usb_ctx, &wait, &completed_);
    }
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
        libusb_cancel_transfer(transfer->usb);
    for (Transfer* transfer : reading_)
        libusb_cancel_transfer(transfer->usb);
    while (!writing_.empty() || !reading_.empty()) {
        if (!awaitAny()) {
            // libusb still owns them: they are left to it rather than freed under it.
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

FtdiBitBang::FtdiBitBang(ftdi_context* context, std::chrono::milliseconds deadline)
    : context_(context), stream_(std::make_unique<BitBangStream>(context, deadline))
{
}

FtdiBitBang::~FtdiBitBang()
{
    // What is under way ends before the chip is let go. Back to UART mode with the latency
    // timer it had; closing gives the channel back to the kernel's driver. None of it can fail
    // in a way that leaves anything to do: a chip pulled out is gone already.
    stream_.reset();
    if (latencyTimer_)
        ftdi_set_latency_timer(context_, latencyTimer_);
    ftdi_set_bitmode(context_, 0, BITMODE_RESET);
    ftdi_usb_close(context_);
    ftdi_free(context_);
}

void FtdiBitBang::start()
{
    // The first chips of the line (AM, BM) have no synchronous bit-bang mode.
    if (context_->type == TYPE_AM || context_->type == TYPE_BM)
        throw PortError(FailureKind::NoBitBang, ENOTSUP);
    // A partial USB packet of answers goes when the latency timer runs out: 1 ms instead of the
    // usual 16, for the end of a run.
    if (ftdi_get_latency_timer(context_, &latencyTimer_) < 0 || ftdi_set_latency_timer(context_, 1) < 0
        || ftdi_set_bitmode(context_, RtsPin | DtrPin, BITMODE_SYNCBB) < 0 || ftdi_set_baudrate(context_, BaudRate) < 0
        || ftdi_tcioflush(context_) < 0)
        throw PortError(FailureKind::Device, 0, QString::fromLocal8Bit(ftdi_get_error_string(context_)));
    // The lines at rest, as a serial port leaves them when it opens.
    try {
        runAlone(LineOp::ReadCts);
    } catch (const LineError& e) {
        throw PortError(e.kind(), e.errorNumber(), e.detail());
    }
}

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
