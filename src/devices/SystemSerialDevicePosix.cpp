#include "devices/SystemSerialDevice.h"

#include "devices/FtdiTransport.h"

#include <QDeadlineTimer>
#include <QThread>

#include <cerrno>

namespace {

// A port that would not open, with the error number the failed call left. Another program's
// lock on the device fails no call (errno is left over from elsewhere): the device is busy.
[[noreturn]] void refused(const QSerialPort& port, int errorNumber)
{
    const bool system = errorNumber == EACCES || errorNumber == EPERM || errorNumber == EBUSY;
    if (port.error() == QSerialPort::PermissionError && !system)
        errorNumber = EBUSY;
    throw PortError(errorNumber ? FailureKind::System : FailureKind::Device, errorNumber, port.errorString());
}

} // namespace

void SystemSerialDevice::open(const QString& device, const LineSettings& settings)
{
    if (isOpen())
        close();
    const BitBang bitBang = openBitBang(device);
    if (bitBang == BitBang::Open) {
        link_ = Link::FtdiBitBang;
        return;
    }
    link_ = Link::ModemLines;
    port_.setPortName(device);
    // After a failed bit-bang start the kernel's driver has just taken the chip back: its tty
    // comes back, and udev gives it its permissions, a moment later.
    const QDeadlineTimer ttyBack(bitBang == BitBang::Failed ? TtyReturnMs : 0);
    for (;;) {
        errno = 0;
        if (port_.open(QIODevice::ReadWrite))
            break;
        const QSerialPort::SerialPortError error = port_.error();
        if ((error != QSerialPort::DeviceNotFoundError && error != QSerialPort::PermissionError) || ttyBack.hasExpired())
            refused(port_, errno);
        QThread::msleep(TtyPollMs);
    }

    const auto parity = [&] {
        switch (settings.parity) {
        case 'e': return QSerialPort::EvenParity;
        case 'o': return QSerialPort::OddParity;
        case 'm': return QSerialPort::MarkParity;
        case 's': return QSerialPort::SpaceParity;
        default: return QSerialPort::NoParity;
        }
    }();
    errno = 0;
    const bool configured = port_.setBaudRate(settings.baudRate) && port_.setParity(parity)
        && port_.setDataBits(QSerialPort::DataBits(settings.dataBits))
        && port_.setStopBits(settings.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop)
        && port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!configured) {
        const int error = errno;
        const QString reason = port_.errorString();
        port_.close();
        throw PortError(error ? FailureKind::System : FailureKind::Device, error, reason);
    }
    lines_ = makeNativeLineDriver(port_.handle());
}

void SystemSerialDevice::close()
{
    lines_.reset();
    port_.close();
}

SystemSerialDevice::BitBang SystemSerialDevice::openBitBang(const QString& device)
{
    if (const std::optional<QString> chipName = ftdiChipName(device)) {
        lines_ = openFtdiChip(*chipName, ftdiDeadline_);
        return BitBang::Open;
    }
    const std::optional<FtdiLocation> chip = findFtdiChip(device, sysfsRoot_);
    if (!chip)
        return BitBang::NotAChip;
    // Detaching the kernel's driver would take the tty from a program that holds it open.
    port_.setPortName(device);
    errno = 0;
    if (!port_.open(QIODevice::ReadWrite))
        refused(port_, errno);
    port_.close();
    // No access to the USB device, or a chip without the mode: the tty's modem lines serve.
    try {
        lines_ = openFtdiChip(*chip, ftdiDeadline_);
        return BitBang::Open;
    } catch (const PortError&) {
        return BitBang::Failed;
    }
}
