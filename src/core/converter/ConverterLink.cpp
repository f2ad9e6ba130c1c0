#include "core/converter/ConverterLink.h"

LineFrame ConverterLink::encode(std::uint8_t cw)
{
    LineFrame frame{};
    int n = 0;
    for (int j = 7; j >= 0; --j) {
        frame[n++] = LineOp::DtrReleased;
        frame[n++] = (cw >> j) & 1u ? LineOp::RtsReleased : LineOp::RtsAsserted;
        frame[n++] = LineOp::DtrAsserted;
    }

    frame[n++] = LineOp::RtsReleased;
    frame[n++] = LineOp::RtsAsserted;

    for (int k = 0; k < FrameReads; ++k) {
        frame[n++] = LineOp::DtrReleased;
        frame[n++] = LineOp::DtrAsserted;
        frame[n++] = LineOp::ReadCts;
    }
    return frame;
}

ConverterCells ConverterLink::convert(const LineFrame& frame)
{
    const int ahead = planned_ > 1 ? planned_ - 1 : 0;
    if (planned_ > 0)
        --planned_;
    const FrameReadout readout = lines_.runFrame(frame, ahead);
    ConverterCells cells;
    for (const bool ctsAsserted : readout)
        cells.bits = cells.bits << 1 | (ctsAsserted ? 0u : 1u);
    return cells;
}

ConverterLink::Run::~Run()
{
    link_.planned_ = 0;
    link_.lines_.dropAhead();
}
