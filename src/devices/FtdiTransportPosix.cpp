#include "devices/FtdiTransport.h"

#include "devices/SerialDevice.h"

#include <QFile>
#include <QFileInfo>

#include <ftdi.h>
#include <libusb.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

constexpr int FtdiVendor = 0x0403;

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

struct UsbTransfer final : BitBangStream::Transfer {
    libusb_transfer* usb = libusb_alloc_transfer(0);
    int* completed = nullptr;
    ~UsbTransfer() override { libusb_free_transfer(usb); }
};

void LIBUSB_CALL transferDone(libusb_transfer* usb)
{
    auto* transfer = static_cast<UsbTransfer*>(usb->user_data);
    transfer->done = true;
    transfer->ok = usb->status == LIBUSB_TRANSFER_COMPLETED;
    transfer->length = usb->actual_length;
    *transfer->completed = 1;
}

// The chip's channel through libftdi: asynchronous libusb transfers whose events are run here,
// because libftdi 1.5 resubmits a timed-out transfer for ever. Destroying it gives the latency
// timer its old value back, resets the chip to UART mode and gives the channel back to the
// kernel's serial driver; none of it can fail in a way that leaves anything to do: a chip
// pulled out is gone already.
class LibftdiTransport final : public BitBangStream::Transport {
public:
    explicit LibftdiTransport(ftdi_context* context) : context_(context) {}
    ~LibftdiTransport() override
    {
        if (latencyTimer_)
            ftdi_set_latency_timer(context_, latencyTimer_);
        ftdi_set_bitmode(context_, 0, BITMODE_RESET);
        ftdi_usb_close(context_);
        ftdi_free(context_);
    }

    void start()
    {
        // The first chips of the line (AM, BM) have no synchronous bit-bang mode.
        if (context_->type == TYPE_AM || context_->type == TYPE_BM)
            throw PortError(FailureKind::NoBitBang, ENOTSUP);
        // A partial USB packet of answers goes when the latency timer runs out: 1 ms instead of
        // the usual 16, for the end of a run.
        if (ftdi_get_latency_timer(context_, &latencyTimer_) < 0 || ftdi_set_latency_timer(context_, 1) < 0
            || ftdi_set_bitmode(context_, FtdiBitBang::RtsPin | FtdiBitBang::DtrPin, BITMODE_SYNCBB) < 0
            || ftdi_set_baudrate(context_, FtdiBitBang::BaudGeneratorHz / 4) < 0 || ftdi_tcioflush(context_) < 0)
            throw PortError(FailureKind::Device, 0, QString::fromLocal8Bit(ftdi_get_error_string(context_)));
    }

    int packetSize() const override { return context_->max_packet_size; }
    int statusBytes() const override { return 2; }
    std::unique_ptr<BitBangStream::Transfer> newTransfer() override { return std::make_unique<UsbTransfer>(); }

    bool submit(BitBangStream::Transfer& transfer, bool write) override
    {
        auto& usb = static_cast<UsbTransfer&>(transfer);
        usb.completed = &completed_;
        // libftdi names the endpoints as the chip sees them. No time-out of libusb's: the
        // deadline is the stream's, from the last transfer done.
        libusb_fill_bulk_transfer(usb.usb, context_->usb_dev, static_cast<unsigned char>(write ? context_->in_ep : context_->out_ep),
                                  usb.buffer.data(), int(usb.buffer.size()), transferDone, &usb, 0);
        return libusb_submit_transfer(usb.usb) == 0;
    }

    bool awaitAny(std::chrono::steady_clock::time_point deadline) override
    {
        // libusb's own wait would have no end for a chip that stopped answering.
        using namespace std::chrono;
        completed_ = 0;
        while (!completed_) {
            const auto left = duration_cast<microseconds>(deadline - steady_clock::now()).count();
            if (left <= 0)
                return false;
            timeval wait{time_t(left / 1000000), suseconds_t(left % 1000000)};
            libusb_handle_events_timeout_completed(context_->usb_ctx, &wait, &completed_);
        }
        return true;
    }

    void cancel(BitBangStream::Transfer& transfer) override
    {
        libusb_cancel_transfer(static_cast<UsbTransfer&>(transfer).usb);
    }

private:
    ftdi_context* context_;
    unsigned char latencyTimer_ = 0; // the chip's own, in ms, to give back on close
    int completed_ = 0;
};

std::unique_ptr<FtdiBitBang> startChip(ftdi_context* context, std::chrono::milliseconds deadline)
{
    auto transport = std::make_unique<LibftdiTransport>(context);
    transport->start();
    return std::make_unique<FtdiBitBang>(std::move(transport), deadline);
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

std::unique_ptr<FtdiBitBang> openFtdiChip(const QString& name, std::chrono::milliseconds deadline)
{
    ftdi_context* context = newContext(deadline);
    if (ftdi_usb_open_string(context, name.toLocal8Bit().constData()) < 0)
        failOpen(context);
    return startChip(context, deadline);
}

std::unique_ptr<FtdiBitBang> openFtdiChip(const FtdiLocation& location, std::chrono::milliseconds deadline)
{
    ftdi_context* context = newContext(deadline);
    if (ftdi_set_interface(context, ftdi_interface(INTERFACE_A + location.interface)) < 0
        || ftdi_usb_open_bus_addr(context, uint8_t(location.bus), uint8_t(location.address)) < 0)
        failOpen(context);
    return startChip(context, deadline);
}

std::optional<QString> ftdiBarrier(const QString& device, const QString&)
{
    const std::optional<FtdiLocation> chip = findFtdiChip(device, QStringLiteral("/sys"));
    if (!chip)
        return std::nullopt;
    // libusb opens the chip through its node under /dev/bus/usb, which the udev rule opens to
    // the user at the seat.
    const QString node = QString::asprintf("/dev/bus/usb/%03d/%03d", chip->bus, chip->address);
    if (::access(QFile::encodeName(node).constData(), R_OK | W_OK) != 0)
        return QStringLiteral("%1 is not open to this user").arg(node);
    return QString();
}
