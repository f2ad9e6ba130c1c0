#include "FtdiSweep.h"

#include "BenchWindow.h"
#include "EmulatedUsbChip.h"
#include "Probe.h"

#include "devices/SystemSerialDevice.h"

#include <QProcess>

namespace {

constexpr double ModemLineOperationMs = 1.0;

// A fixed code per channel and range, so that two sweeps on two paths can be compared.
int fixedCode(const ConversionRequest& request)
{
    return request.range == Range::Unipolar ? 1000 + request.channel : -1000 - request.channel;
}

// Times one sweep from Hold, in milliseconds.
template <class Form>
double timeOneSweep(Form& form)
{
    form.options().select(HoldOption);
    const std::int64_t start = probe::nowNs();
    form.Timer1_Timer();
    const double ms = double(probe::nowNs() - start) / 1e6;
    form.options().select(HoldOption);
    return ms;
}

} // namespace

FtdiSweep measureFtdiSweep(BenchWindow& w)
{
    FtdiSweep figures;

    w.hold();
    w.serial.perOperation = {};
    w.serial.answerWith(fixedCode);
    w.form.Command2_Click();
    const long long operations = w.serial.operations;
    figures.modemLineOwnMs = timeOneSweep(w.form);
    figures.lineOperations = w.serial.operations - operations;
    const SampleArray modemSamples = w.form.state().SampleBuffer;
    w.form.Command2_Click();
    w.serial.answerWith(SignalGenerator{});
    w.hold();
    figures.modemLineSeconds = (figures.modemLineOwnMs + double(figures.lineOperations) * ModemLineOperationMs) / 1e3;

    SimulatedConverter converter(fixedCode);
    EmulatedUsbChip chip({}, {[&](bool a) { converter.setRts(a); }, [&](bool a) { converter.setDtr(a); },
                           [&] { return converter.readCts(); }});
    QuietSeams s;
    SystemSerialDevice serial;
    Form1 form({s.boxes, s.pump, s.timer, s.lifetime, s.dialog, s.clock, s.printer, serial,
                [] { return QList<PortDevice>{{QStringLiteral("ftdi:i:0x0403:0x6001"), QStringLiteral("ftdi:i:0x0403:0x6001")}}; }});
    form.Form_Load();
    form.Command2_Click();
    figures.latencyTimerMs = chip.latencyTimerMs;
    // What opening the chip took is not part of the sweep.
    const struct {
        long roundTrips, packets, outPackets, bytes, latencyWaits;
        double modelledNs;
    } opened{chip.roundTrips, chip.packets, chip.outPackets, chip.bytes, chip.latencyWaits, chip.modelledNanoseconds};
    figures.bitBangOwnMs = timeOneSweep(form);
    figures.roundTrips = chip.roundTrips - opened.roundTrips;
    figures.packets = chip.packets - opened.packets;
    figures.bytes = chip.bytes - opened.bytes;
    figures.byteNs = chip.byteNanoseconds;
    figures.latencyWaits = chip.latencyWaits - opened.latencyWaits;
    figures.bitBangSeconds = (chip.modelledNanoseconds - opened.modelledNs) / 1e9;
    figures.pinByteSeconds = double(figures.bytes) * figures.byteNs / 1e9;
    figures.busSeconds =
        double(figures.packets + chip.outPackets - opened.outPackets) / EmulatedUsbChip::PacketsPerFrame / 1e3;
    figures.samplesAgree = s.boxes.shown == 0 && serial.link() == SerialDevice::Link::FtdiBitBang
        && form.state().SampleBuffer == modemSamples;
    form.Command2_Click();
    return figures;
}

std::optional<WindowsFtdiSweep> measureWindowsFtdiSweep()
{
    const QString windows = qEnvironmentVariable("Q390_WINDOWS_BUILD", QStringLiteral(Q390_SOURCE_DIR "/build-win"));
    QProcess script;
    script.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    script.start(QStringLiteral("bash"), {QStringLiteral(Q390_SOURCE_DIR "/bench/windows-ftdi.sh"),
                                          QStringLiteral(Q390_BINARY_DIR), windows});
    // A fresh Wine prefix takes most of it.
    if (!script.waitForFinished(300'000) || script.exitStatus() != QProcess::NormalExit || script.exitCode() != 0)
        return {};
    const QStringList fields = QString::fromLocal8Bit(script.readAllStandardOutput()).split(u' ', Qt::SkipEmptyParts);
    if (fields.size() != 2)
        return {};
    return WindowsFtdiSweep{fields[0].toDouble(), fields[1].toLong()};
}
