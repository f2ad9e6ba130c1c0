#include "devices/FtdiBitBang.h"

#include "core/system/SystemReason.h"
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

// A transfer that failed (the chip pulled out, most often) is told as the input/output error a
// serial adapter's line operations fail with then.
const QString TransferFailure = systemReason(EIO);
const QString NoAnswer = QStringLiteral("设备无响应");

ftdi_context* newContext(std::chrono::milliseconds deadline)
{
    ftdi_context* context = ftdi_new();
    if (!context)
        throw PortError(QStringLiteral("内存不足"), ENOMEM);
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
    throw PortError(reason);
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

FtdiBitBang::FtdiBitBang(ftdi_context* context, std::chrono::milliseconds deadline)
    : context_(context), deadline_(deadline)
{
}

FtdiBitBang::~FtdiBitBang()
{
    // Back to UART mode with the latency timer it had; closing gives the channel back to the
    // kernel's driver. None of it can fail in a way that leaves anything to do: a chip pulled
    // out is gone already.
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
        throw PortError(QStringLiteral("此芯片没有同步位模式"), ENOTSUP);
    // One USB transfer each way for the largest batch: its bytes out, and as many back in
    // packets that each begin with the chip's two status bytes.
    const int most = FramesPerTransfer * FrameOperations;
    const int packetData = context_->max_packet_size - 2;
    // The answer's last, short packet goes when the latency timer runs out: 1 ms instead of
    // the usual 16, which would cost more than the batch itself.
    if (ftdi_get_latency_timer(context_, &latencyTimer_) < 0 || ftdi_set_latency_timer(context_, 1) < 0
        || ftdi_set_bitmode(context_, RtsPin | DtrPin, BITMODE_SYNCBB) < 0 || ftdi_set_baudrate(context_, BaudRate) < 0
        || ftdi_write_data_set_chunksize(context_, unsigned(most)) < 0
        || ftdi_read_data_set_chunksize(context_, unsigned((most + packetData - 1) / packetData * context_->max_packet_size)) < 0
        || ftdi_tcioflush(context_) < 0)
        throw PortError(QString::fromLocal8Bit(ftdi_get_error_string(context_)));
    // The lines at rest, as a serial port leaves them when it opens.
    out_.assign(1, outputs_);
    try {
        exchange();
    } catch (const LineError& e) {
        throw PortError(e.reason(), e.errorNumber());
    }
}

void FtdiBitBang::put(LineOp op)
{
    switch (op) {
    case LineOp::RtsAsserted: outputs_ &= ~RtsPin; break;
    case LineOp::RtsReleased: outputs_ |= RtsPin; break;
    case LineOp::DtrAsserted: outputs_ &= ~DtrPin; break;
    case LineOp::DtrReleased: outputs_ |= DtrPin; break;
    case LineOp::ReadCts: reads_.push_back(int(out_.size())); break;
    }
    out_.push_back(outputs_);
}

void FtdiBitBang::exchange()
{
    // The read is under way before the write, so the chip's receive buffer never fills and
    // stalls the clock however long the batch.
    const int size = int(out_.size());
    in_.assign(out_.size(), 0);
    ftdi_transfer_control* reading = ftdi_read_data_submit(context_, in_.data(), size);
    ftdi_transfer_control* writing = reading ? ftdi_write_data_submit(context_, out_.data(), size) : nullptr;
    if (!writing) {
        if (reading)
            ftdi_transfer_data_cancel(reading, nullptr);
        throw LineError(TransferFailure, EIO);
    }
    const auto deadline = std::chrono::steady_clock::now() + deadline_;
    if (!await(writing, deadline) || !await(reading, deadline)) {
        ftdi_transfer_data_cancel(writing, nullptr);
        ftdi_transfer_data_cancel(reading, nullptr);
        throw LineError(NoAnswer, ETIMEDOUT);
    }
    const int wrote = ftdi_transfer_data_done(writing);
    const int read = ftdi_transfer_data_done(reading);
    if (wrote != size || read != size)
        throw LineError(TransferFailure, EIO);
}

bool FtdiBitBang::await(ftdi_transfer_control* transfer, std::chrono::steady_clock::time_point deadline)
{
    // libftdi's own wait has no end: it resubmits a transfer that timed out.
    using namespace std::chrono;
    while (!transfer->completed) {
        const auto left = duration_cast<microseconds>(deadline - steady_clock::now()).count();
        if (left <= 0)
            return false;
        timeval wait{time_t(left / 1000000), suseconds_t(left % 1000000)};
        libusb_handle_events_timeout_completed(context_->usb_ctx, &wait, &transfer->completed);
    }
    return true;
}

FrameReadout FtdiBitBang::runFrame(const LineFrame& frame, int ahead)
{
    if (aheadNext_ < aheadCount_ && frame == aheadFrame_)
        return ahead_[aheadNext_++];
    dropAhead();

    const int frames = std::clamp(ahead + 1, 1, FramesPerTransfer);
    out_.clear();
    reads_.clear();
    for (int n = 0; n < frames; ++n)
        for (const LineOp op : frame)
            put(op);
    exchange();

    ahead_.resize(std::size_t(frames));
    std::size_t read = 0;
    for (FrameReadout& readout : ahead_)
        for (bool& cts : readout)
            cts = !(in_[std::size_t(reads_[read++])] & CtsPin);
    aheadFrame_ = frame;
    aheadCount_ = std::size_t(frames);
    aheadNext_ = 1;
    return ahead_[0];
}

unsigned char FtdiBitBang::runAlone(LineOp op)
{
    dropAhead();
    out_.clear();
    reads_.clear();
    put(op);
    exchange();
    return in_[0];
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
