#include "core/converter/Sweep.h"

#include "core/converter/ControlWord.h"

bool Sweep::run(int channel, Range range, const Each& each)
{
    const QString word = ControlWord::make(channel, range);
    const bool bipolar = range == Range::Bipolar;
    const ConverterLink::Run conversions(link_, SweepLength);
    for (int i = 1; i <= SweepLength; ++i) {
        const qint16 r = link_.adc(word);
        // The sign of a bipolar reading is the one its own conversion left.
        const bool negative = bipolar && link_.SignFlag != u"+";
        const Sample sample{i, StoredSample::encode(r, negative),
                            bipolar ? PlotValue::bipolar(r, negative) : PlotValue::unipolar(r)};
        samples_[i] = sample.stored;
        if (!each(sample))
            return false;
    }
    return true;
}
