#include "core/converter/SimulatedConverter.h"
#include "core/drawing/Trace.h"
#include "support/SweepRig.h"
#include "window/handlers/PrintCommand.h"
#include "window/handlers/SweepController.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

const MessageCall Confirm{QStringLiteral("打印机准备好？"), QStringLiteral("打印口状态"), MsgStyle::OkCancel};

// A printer that records like RecordingPrinter and can fail at a chosen operation.
class FailingPrinter final : public PrinterSurface {
public:
    void drawLine(float x1, float y1, float x2, float y2, std::optional<QRgb> colour) override
    {
        step();
        recorder.drawLine(x1, y1, x2, y2, colour);
    }
    void endDoc() override
    {
        step();
        recorder.endDoc();
    }
    int failAt = 0; // 1-based operation number that throws
    int count = 0;
    RecordingPrinter recorder;

private:
    void step()
    {
        if (++count == failAt)
            throw PrintError(QStringLiteral("打印机脱机"));
    }
};

struct PrintRig {
    AcquisitionState state;
    RecordingPrinter printer;
    FakeTimer timer;
    ScriptedMessageBoxes boxes;
    IdleAfterSweep idle;
    PrintCommand print{state, printer, timer, boxes, idle.afterSweep};

    PrintRig()
    {
        timer.enabled = true;
        for (int n = 1; n <= SweepLength; ++n)
            state.SampleBuffer[n - 1] = qint16((n * 37) % 4096);
    }
};

// The operations a confirmed print must issue for this buffer and mode.
std::vector<SurfaceOp> expectedPage(const SampleArray& samples, std::optional<Range> rangeMode)
{
    std::vector<SurfaceOp> ops{{SurfaceOp::EndDoc}};
    for (const PlotLine& line : gridLines())
        ops.push_back({SurfaceOp::Line, line, std::nullopt});
    const auto trace = [&](int (*plotValueOf)(qint16)) {
        int previous = 0;
        for (int n = 1; n <= SweepLength; ++n) {
            const int v = plotValueOf(samples[n - 1]);
            ops.push_back({SurfaceOp::Line, {float(n), float(5000 - previous), float(n + 1), float(5000 - v)}, TraceColor});
            previous = v;
        }
    };
    if (rangeMode == Range::Unipolar)
        trace(PlotValue::storedUnipolar);
    if (rangeMode == Range::Bipolar)
        trace(PlotValue::storedBipolar);
    ops.push_back({SurfaceOp::EndDoc});
    return ops;
}

// The trace segments of a recorded page.
std::vector<SurfaceOp> traceOf(const std::vector<SurfaceOp>& ops)
{
    std::vector<SurfaceOp> lines;
    for (const SurfaceOp& op : ops)
        if (op.kind == SurfaceOp::Line && op.colour == TraceColor)
            lines.push_back(op);
    return lines;
}

TEST(Print, CancelEndsTheDocumentOnlyAndLeavesTheTimerAsItWas)
{
    for (bool enabled : {true, false}) {
        PrintRig rig;
        rig.state.RangeMode = rig.state.BufferRangeMode = Range::Unipolar;
        rig.timer.enabled = enabled;
        rig.boxes.answers = {MsgAnswer::Cancel};
        rig.print.Command5_Click();
        EXPECT_EQ(rig.boxes.calls, std::vector<MessageCall>{Confirm});
        EXPECT_EQ(rig.printer.ops, std::vector<SurfaceOp>{{SurfaceOp::EndDoc}});
        EXPECT_EQ(rig.timer.enabled, enabled);
    }
}

TEST(Print, OkPrintsEndBlackGridTraceEndInEveryRangeModeAndChangesNothing)
{
    struct Case {
        std::optional<Range> rangeMode;
        std::vector<qint16> head; // the first samples; the rest keep the rig's ramp
        std::size_t traceSegments;
    };
    const Case cases[] = {
        {Range::Unipolar, {0, 4095, 2048, 1}, SweepLength},
        // Bipolar as stored by a sweep: the magnitude, minus 32768 when negative.
        {Range::Bipolar, {2047, qint16(0 - 32768), qint16(2047 - 32768), 0, 100}, SweepLength},
        {std::nullopt, {}, 0}, // no sweep tick yet: the grid alone
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.traceSegments ? rangeWord(*c.rangeMode).toStdString() : "none");
        PrintRig rig;
        rig.state.RangeMode = rig.state.BufferRangeMode = c.rangeMode;
        std::copy(c.head.begin(), c.head.end(), rig.state.SampleBuffer.begin());
        const AcquisitionState before = rig.state;

        // Nothing queued may run while the page is being issued.
        bool eventRan = false;
        bool eventRanDuringPage = false;
        QTimer::singleShot(0, [&] { eventRan = true; });
        rig.print.Command5_Click();
        eventRanDuringPage = eventRan;

        EXPECT_EQ(rig.boxes.calls, std::vector<MessageCall>{Confirm});
        EXPECT_FALSE(rig.timer.enabled);
        ASSERT_EQ(rig.printer.ops.size(), 2 + 114 + c.traceSegments);
        EXPECT_TRUE(rig.printer.ops == expectedPage(before.SampleBuffer, before.RangeMode));
        if (c.traceSegments) {
            const auto trace = traceOf(rig.printer.ops);
            EXPECT_EQ(trace.front().line.x1, 1);
            EXPECT_EQ(trace.front().line.y1, 5000);
            EXPECT_EQ(trace.back().line.x2, 8193);
        }
        EXPECT_EQ(rig.state.SampleBuffer, before.SampleBuffer);
        EXPECT_EQ(rig.state.RangeMode, before.RangeMode);
        EXPECT_FALSE(eventRanDuringPage);
        QCoreApplication::processEvents();
        EXPECT_TRUE(eventRan);
    }
}

TEST(Print, SpotValuesOfBothModesAndABipolarFilePrintedUnipolarShowsItsLow13Bits)
{
    PrintRig rig;
    // Stored bipolar samples: +5, -5, -0, full scale both ways; bits 13 and 14 set on the last.
    const std::vector<qint16> samples = {5, qint16(5 - 32768), qint16(-32768), 2047, qint16(2047 - 32768), 0x7FFF};
    std::copy(samples.begin(), samples.end(), rig.state.SampleBuffer.begin());

    rig.state.RangeMode = rig.state.BufferRangeMode = Range::Bipolar;
    rig.print.Command5_Click();
    auto trace = traceOf(rig.printer.ops);
    ASSERT_EQ(trace.size(), std::size_t(SweepLength));
    const float bipolarY[] = {2495, 2505, 2500, 453, 4547};
    for (int n = 0; n < 5; ++n)
        EXPECT_EQ(trace[n].line.y2, bipolarY[n]) << n;

    rig.printer.ops.clear();
    rig.state.RangeMode = rig.state.BufferRangeMode = Range::Unipolar;
    rig.print.Command5_Click();
    trace = traceOf(rig.printer.ops);
    ASSERT_EQ(trace.size(), std::size_t(SweepLength));
    const float unipolarY[] = {4995, 4995, 5000, 2953, 2953, 5000 - 0x1FFF};
    for (int n = 0; n < 6; ++n)
        EXPECT_EQ(trace[n].line.y2, unipolarY[n]) << n;
}

TEST(Print, APrinterThatFailsAnywhereShowsWhyAndTheProgramGoesOn)
{
    const int total = 2 + 114 + SweepLength;
    // The first end, the first grid line, the first trace segment, the last end.
    for (int failAt : {1, 2, 2 + 114, total}) {
        SCOPED_TRACE(failAt);
        AcquisitionState state;
        state.RangeMode = state.BufferRangeMode = Range::Unipolar;
        state.SampleBuffer[0] = 1234;
        const AcquisitionState before = state;
        FailingPrinter printer;
        printer.failAt = failAt;
        FakeTimer timer;
        ScriptedMessageBoxes boxes;
        IdleAfterSweep idle;
        PrintCommand print{state, printer, timer, boxes, idle.afterSweep};
        print.Command5_Click();

        EXPECT_EQ(printer.count, failAt); // it stops at the failing operation
        const std::vector<MessageCall> expected{
            Confirm, {QStringLiteral("打印失败：打印机脱机"), QStringLiteral("打印"), MsgStyle::Exclamation}};
        EXPECT_EQ(boxes.calls, expected);
        EXPECT_EQ(state.SampleBuffer, before.SampleBuffer);
        EXPECT_EQ(state.RangeMode, before.RangeMode);
    }
    // A Cancel whose one end fails says so as well.
    AcquisitionState state;
    FailingPrinter printer;
    printer.failAt = 1;
    FakeTimer timer;
    timer.enabled = true;
    ScriptedMessageBoxes boxes;
    boxes.answers = {MsgAnswer::Cancel};
    IdleAfterSweep idle;
    PrintCommand(state, printer, timer, boxes, idle.afterSweep).Command5_Click();
    ASSERT_EQ(boxes.calls.size(), 2u);
    EXPECT_EQ(boxes.calls[1].title, QStringLiteral("打印"));
    EXPECT_TRUE(timer.enabled);
}

// A sweep controller and the print command over one shared state, in " +5V".
struct WindowRig : SweepRig {
    ScriptedMessageBoxes boxes;
    RecordingPrinter printer;
    PrintCommand print{state, printer, timer, boxes, afterSweep};

    WindowRig()
    {
        options.selected[BipolarOption] = false;
        options.selected[UnipolarOption] = true;
    }
    void queueSweep(int offset)
    {
        for (int n = 1; n <= SweepLength; ++n)
            codes.push_back((n + offset) % 4096);
    }
};

TEST(Print, DuringASweepPrintsTheBufferAsThatSweepLeavesItInItsOwnRange)
{
    WindowRig rig;
    rig.options.select(BipolarOption);
    for (int n = 1; n <= SweepLength; ++n)
        rig.codes.push_back(n % 2 ? -1000 : 1000);
    // Confirmed during the very first sweep: the box comes at once, the page once it is complete.
    rig.pump.at[50] = [&] { rig.print.Command5_Click(); };
    rig.pump.at[51] = [&] {
        EXPECT_EQ(rig.boxes.calls, std::vector<MessageCall>{Confirm});
        EXPECT_TRUE(rig.printer.ops.empty());
        EXPECT_FALSE(rig.timer.enabled);
    };
    rig.sweep.Timer1_Timer();
    const SampleArray bipolar = rig.state.SampleBuffer;
    ASSERT_EQ(bipolar[0], -32768 + 999);
    EXPECT_TRUE(rig.printer.ops == expectedPage(bipolar, Range::Bipolar));

    // A unipolar sweep dropped when the port opens under it: the page is the buffer it left.
    rig.printer.ops.clear();
    rig.options.select(UnipolarOption);
    rig.queueSweep(0);
    rig.pump.at[SweepLength + 50] = [&] { rig.print.Command5_Click(); };
    rig.pump.at[SweepLength + 60] = [&] { rig.comm.setPortOpen(true); };
    rig.sweep.Timer1_Timer();
    EXPECT_EQ(rig.pump.count, SweepLength + 60);
    EXPECT_TRUE(rig.printer.ops == expectedPage(bipolar, Range::Bipolar));
    EXPECT_EQ(rig.state.BufferRangeMode, Range::Bipolar);
}

} // namespace
