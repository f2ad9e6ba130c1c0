// Line operations per second on the emulated port, through the native line driver and
// through QSerialPort's own setters, measured in the same run on the same open port, with
// the system calls each makes per conversion as the emulated port counted them.

#include "EmulatedDevice.h"
#include "core/converter/ControlWord.h"
#include "core/converter/ConverterLink.h"
#include "devices/LineDriver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSerialPort>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int Conversions = 8192; // one sweep
constexpr int Rounds = 5;
constexpr int OperationsPerConversion = 65;

class DriverLines final : public ControlLines {
public:
    explicit DriverLines(LineDriver& driver) : driver_(driver) {}
    void setRts(bool asserted) override { driver_.setRts(asserted); }
    void setDtr(bool asserted) override { driver_.setDtr(asserted); }
    bool readCts() override { return driver_.readCts(); }

private:
    LineDriver& driver_;
};

// Each setter reads the lines before it writes them, to tell whether to signal a change.
class SetterLines final : public ControlLines {
public:
    explicit SetterLines(QSerialPort& port) : port_(port) {}
    void setRts(bool asserted) override { check(port_.setRequestToSend(asserted)); }
    void setDtr(bool asserted) override { check(port_.setDataTerminalReady(asserted)); }
    bool readCts() override
    {
        const bool cts = port_.pinoutSignals() & QSerialPort::ClearToSendSignal;
        check(port_.error() == QSerialPort::NoError);
        return cts;
    }

private:
    void check(bool ok)
    {
        if (!ok)
            throw LineError(FailureKind::Device, 0, port_.errorString());
    }
    QSerialPort& port_;
};

struct Figures {
    double operationsPerSecond = 0;
    emuport_counts calls{};
};

Figures measure(ControlLines& lines)
{
    ConverterLink link(lines);
    const LineFrame frame = ConverterLink::encode(ControlWord::make({0, Range::Bipolar}));
    emuport_reset_counts();
    QElapsedTimer clock;
    clock.start();
    for (int n = 0; n < Conversions; ++n)
        link.convert(frame);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    return {OperationsPerConversion * Conversions / seconds, emuport_calls()};
}

void print(const char* name, const Figures& f)
{
    const double sets = double(f.calls.sets) / Conversions, reads = double(f.calls.reads) / Conversions;
    std::printf("%-22s %12.0f line operations/s  %6.1f ms per sweep  %5.1f system calls per conversion "
                "(%.0f sets, %.0f reads)\n",
                name, f.operationsPerSecond, OperationsPerConversion * Conversions / f.operationsPerSecond * 1e3,
                sets + reads, sets, reads);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    EmulatedDevice device;
    QSerialPort port(device.path());
    if (!port.open(QIODevice::ReadWrite) || !port.setFlowControl(QSerialPort::NoFlowControl)) {
        std::fprintf(stderr, "cannot open the emulated port: %s\n", qPrintable(port.errorString()));
        return 1;
    }
    const auto driver = makeNativeLineDriver(port.handle());
    DriverLines native(*driver);
    SetterLines setters(port);

    // Alternating rounds, best of each, so that both meet the same machine.
    Figures best[2];
    for (int round = 0; round < Rounds; ++round) {
        for (int way = 0; way < 2; ++way) {
            const Figures f = measure(way == 0 ? static_cast<ControlLines&>(native) : setters);
            if (f.operationsPerSecond > best[way].operationsPerSecond)
                best[way] = f;
        }
    }

    std::printf("Emulated serial port, best of %d rounds of %d conversions (%d line operations each)\n", Rounds,
                Conversions, OperationsPerConversion);
    print("native line driver", best[0]);
    print("QSerialPort setters", best[1]);
    std::printf("ratio (native / setters): %.2f\n", best[0].operationsPerSecond / best[1].operationsPerSecond);
    return 0;
}
