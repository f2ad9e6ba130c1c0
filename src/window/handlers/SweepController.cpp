#include "window/handlers/SweepController.h"

#include "core/drawing/Trace.h"
#include "core/system/FailureWords.h"
#include "window/handlers/Procedures.h"

SweepController::SweepController(Seams seams, LineFailure onLineFailure)
    : s_(seams), onLineFailure_(std::move(onLineFailure))
{
}

void SweepController::Timer1_Timer()
{
    // A tick that falls due while a sweep is suspended in its yield, or while the work that
    // waited for a sweep is carried out, is dropped.
    if (sweeping_ || s_.afterSweep.busy())
        return;

    // The channel and the range stay as last read while no button of their frame is selected.
    for (int channel = 0; channel < ChannelCount; ++channel)
        if (s_.options.isSelected(ChannelOptions[channel]))
            channel_ = channel;
    if (const std::optional<Range> range = selectedRange(s_.options))
        s_.state.RangeMode = range;
    // With no range read yet no conversion is made.
    const std::optional<Range> range = s_.state.RangeMode;

    s_.plot.clear();
    s_.timer.setEnabled(true);
    Drawgrid1(s_.plot);

    sweeping_ = true;
    s_.afterSweep.sweepStarted();
    if (range)
        sweep(*range);
    sweeping_ = false;
    // After Exit nothing that waited for the sweep may run.
    if (!s_.lifetime.ended())
        s_.afterSweep.sweepEnded();
}

void SweepController::sweep(Range range)
{
    const unsigned run = s_.runs.start();
    const PortSwitch& port = s_.unit.port();
    const unsigned source = port.source();
    const bool simulated = port.simulated();
    TraceRun trace;
    const auto each = [&](const Sweep::Sample& sample) {
        const PlotLine segment = trace.segment(sample.number, sample.plotValue);
        s_.plot.drawLine(segment.x1, segment.y1, segment.x2, segment.y2, TraceColor);
        if (simulated)
            s_.plot.markSimulated();
        s_.pump.pump();
        // After Exit nothing more runs; after a load the screen and the buffer are the file's;
        // after a port toggle the samples would come from another source.
        return !s_.lifetime.ended() && s_.runs.owns(run) && port.source() == source;
    };
    try {
        if (!s_.unit.sweep({channel_, range}, each))
            return;
    } catch (const LineError& error) {
        onLineFailure_(chineseReason(error));
        return;
    }
    s_.plot.markUnanswered(!simulated && !s_.unit.lineMoved());
    s_.state.SampleBuffer = s_.unit.samples();
    s_.state.BufferRangeMode = s_.state.RangeMode;
}

// Hold and Scan start and stop the sweeps to come, and leave the plot as it is: a sweep that
// is running completes whole on it, and the sweep held stays in view.
void SweepController::Option3_Click()
{
    s_.timer.setEnabled(false);
}

void SweepController::Option4_Click()
{
    s_.timer.setEnabled(true);
}
