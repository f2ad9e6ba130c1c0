#include "core/converter/Sweep.h"

bool Sweep::run(const ConversionRequest& request, const Each& each)
{
    const LineFrame frame = ConverterLink::encode(ControlWord::make(request));
    const bool bipolar = request.range == Range::Bipolar;
    constexpr unsigned AllCells = (1u << FrameReads) - 1;
    unsigned anyReleased = 0;
    unsigned allReleased = AllCells;
    const ConverterLink::Run conversions(link_, SweepLength);
    for (int i = 0; i < SweepLength; ++i) {
        const ConverterCells cells = link_.convert(frame);
        anyReleased |= cells.bits;
        allReleased &= cells.bits;
        const ConverterReading r = ConverterReading::of(cells, request.range);
        const Sample sample{i + 1, StoredSample::encode(r.magnitude, r.negative),
                            bipolar ? PlotValue::bipolar(r.magnitude, r.negative) : PlotValue::unipolar(r.magnitude)};
        samples_[i] = sample.stored;
        lineMoved_ = anyReleased != 0 && allReleased != AllCells;
        if (!each(sample))
            return false;
    }
    return true;
}
