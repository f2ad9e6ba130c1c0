#include "core/converter/SimulatedConverter.h"
#include "core/drawing/Trace.h"
#include "support/SweepRig.h"
#include "window/handlers/SweepController.h"

#include <gtest/gtest.h>

namespace {

using Rig = SweepRig;

TEST(Sweep, EveryChannelAndRangeSendsItsWordAndStoresAndDrawsItsSamples)
{
    // Worked by hand from the codes below: sample, its y in the unipolar and in the bipolar
    // sweep (code -2048 reads 2047 "-", -4 reads 3 "-", -2042 reads 2041 "-").
    const int worked[][3] = {{1, 5000, 4547}, {293, 2956, 2503}, {294, 2949, 2497}, {586, 905, 453}, {587, 4994, 4541}};
    for (int channel = 0; channel < 8; ++channel) {
        for (bool unipolar : {true, false}) {
            Rig rig;
            rig.options.select(ChannelOptions[channel]);
            rig.options.select(unipolar ? UnipolarOption : BipolarOption);
            for (int i = 0; i < SweepLength; ++i)
                rig.codes.push_back(unipolar ? (i * 7) % 4096 : (i * 7) % 4096 - 2048);
            rig.sweep.Timer1_Timer();

            ASSERT_EQ(rig.asked.size(), std::size_t(SweepLength));
            EXPECT_EQ(rig.asked.front().channel, channel);
            EXPECT_EQ(rig.asked.front().range, unipolar ? Range::Unipolar : Range::Bipolar);

            const auto trace = rig.trace();
            ASSERT_EQ(trace.size(), std::size_t(SweepLength));
            EXPECT_EQ(trace.front().x1, 1);
            EXPECT_EQ(trace.front().y1, 5000);
            EXPECT_EQ(trace.back().x2, 8193);
            for (int i = 1; i <= SweepLength; ++i) {
                const int code = unipolar ? ((i - 1) * 7) % 4096 : ((i - 1) * 7) % 4096 - 2048;
                const int r = code >= 0 ? code : -code - 1;
                const int n = code < 0;
                const qint16 stored = unipolar ? qint16(code) : qint16(r - 32768 * n);
                ASSERT_EQ(rig.state.SampleBuffer[i - 1], stored) << i;
                // A negative code is read back one short of its size, so it lies 1 higher.
                ASSERT_EQ(trace[i - 1].y2, unipolar ? 5000 - code : 2500 - code - n) << i;
            }
            for (const auto& w : worked)
                EXPECT_EQ(trace[w[0] - 1].y2, w[unipolar ? 1 : 2]) << w[0];
        }
    }
}

TEST(Sweep, StoresNegativeZeroAndFullScaleInTheStoredEncoding)
{
    Rig rig;
    rig.codes = {-1, -2048, 2047, 0};
    rig.sweep.Timer1_Timer();
    EXPECT_EQ(rig.state.SampleBuffer[0], -32768); // -1 reads as 0 with "-"
    EXPECT_EQ(rig.state.SampleBuffer[1], -30721); // -2048 reads as 2047 with "-"
    EXPECT_EQ(rig.state.SampleBuffer[2], 2047);
    EXPECT_EQ(rig.state.SampleBuffer[3], 0);
    const auto trace = rig.trace();
    EXPECT_EQ(trace[0], (PlotLine{1, 5000, 2, 2500}));
    EXPECT_EQ(trace[1].y2, 4547);
    EXPECT_EQ(trace[2].y2, 453);
    EXPECT_EQ(trace[3].y2, 2500);
}

TEST(Sweep, TickClearsEnablesAndDrawsTheGridBeforeTheTrace)
{
    Rig rig;
    rig.timer.enabled = false;
    int enabledAtFirstPump = -1;
    rig.pump.at[1] = [&] { enabledAtFirstPump = rig.timer.enabled; };
    rig.sweep.Timer1_Timer();
    ASSERT_GE(rig.plot.ops.size(), 115u);
    EXPECT_EQ(rig.plot.ops[0].kind, SurfaceOp::Clear);
    for (int n = 1; n <= 114; ++n)
        EXPECT_EQ(rig.plot.ops[n].colour, GridColor);
    EXPECT_EQ(enabledAtFirstPump, 1);
    EXPECT_EQ(rig.pump.count, SweepLength); // a yield after every sample
}

TEST(Sweep, NoSelectionKeepsThePreviousOneAndNoRangeMakesNoConversion)
{
    Rig rig;
    rig.options.selected = {};
    rig.sweep.Timer1_Timer();
    EXPECT_TRUE(rig.asked.empty());
    EXPECT_EQ(rig.plot.ops.size(), 115u); // clear and grid only
    rig.options.select(ChannelOptions[5]);
    rig.options.select(UnipolarOption);
    rig.sweep.Timer1_Timer();
    rig.options.selected = {};
    rig.sweep.Timer1_Timer();
    EXPECT_EQ(rig.asked.back(), (ConversionRequest{5, Range::Unipolar}));
    EXPECT_EQ(rig.asked.size(), 2u * SweepLength);
}

TEST(Sweep, HoldAndScanMidSweepLeaveTheSweepToCompleteWholeOnThePlot)
{
    Rig rig;
    rig.pump.at[100] = [&] { rig.options.select(HoldOption); };
    rig.sweep.Timer1_Timer();
    EXPECT_FALSE(rig.timer.enabled);
    // The tick's own clear is the only one: grid and the whole trace over it.
    EXPECT_EQ(rig.plot.ops.size(), 1 + 114u + SweepLength);
    EXPECT_EQ(rig.asked.size(), std::size_t(SweepLength));
    rig.options.select(HoldOption); // once the sweep is over too
    EXPECT_EQ(rig.plot.ops.size(), 1 + 114u + SweepLength);

    Rig scan;
    scan.timer.enabled = false;
    scan.pump.at[10] = [&] { scan.timer.enabled = false; scan.options.select(ScanOption); };
    scan.sweep.Timer1_Timer();
    EXPECT_TRUE(scan.timer.enabled);
    EXPECT_EQ(scan.plot.ops.size(), 1 + 114u + SweepLength);
}

TEST(Sweep, ChannelChangeMidSweepTakesEffectOnTheNextSweep)
{
    Rig rig;
    rig.pump.at[5] = [&] { rig.options.select(ChannelOptions[7]); rig.options.select(UnipolarOption); };
    rig.sweep.Timer1_Timer();
    for (const auto& r : rig.asked)
        ASSERT_EQ(r.channel, 0);
    rig.asked.clear();
    rig.sweep.Timer1_Timer();
    EXPECT_EQ(rig.asked.front().channel, 7);
    EXPECT_EQ(rig.asked.front().range, Range::Unipolar);
}

TEST(Sweep, TickDuringASweepIsDroppedNotNested)
{
    Rig rig;
    rig.pump.at[50] = [&] { rig.sweep.Timer1_Timer(); };
    rig.sweep.Timer1_Timer();
    EXPECT_EQ(rig.asked.size(), std::size_t(SweepLength));
    EXPECT_FALSE(rig.sweep.sweeping());
}

TEST(Sweep, ExitMidSweepEndsItWithoutCompletingIt)
{
    Rig rig;
    rig.state.SampleBuffer[SweepLength - 1] = 77;
    rig.pump.at[20] = [&] { rig.lifetime.endProgram(0); };
    rig.sweep.Timer1_Timer();
    EXPECT_EQ(rig.asked.size(), 20u);
    EXPECT_EQ(rig.pump.count, 20);
    EXPECT_EQ(rig.state.SampleBuffer[SweepLength - 1], 77);
}

TEST(Sweep, SampleBufferOnlyEverHoldsCompleteSweeps)
{
    Rig rig;
    rig.codes.assign(SweepLength, 100);
    rig.sweep.Timer1_Timer();
    std::vector<qint16> midSweep;
    rig.codes.assign(SweepLength, 200);
    rig.pump.at[SweepLength + 3000] = [&] { midSweep.assign(rig.state.SampleBuffer.begin(), rig.state.SampleBuffer.end()); };
    rig.sweep.Timer1_Timer();
    EXPECT_EQ(midSweep, std::vector<qint16>(SweepLength, qint16(100)));
    EXPECT_EQ(rig.state.SampleBuffer[0], 200);
    EXPECT_EQ(rig.state.SampleBuffer[SweepLength - 1], 200);
}

TEST(Sweep, AnotherRunTakingThePlotEndsTheSweepWithNothingMoreStored)
{
    Rig rig;
    rig.pump.at[40] = [&] { rig.runs.start(); };
    rig.sweep.Timer1_Timer();
    EXPECT_EQ(rig.asked.size(), 40u);
    EXPECT_EQ(rig.state.SampleBuffer[0], 0);
}

TEST(Sweep, LineFailureStopsTheSweepAndDropsItsSamples)
{
    Rig rig;
    rig.codes.assign(SweepLength, 9);
    rig.sweep.Timer1_Timer();
    rig.comm.setPortOpen(true);
    rig.serial.failFromLineOp = 65 * 300 + 7;
    rig.sweep.Timer1_Timer();
    EXPECT_FALSE(rig.sweep.sweeping());
    ASSERT_EQ(rig.lineFailures, std::vector<QString>{QStringLiteral("Input/output error")});
    EXPECT_EQ(rig.pump.count, SweepLength + 300);
    EXPECT_EQ(rig.state.SampleBuffer[0], 9);
}

} // namespace
