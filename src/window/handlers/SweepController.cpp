#include "window/handlers/SweepController.h"

#include "core/converter/ControlWord.h"
#include "core/drawing/Grid.h"
#include "core/drawing/Trace.h"

#include <algorithm>

SweepController::SweepController(Seams seams, LineFailure onLineFailure)
    : s_(seams), onLineFailure_(std::move(onLineFailure)), sweep_(s_.link)
{
}

void SweepController::Timer1_Timer()
{
    // A tick that falls due while a sweep is suspended in its yield, or while the work that
    // waited for a sweep is carried out, is dropped.
    if (sweeping_ || s_.afterSweep.busy())
        return;

    AcquisitionState& st = s_.state;
    for (int channel = 0; channel < ControlWord::Channels; ++channel) {
        if (s_.options.isSelected(ChannelOptions[channel])) {
            channel_ = channel;
            st.ChannelCode = ControlWord::channelCode(channel);
        }
    }
    if (s_.options.isSelected(UnipolarOption))
        st.RangeMode = ControlWord::rangeCode(Range::Unipolar);
    if (s_.options.isSelected(BipolarOption))
        st.RangeMode = ControlWord::rangeCode(Range::Bipolar);
    st.ControlWord = QStringLiteral("1") + st.ChannelCode + st.RangeMode + QStringLiteral("110");
    // With no range read yet no conversion is made.
    const std::optional<Range> range = ControlWord::rangeOf(st.RangeMode);

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
    const unsigned source = s_.comm.source();
    const bool simulated = s_.comm.simulated();
    TraceRun trace;
    const auto each = [&](const Sweep::Sample& sample) {
        const PlotLine segment = trace.segment(sample.number, sample.plotValue);
        s_.plot.drawLine(segment.x1, segment.y1, segment.x2, segment.y2, TraceColor);
        if (simulated)
            s_.plot.markSimulated();
        s_.pump.pump();
        // After Exit nothing more runs; after a load the screen and the buffer are the file's;
        // after a port toggle the samples would come from another source.
        return !s_.lifetime.ended() && s_.runs.owns(run) && s_.comm.source() == source;
    };
    try {
        if (!sweep_.run(channel_, range, each))
            return;
    } catch (const LineError& error) {
        onLineFailure_(error.reason());
        return;
    }
    std::copy_n(sweep_.samples().begin() + 1, SweepLength, s_.state.SampleBuffer.begin() + 1);
    s_.state.BufferRangeMode = s_.state.RangeMode;
}

void SweepController::Option3_Click()
{
    s_.timer.setEnabled(false);
    s_.plot.clear();
    Drawgrid1(s_.plot);
}

void SweepController::Option4_Click()
{
    s_.timer.setEnabled(true);
    s_.plot.clear();
    Drawgrid1(s_.plot);
}
