#include "acquisition/SweepController.h"

#include "display/Grid.h"
#include "display/Trace.h"

#include <algorithm>

namespace {

struct ChannelButton {
    int option;
    const char16_t* code;
};

// Read in this order; the channel code is bit 0, bit 2 and bit 1 of the channel number.
constexpr ChannelButton ChannelButtons[] = {
    {1, u"000"}, {2, u"100"}, {5, u"001"}, {6, u"101"}, {7, u"010"}, {8, u"110"}, {9, u"011"}, {10, u"111"},
};

} // namespace

SweepController::SweepController(Seams seams, LineFailure onLineFailure)
    : s_(seams), onLineFailure_(std::move(onLineFailure))
{
}

void SweepController::Timer1_Timer()
{
    // A tick that falls due while a sweep is suspended in its yield is dropped.
    if (sweeping())
        return;

    AcquisitionState& st = s_.state;
    for (const ChannelButton& button : ChannelButtons)
        if (s_.options.isSelected(button.option))
            st.ChannelCode = QString::fromUtf16(button.code);
    if (s_.options.isSelected(11))
        st.RangeMode = QStringLiteral("1");
    if (s_.options.isSelected(12))
        st.RangeMode = QStringLiteral("0");
    st.ControlWord = QStringLiteral("1") + st.ChannelCode + st.RangeMode + QStringLiteral("110");

    s_.plot.clear();
    s_.timer.setEnabled(true);
    Drawgrid1(s_.plot);

    s_.afterSweep.sweepStarted();
    if (isUnipolar(st.RangeMode))
        sweep<false>();
    if (s_.lifetime.ended())
        return;
    if (isBipolar(st.RangeMode))
        sweep<true>();
    // After Exit nothing that waited for the sweep may run.
    if (!s_.lifetime.ended())
        s_.afterSweep.sweepEnded();
}

template <bool Bipolar>
void SweepController::sweep()
{
    const unsigned run = s_.runs.start();
    const unsigned source = s_.comm.source();
    const bool simulated = s_.comm.simulated();
    const ConverterLink::Run conversions(s_.link, SweepLength);
    TraceRun trace;
    for (int i = 1; i <= SweepLength; ++i) {
        qint16 r = 0;
        try {
            r = s_.link.adc(s_.state.ControlWord);
        } catch (const LineError& error) {
            onLineFailure_(error.reason());
            return;
        }
        int v = r;
        if constexpr (Bipolar) {
            const int n = s_.link.SignFlag == u"+" ? 0 : 1;
            sweepSamples_[i] = qint16(r - 32768 * n);
            v = PlotValue::bipolar(r, n);
        } else {
            sweepSamples_[i] = r;
        }
        const PlotLine segment = trace.segment(i, v);
        s_.plot.drawLine(segment.x1, segment.y1, segment.x2, segment.y2, TraceColor);
        if (simulated)
            s_.plot.markSimulated();

        s_.pump.pump();
        // After Exit nothing more runs; after a load the screen and the buffer are the file's;
        // after a port toggle the samples would come from another source.
        if (s_.lifetime.ended() || !s_.runs.owns(run) || s_.comm.source() != source)
            return;
    }
    std::copy(sweepSamples_.begin() + 1, sweepSamples_.end(), s_.state.SampleBuffer.begin() + 1);
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
