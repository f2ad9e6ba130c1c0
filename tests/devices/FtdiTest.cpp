#include "EmulatedUsbChip.h"
#include "SerialRig.h"
#include "core/converter/ConverterLink.h"
#include "devices/FtdiTransport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <ftdi.h>

#include <cerrno>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

const QString Typed = QStringLiteral("ftdi:i:0x0403:0x6001");
constexpr auto BitBang = SerialDevice::Link::FtdiBitBang;
constexpr auto ModemLines = SerialDevice::Link::ModemLines;

// The emulated chip with the simulated converter on its pins.
struct ChipOnPins {
    explicit ChipOnPins(CodeSource codes = Ramp{}, EmulatedUsbChip::Identity identity = {})
        : converter(std::move(codes)),
          chip(std::move(identity), {[this](bool a) { converter.setRts(a); }, [this](bool a) { converter.setDtr(a); },
                    [this] { return converter.readCts(); }})
    {
    }
    SimulatedConverter converter;
    EmulatedUsbChip chip;
};

void expectReleased(const EmulatedUsbChip& chip)
{
    EXPECT_FALSE(chip.open);
    EXPECT_EQ(chip.bitmode, BITMODE_RESET) << "left in bit-bang mode";
    EXPECT_TRUE(chip.kernelDriverAttached) << "the tty did not come back";
    EXPECT_EQ(chip.latencyTimerMs, 16) << "the latency timer was not given back";
}

TEST(FtdiBitBang, EveryChannelAndRangeRoundTripsThroughASweepAndCloseGivesTheChipBack)
{
    ChipOnPins pins;
    Acquisition a(Typed);
    a.unit.open(QStringLiteral("COM1"));
    ASSERT_TRUE(a.unit.port().isOpen());
    EXPECT_EQ(a.unit.port().link(), BitBang);
    EXPECT_TRUE(pins.chip.open);
    EXPECT_FALSE(pins.chip.kernelDriverAttached);
    EXPECT_EQ(pins.chip.bitmode, BITMODE_SYNCBB);
    EXPECT_EQ(pins.chip.latencyTimerMs, 1);
    EXPECT_GE(pins.chip.byteNanoseconds, 1000.0) << "a line operation shorter than 1 µs";

    long n = 0;
    for (int channel = 0; channel < 8; ++channel) {
        for (const bool unipolar : {true, false}) {
            const long trips = pins.chip.roundTrips, reads = pins.chip.reads, waits = pins.chip.latencyWaits;
            EXPECT_TRUE(a.sweep(channel, unipolar));
            // The sweep streams: the chip waits for the host once, at its start.
            EXPECT_EQ(pins.chip.roundTrips - trips, 1);
            // Reads ask for whole writes' answers (64 frames of 65 bytes: 68 packets of 62 bytes
            // after their 2 status bytes, 4216 bytes), so the sweep's 8192 × 65 bytes take 127
            // reads, one more for each that the latency timer ended and one for the first ones'
            // share-out.
            EXPECT_LE(pins.chip.reads - reads, 127 + (pins.chip.latencyWaits - waits) + 1);
            expectSweep(a.unit.samples(), channel, unipolar, n);
            n += SweepLength;
        }
    }

    a.unit.close();
    EXPECT_FALSE(a.unit.port().isOpen());
    EXPECT_TRUE(a.unit.port().simulated());
    expectReleased(pins.chip);
}

// RTS and DTR asserted, one pair per byte written or per line operation.
using Levels = std::vector<std::pair<bool, bool>>;

Levels levelsOnThePins(const std::vector<unsigned char>& bytes)
{
    Levels levels;
    for (const unsigned char byte : bytes)
        levels.emplace_back(!(byte & 0x04), !(byte & 0x10)); // RTS# on D2, DTR# on D4, active low
    return levels;
}

Levels levelsOfTheFrames(const std::vector<QString>& words)
{
    Levels levels;
    bool rts = true, dtr = true; // at rest
    for (const QString& word : words) {
        for (const LineLevel& op : handFrame(rtsFor(word), ctsFor(0))) {
            if (op.line == 'R')
                rts = op.level;
            if (op.line == 'D')
                dtr = op.level;
            levels.emplace_back(rts, dtr); // a read repeats the byte before it
        }
    }
    return levels;
}

TEST(FtdiBitBang, TheBytesAreTheFramesInOrderWhateverOrderTransfersCompleteInAndLookAheadEndsWithItsRun)
{
    for (const bool outOfStep : {false, true}) {
        SCOPED_TRACE(outOfStep ? "completed out of step" : "completed in step");
        ChipOnPins pins;
        SystemSerialDevice serial;
        PortMap ports([] { return QList<PortDevice>{{Typed, Typed}}; });
        Unit unit({serial, ports});
        unit.open(QStringLiteral("COM1"));
        ASSERT_EQ(unit.port().link(), SerialDevice::Link::FtdiBitBang);
        ConverterLink& link = unit.link();
        pins.chip.recording = true;
        pins.chip.completeOutOfStep = outOfStep;

        const QString first = QStringLiteral("11101110"), second = QStringLiteral("10010110"); // 5 +5V, 2 ±2V
        const long taken = 500; // many transfers each way
        {
            const ConverterLink::Run run(link, 1000);
            for (long k = 0; k < taken; ++k)
                ASSERT_EQ(convertWord(link, first).magnitude, rampCode({5, true}, k)) << k;
        }
        // The run ended early; the conversions made ahead of it ran whole, and the next word's
        // results are its own.
        ASSERT_EQ(pins.chip.written.size() % 65, 0u) << "a frame cut short";
        const long made = long(pins.chip.written.size() / 65);
        EXPECT_TRUE(made >= taken && made < 1000) << made;
        for (long k = made; k < made + 2; ++k) {
            const int code = rampCode({2, false}, k);
            EXPECT_EQ(convertWord(link, second).magnitude, code >= 0 ? code : -code - 1);
        }
        EXPECT_EQ(pins.converter.lastRequest().channel, 2);

        std::vector<QString> words(std::size_t(made), first);
        words.insert(words.end(), 2, second);
        EXPECT_EQ(levelsOnThePins(pins.chip.written), levelsOfTheFrames(words));
        EXPECT_EQ(pins.chip.outputMask, 0x14) << "RTS# and DTR# out, CTS# in";
    }
}

TEST(FtdiBitBang, AChipPulledOutOrNoLongerAnsweringMidSweepIsMendedAsALineFailure)
{
    const struct {
        EmulatedUsbChip::Failure failure;
        FailureKind kind;
        int errorNumber;
        const char* name;
    } rows[] = {{EmulatedUsbChip::Failure::PulledOut, FailureKind::System, EIO, "pulled out"},
                {EmulatedUsbChip::Failure::StopsAnswering, FailureKind::NoAnswer, ETIMEDOUT, "stops answering"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ChipOnPins pins;
        Acquisition a(Typed, QStringLiteral("/sys"), std::chrono::milliseconds(20)); // a deadline the test can wait for
        a.unit.open(QStringLiteral("COM1"));
        a.sweep(0, false);
        const SampleArray kept = a.unit.samples();

        pins.chip.failAtWrite(50, row.failure);
        const long answered = pins.chip.bytesAnswered;
        long taken = 0;
        try {
            a.sweep(0, false, [&](const Sweep::Sample&) { return ++taken, true; });
            ADD_FAILURE() << "the sweep went on without its chip";
        } catch (const LineError& e) {
            EXPECT_EQ(e.kind(), row.kind);
            EXPECT_EQ(e.errorNumber(), row.errorNumber);
        }

        // Every conversion whose 65 bytes came back before the failure is handed on, and no other.
        EXPECT_GT(pins.chip.bytesAnswered - answered, 65 * 100);
        EXPECT_EQ(taken, (pins.chip.bytesAnswered - answered) / 65);
        EXPECT_EQ(a.unit.samples(), kept);
        a.unit.close();
        EXPECT_FALSE(a.unit.port().isOpen());
    }
}

// A device tree in which the tty is the first channel of the chip, as the kernel's FTDI
// serial driver lays it out.
struct DeviceTree {
    DeviceTree(const QString& tty, const EmulatedUsbChip::Identity& chip)
    {
        struct stat node {};
        if (::stat(QFile::encodeName(tty).constData(), &node) != 0)
            throw std::runtime_error("no tty");
        const QString usb = root.filePath(QStringLiteral("devices/usb1/1-1"));
        const QString port = usb + QStringLiteral("/1-1:1.0/ttyUSB0");
        QDir().mkpath(port + QStringLiteral("/tty/ttyUSB0"));
        QDir().mkpath(root.filePath(QStringLiteral("dev/char")));
        const auto write = [](const QString& path, const QString& text) {
            QFile file(path);
            file.open(QIODevice::WriteOnly);
            file.write(text.toLatin1() + '\n');
        };
        write(usb + QStringLiteral("/idVendor"), QString::number(chip.vendor, 16).rightJustified(4, u'0'));
        write(usb + QStringLiteral("/idProduct"), QString::number(chip.product, 16));
        write(usb + QStringLiteral("/busnum"), QString::number(chip.bus));
        write(usb + QStringLiteral("/devnum"), QString::number(chip.address));
        write(usb + QStringLiteral("/1-1:1.0/bInterfaceNumber"), QStringLiteral("00"));
        QFile::link(QStringLiteral("../.."), port + QStringLiteral("/tty/ttyUSB0/device"));
        QFile::link(port + QStringLiteral("/tty/ttyUSB0"),
                    root.filePath(QStringLiteral("dev/char/%1:%2").arg(major(node.st_rdev)).arg(minor(node.st_rdev))));
    }
    QTemporaryDir root;
};

TEST(FtdiBitBang, AnFtdiTtyOpensInBitBangModeWhenItCanOnItsModemLinesWhenNotAndNeverFromUnderAnotherProgram)
{
    EmulatedDevice tty(Ramp{});
    ChipOnPins pins;
    const DeviceTree tree(tty.path(), pins.chip.identity);
    EXPECT_EQ(findFtdiChip(tty.path(), QStringLiteral("/sys")), std::nullopt);
    EXPECT_EQ(findFtdiChip(tty.path(), tree.root.path()), (FtdiLocation{1, 5, 0}));
    {
        Acquisition a(tty.path(), tree.root.path());
        {
            OtherProcess other(tty.path());
            ASSERT_TRUE(other.holding()) << qPrintable(other.answer());
            EXPECT_THROW(a.unit.open(QStringLiteral("COM1")), PortError);
            EXPECT_FALSE(pins.chip.open) << "taken from the program that holds its tty";
            EXPECT_FALSE(a.unit.port().isOpen());
        }

        pins.chip.accessDenied = true;
        a.unit.open(QStringLiteral("COM1"));
        ASSERT_TRUE(a.unit.port().isOpen());
        EXPECT_EQ(a.unit.port().link(), ModemLines);
        emuport_reset_counts();
        a.sweep(0, false);
        EXPECT_EQ(emuport_calls().sets, 52L * SweepLength);
        expectSweep(a.unit.samples(), 0, false, 0);
        expectReleased(pins.chip);
        a.unit.close();

        pins.chip.accessDenied = false;
        a.unit.open(QStringLiteral("COM1"));
        EXPECT_EQ(a.unit.port().link(), BitBang);
        EXPECT_FALSE(pins.chip.kernelDriverAttached);
        a.sweep(0, false);
        expectSweep(a.unit.samples(), 0, false, 0);
    }
    // The unit's end, as its program's, gives the chip back.
    expectReleased(pins.chip);
}

// A chip without synchronous bit-bang (a BM) is let go at once; its tty, back with the kernel's
// driver, refuses an ordinary user until udev has given it its permissions.
TEST(FtdiBitBang, AfterAFailedStartTheModemLinesWaitForTheTtyToComeBack)
{
    EmulatedDevice tty(Ramp{});
    ChipOnPins pins(Ramp{}, {.bcdDevice = 0x0400});
    const DeviceTree tree(tty.path(), pins.chip.identity);
    pins.chip.onKernelDriver = [](bool attached) {
        if (attached)
            emuport_deny_opens(2);
    };
    Acquisition a(tty.path(), tree.root.path());
    a.unit.open(QStringLiteral("COM1"));
    ASSERT_TRUE(a.unit.port().isOpen());
    EXPECT_EQ(a.unit.port().link(), ModemLines);
    a.sweep(0, false);
    expectSweep(a.unit.samples(), 0, false, 0);
    expectReleased(pins.chip);
}

} // namespace
