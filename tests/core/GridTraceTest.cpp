#include "core/drawing/Grid.h"
#include "core/drawing/PlotAxes.h"
#include "core/drawing/Trace.h"
#include "support/CoreDoubles.h"

#include <gtest/gtest.h>

namespace {

TEST(Grid, DrawsThe114LinesInOrderInGridColor)
{
    RecordingSurface surface;
    drawGrid(surface);
    ASSERT_EQ(surface.ops.size(), 114u);
    std::vector<PlotLine> expected;
    for (int y = 0; y <= 5000; y += 500)
        expected.push_back({0, float(y), 8200, float(y)});
    for (int x = 0; x <= 8200; x += 820)
        expected.push_back({float(x), 0, float(x), 5000});
    for (int x = 0; x <= 8200; x += 164)
        expected.push_back({float(x), 2400, float(x), 2600});
    for (int y = 0; y <= 5000; y += 125)
        expected.push_back({4000, float(y), 4200, float(y)});
    ASSERT_EQ(expected.size(), 114u);
    for (std::size_t n = 0; n < expected.size(); ++n) {
        EXPECT_EQ(surface.ops[n].kind, SurfaceOp::Line);
        EXPECT_EQ(surface.ops[n].line, expected[n]) << "line " << n;
        EXPECT_EQ(surface.ops[n].colour, GridColor);
    }
    // Frame lines on the edges of PlotSpace; first and last ticks on the frame.
    EXPECT_EQ(surface.ops[10].line, (PlotLine{0, 5000, 8200, 5000}));
    EXPECT_EQ(surface.ops[21].line, (PlotLine{8200, 0, 8200, 5000}));
    EXPECT_EQ(surface.ops[72].line, (PlotLine{8200, 2400, 8200, 2600}));
    EXPECT_EQ(surface.ops[113].line, (PlotLine{4000, 5000, 4200, 5000}));
}

TEST(Grid, DoesNotClear)
{
    RecordingSurface surface;
    drawGrid(surface);
    for (const SurfaceOp& op : surface.ops)
        EXPECT_NE(op.kind, SurfaceOp::Clear);
}

TEST(Trace, RunStartsOnTheBottomEdgeAndEndsAtX8193)
{
    TraceRun run;
    const PlotLine first = run.segment(1, 2500);
    EXPECT_EQ(first, (PlotLine{1, 5000, 2, 2500}));
    for (int i = 2; i < 8192; ++i)
        run.segment(i, 100);
    EXPECT_EQ(run.segment(8192, 4095), (PlotLine{8192, 4900, 8193, 905}));

    TraceRun fresh; // runs never carry their previous value over
    EXPECT_EQ(fresh.segment(1, 0), (PlotLine{1, 5000, 2, 5000}));
}

TEST(Trace, PlotValuesOfLiveReadings)
{
    EXPECT_EQ(PlotValue::unipolar(0), 0);
    EXPECT_EQ(5000 - PlotValue::unipolar(4095), 905);
    EXPECT_EQ(PlotValue::bipolar(2047, 0), 4547);
    EXPECT_EQ(PlotValue::bipolar(2047, 1), 453);
    EXPECT_EQ(PlotValue::bipolar(0, 1), 2500); // bipolar 0 on the centre line whatever its sign
    EXPECT_EQ(PlotValue::bipolar(0, 0), 2500);
    EXPECT_EQ(PlotValue::bipolar(2500, 0), 5000);
    EXPECT_EQ(PlotValue::bipolar(2500, 1), 0);
}

TEST(Trace, PlotValuesOfStoredSamplesKeepLow13BitsAndSignFromBit15)
{
    for (int m : {0, 1, 1000, 2047, 8191}) {
        const qint16 negative = qint16(-32768 + m);
        EXPECT_EQ(StoredSample::magnitude(negative), m);
        EXPECT_TRUE(StoredSample::negative(negative));
        EXPECT_EQ(PlotValue::storedBipolar(negative), 2500 - m);
        EXPECT_EQ(PlotValue::storedUnipolar(negative), m); // unipolar ignores the sign
    }
    // Bits 13 and 14 are dropped in both modes.
    EXPECT_EQ(PlotValue::storedUnipolar(qint16(0x6000 | 123)), 123);
    EXPECT_EQ(PlotValue::storedBipolar(qint16(0x6000 | 123)), 2623);
    EXPECT_EQ(PlotValue::storedBipolar(qint16(0xE000 | 123)), 2377);
    EXPECT_EQ(PlotValue::storedBipolar(-32768), 2500);
    EXPECT_EQ(PlotValue::storedUnipolar(-32768), 0);
    EXPECT_EQ(PlotValue::storedBipolar(qint16(-31768)), 1500); // E8 83
}

// The axes' marks by hand: unipolar code = volts × 4096 / 5 at y = 5000 - code; bipolar code =
// volts × 1024 at y = 2500 - code, or 2499 - code below zero; sample k at x = k + 1; with the
// duration known, the time of sample i is (i - 1) × seconds / 8192, reached at x = i + 1.
TEST(PlotAxes, MarksFallWhereTheTraceRuleDrawsTheirValues)
{
    const struct {
        Range range;
        std::optional<double> seconds;
        std::size_t volts, times;
        AxisMark lowest, second, firstTime, lastTime;
        const char* timeTitle;
        const char* perDivision;
    } rows[] = {
        {Range::Unipolar, std::nullopt, 7, 9, {5000, "0"}, {4180.8f, "1"}, {1, "0"}, {8001, "8000"}, "sample", "0.61 V/div, 820 samples/div"},
        {Range::Bipolar, 0.8192, 9, 9, {4547, "-2.0"}, {4035, "-1.5"}, {2, "0"}, {8002, "800"}, "time (ms)", "0.488 V/div, 82 ms/div"},
        {Range::Bipolar, 40.96, 9, 9, {4547, "-2.0"}, {4035, "-1.5"}, {2, "0"}, {8002, "40"}, "time (s)", "0.488 V/div, 4.1 s/div"},
    };
    for (const auto& row : rows) {
        const PlotAxes axes = plotAxes(row.range, row.seconds);
        ASSERT_EQ(axes.volts.size(), row.volts);
        ASSERT_EQ(axes.time.size(), row.times);
        EXPECT_EQ(axes.volts[0], row.lowest);
        EXPECT_EQ(axes.volts[1], row.second);
        EXPECT_EQ(axes.time.front(), row.firstTime);
        EXPECT_EQ(axes.time.back(), row.lastTime);
        EXPECT_EQ(axes.timeTitle, QString::fromUtf8(row.timeTitle));
        EXPECT_EQ(axes.perDivision, QString::fromUtf8(row.perDivision));
    }
    const PlotAxes bipolar = plotAxes(Range::Bipolar, std::nullopt);
    EXPECT_EQ(bipolar.volts[4], (AxisMark{2500, "0.0"}));
    EXPECT_EQ(bipolar.volts[5], (AxisMark{1988, "0.5"}));
}

} // namespace
