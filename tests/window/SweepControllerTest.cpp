#include "core/converter/SimulatedConverter.h"
#include "core/drawing/Trace.h"
#include "support/SweepRig.h"
#include "window/handlers/SweepController.h"

#include <gtest/gtest.h>

namespace {

using Rig = SweepRig;

TEST(Sweep, EveryChannelAndRangeSendsItsWordAndStoresAndDrawsItsSamples)
{
    const int channelOptions[] = {1, 2, 5, 6, 7, 8, 9, 10};
    const char* codes[] = {"000", "100", "001", "101", "010", "110", "011", "111"};
    for (int channel = 0; channel < 8; ++channel) {
        for (bool unipolar : {true, false}) {
            Rig rig;
            rig.options.select(channelOptions[channel]);
            rig.options.select(unipolar ? 11 : 12);
            for (int i = 0; i < SweepLength; ++i)
                rig.codes.push_back(unipolar ? (i * 7) % 4096 : (i * 7) % 4096 - 2048);
            rig.sweep.Timer1_Timer();

            EXPECT_EQ(rig.state.ControlWord,
                      QStringLiteral("1") + QLatin1StringView(codes[channel]) + (unipolar ? u'1' : u'0') + QStringLiteral("110"));
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
                ASSERT_EQ(rig.state.SampleBuffer[i], stored) << i;
                const int v = unipolar ? r : PlotValue::bipolar(r, n);
                ASSERT_EQ(trace[i - 1].y2, 5000 - v);
            }
        }
    }
}

TEST(Sweep, StoresNegativeZeroAndFullScaleInTheStoredEncoding)
{
    Rig rig;
    rig.codes = {-1, -2048, 2047, 0};
    rig.sweep.Timer1_Timer();
    EXPECT_EQ(rig.state.SampleBuffer[1], -32768); // -1 reads as 0 with "-"
    EXPECT_EQ(rig.state.SampleBuffer[2], -30721); // -2048 reads as 2047 with "-"
    EXPECT_EQ(rig.state.SampleBuffer[3], 2047);
    EXPECT_EQ(rig.state.SampleBuffer[4], 0);
    const auto trace = rig.trace();
    EXPECT_EQ(trace[0], (PlotLine{1, 5000, 2, 2500}));
    EXPECT_EQ(trace[1].y2, 4547);
    EXPECT_EQ(trace[2].y2, 453);
    EXPECT_EQ(trace[3].y2, 2500);
    EXPECT_EQ(rig.state.SampleBuffer[0], 0);
    EXPECT_EQ(rig.state.SampleBuffer[8193], 0);
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

TEST(Sweep, NoSelectionKeepsThePreviousCodesAndOtherRangeMakesNoConversion)
{
    Rig rig;
    rig.options.selected = {};
    rig.sweep.Timer1_Timer();
    EXPECT_EQ(rig.state.ControlWord, u"1110");
    EXPECT_TRUE(rig.asked.empty());
    EXPECT_EQ(rig.plot.ops.size(), 115u); // clear and grid only
}

TEST(Sweep, HoldAndScanMidSweepClearAndRedrawWhileTheSweepGoesOn)
{
    Rig rig;
    rig.pump.at[100] = [&] { rig.options.select(3); };
    rig.sweep.Timer1_Timer();
    EXPECT_FALSE(rig.timer.enabled);
    // The rest of the sweep lies over the fresh grid.
    const auto after = rig.plot.sinceLastClear();
    EXPECT_EQ(after.size(), 114u + SweepLength - 100);
    EXPECT_EQ(rig.asked.size(), std::size_t(SweepLength));

    Rig scan;
    scan.timer.enabled = false;
    scan.pump.at[10] = [&] { scan.timer.enabled = false; scan.options.select(4); };
    scan.sweep.Timer1_Timer();
    EXPECT_TRUE(scan.timer.enabled);
    EXPECT_EQ(scan.plot.sinceLastClear().size(), 114u + SweepLength - 10);
}

TEST(Sweep, ChannelChangeMidSweepTakesEffectOnTheNextSweep)
{
    Rig rig;
    rig.pump.at[5] = [&] { rig.options.select(10); rig.options.select(11); };
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
    rig.state.SampleBuffer[8192] = 77;
    rig.pump.at[20] = [&] { rig.lifetime.endProgram(0); };
    rig.sweep.Timer1_Timer();
    EXPECT_EQ(rig.asked.size(), 20u);
    EXPECT_EQ(rig.pump.count, 20);
    EXPECT_EQ(rig.state.SampleBuffer[8192], 77);
}

TEST(Sweep, SampleBufferOnlyEverHoldsCompleteSweeps)
{
    Rig rig;
    rig.codes.assign(SweepLength, 100);
    rig.sweep.Timer1_Timer();
    std::vector<qint16> midSweep;
    rig.codes.assign(SweepLength, 200);
    rig.pump.at[SweepLength + 3000] = [&] { midSweep.assign(rig.state.SampleBuffer.samples().begin(), rig.state.SampleBuffer.samples().end()); };
    rig.sweep.Timer1_Timer();
    EXPECT_EQ(midSweep, std::vector<qint16>(SweepLength, qint16(100)));
    EXPECT_EQ(rig.state.SampleBuffer[1], 200);
    EXPECT_EQ(rig.state.SampleBuffer[8192], 200);
}

TEST(Sweep, AnotherRunTakingThePlotEndsTheSweepWithNothingMoreStored)
{
    Rig rig;
    rig.pump.at[40] = [&] { rig.runs.start(); };
    rig.sweep.Timer1_Timer();
    EXPECT_EQ(rig.asked.size(), 40u);
    EXPECT_EQ(rig.state.SampleBuffer[1], 0);
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
    EXPECT_EQ(rig.state.SampleBuffer[1], 9);
}

} // namespace
