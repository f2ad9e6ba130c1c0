#include "devices/FtdiBitBang.h"

#include "core/system/SystemReason.h"
#include "devices/SerialDevice.h"

#include <QFile>
#include <QFileInfo>

#include <ftdi.h>
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

ftdi_context* newContext()
{
    ftdi_context* context = ftdi_new();
    if (!context)
        throw PortError(QStringLiteral("内存不足"), ENOMEM);
    // The tty comes back when the port closes.
    context->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
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

std::unique_ptr<FtdiBitBang> FtdiBitBang::open(const QString& description)
{
    ftdi_context* context = newContext();
    if (ftdi_usb_open_string(context, description.toLocal8Bit().constData()) < 0)
        failOpen(context);
    std::unique_ptr<FtdiBitBang> chip(new FtdiBitBang(context));
    chip->start();
    return chip;
}

std::unique_ptr<FtdiBitBang> FtdiBitBang::open(const FtdiLocation& location)
{
    ftdi_context* context = newContext();
    if (ftdi_set_interface(context, ftdi_interface(INTERFACE_A + location.interface)) < 0
        || ftdi_usb_open_bus_addr(context, uint8_t(location.bus), uint8_t(location.address)) < 0)
        failOpen(context);
    std::unique_ptr<FtdiBitBang> chip(new FtdiBitBang(context));
    chip->start();
    return chip;
}

FtdiBitBang::FtdiBitBang(ftdi_context* context) : context_(context) {}

FtdiBitBang::~FtdiBitBang()
{
    // Back to UART mode; closing gives the channel back to the kernel's driver. Neither can
    // fail in a way that leaves anything to do: a chip pulled out is gone already.
    ftdi_set_bitmode(context_, 0, BITMODE_RESET);
    ftdi_usb_close(context_);
    ftdi_free(context_);
}

void FtdiBitBang::start()
{
    // The first chips of the line (AM, BM) have no synchronous bit-bang mode.
    if (context_->type == TYPE_AM || context_->type == TYPE_BM)
        throw PortError(QStringLiteral("此芯片没有同步位模式"));
    if (ftdi_set_bitmode(context_, RtsPin | DtrPin, BITMODE_SYNCBB) < 0 || ftdi_set_baudrate(context_, BaudRate) < 0
        || ftdi_tcioflush(context_) < 0)
        throw PortError(QString::fromLocal8Bit(ftdi_get_error_string(context_)));
    // The lines at rest, as a serial port leaves them when it opens.
    out_.assign(1, outputs_);
    if (!exchange())
        throw PortError(TransferFailure, EIO);
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

bool FtdiBitBang::exchange()
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
        return false;
    }
    const int wrote = ftdi_transfer_data_done(writing);
    const int read = ftdi_transfer_data_done(reading);
    return wrote == size && read == size;
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
    if (!exchange())
        throw LineError(TransferFailure, EIO);

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
    if (!exchange())
        throw LineError(TransferFailure, EIO);
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
