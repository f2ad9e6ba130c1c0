#include "SerialRig.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cerrno>

namespace {

void expectOpen(Acquisition& a)
{
    EXPECT_TRUE(a.unit.port().isOpen());
    EXPECT_FALSE(a.unit.port().simulated());
}

void expectClosed(Acquisition& a)
{
    EXPECT_FALSE(a.unit.port().isOpen());
    EXPECT_TRUE(a.unit.port().simulated());
}

// Refused, with the port number, settings and state as they were before.
void expectRefused(Acquisition& a)
{
    EXPECT_THROW(a.unit.open(QStringLiteral("COM1")), PortError);
    expectClosed(a);
    EXPECT_EQ(a.unit.port().portNumber(), 1);
    EXPECT_EQ(a.unit.port().settings(), QStringLiteral("115200,n,8,1"));
}

TEST(SerialPath, SweepsOnTheOpenPortGiveTheConvertersCodesOnEveryChannelAndRange)
{
    EmulatedDevice device(Ramp{});
    Acquisition a(device.path());
    a.unit.open(QStringLiteral("COM1"));
    expectOpen(a);

    long n = 0;
    for (int channel = 0; channel < 8; ++channel) {
        for (const bool unipolar : {true, false}) {
            emuport_reset_counts();
            EXPECT_TRUE(a.sweep(channel, unipolar));

            const emuport_counts counts = emuport_calls();
            EXPECT_EQ(counts.sets, 52L * SweepLength);
            EXPECT_EQ(counts.reads, 13L * SweepLength);
            EXPECT_EQ(counts.others, 0);
            EXPECT_EQ(device.converter().lastRequest().channel, channel);
            EXPECT_EQ(device.converter().lastRequest().range, unipolar ? Range::Unipolar : Range::Bipolar);
            expectSweep(a.unit.samples(), channel, unipolar, n);
            EXPECT_TRUE(a.unit.lineMoved());
            n += SweepLength;
        }
    }
}

TEST(PortOpen, ADeviceThatDoesNotExistIsRefusedAndChangesNothing)
{
    EmulatedDevice device;
    Acquisition a(device.missingPath());
    expectRefused(a);
}

TEST(PortOpen, ADeviceHeldByAnotherProcessIsRefusedAndChangesNothing)
{
    EmulatedDevice device;
    Acquisition a(device.path());
    {
        OtherProcess other(device.path());
        ASSERT_TRUE(other.holding()) << qPrintable(other.answer());
        expectRefused(a);
    }
    a.unit.open(QStringLiteral("COM1"));
    expectOpen(a);
}

TEST(PortFailure, AnAdapterPulledOutMidSweepFailsTheSweepAndTheSameDeviceOpensAgainOnceItIsBack)
{
    EmulatedDevice device(Ramp{});
    Acquisition a(device.path());
    a.unit.open(QStringLiteral("COM1"));
    a.sweep(0, false); // a whole sweep to keep
    const SampleArray kept = a.unit.samples();

    device.pullOutAt(65L * 100 + 31); // in the frame of the 101st sample
    long taken = 0;
    try {
        a.sweep(0, false, [&](const Sweep::Sample&) { return ++taken, true; });
        ADD_FAILURE() << "the sweep went on without its device";
    } catch (const LineError& e) {
        EXPECT_EQ(e.kind(), FailureKind::System);
        EXPECT_EQ(e.errorNumber(), EIO);
    }
    EXPECT_EQ(taken, 100);
    EXPECT_EQ(a.unit.samples(), kept) << "the broken sweep's samples are dropped";
    EXPECT_TRUE(a.unit.port().isOpen()) << "left for its user to close";
    a.unit.close();
    expectClosed(a);

    EXPECT_THROW(a.unit.reopen(), PortError); // still pulled out
    expectClosed(a);

    device.plugBack();
    a.unit.reopen();
    expectOpen(a);
    a.sweep(0, false);
    // The ramp went on through the whole sweep and 100 conversions and the one that broke.
    expectSweep(a.unit.samples(), 0, false, SweepLength + 101);
}

TEST(PortClose, ReleasesTheDeviceSoThisProgramOrAnotherOpensItAtOnce)
{
    EmulatedDevice device;
    Acquisition a(device.path());
    a.unit.open(QStringLiteral("COM1"));
    expectOpen(a);
    EXPECT_FALSE(OtherProcess(device.path()).holding()) << "open here, so locked for others";

    a.unit.close();
    expectClosed(a);
    {
        OtherProcess other(device.path());
        EXPECT_TRUE(other.holding()) << qPrintable(other.answer());
    }

    a.unit.open(QStringLiteral("COM1"));
    expectOpen(a);
    a.unit.close();
    a.unit.open(QStringLiteral("COM1"));
    expectOpen(a);
}

// Stable names come from links like those in /dev/serial/by-id, which point at device nodes.
TEST(PortMap, StableNamesAreTheLinksToEachDevice)
{
    QTemporaryDir byId;
    const QString link = byId.filePath(QStringLiteral("usb-Q390_A12-if00-port0"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), link));
    ASSERT_TRUE(QFile::link(byId.filePath(QStringLiteral("gone")), byId.filePath(QStringLiteral("dangling"))));
    EXPECT_EQ(PortMap::stableLinks(byId.path()), (QHash<QString, QString>{{QStringLiteral("/dev/null"), link}}));
    EXPECT_TRUE(PortMap::stableLinks(byId.filePath(QStringLiteral("none"))).isEmpty());
}

} // namespace
