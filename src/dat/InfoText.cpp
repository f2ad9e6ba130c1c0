#include "dat/InfoText.h"

#include "core/samples/Readings.h"
#include "core/samples/SampleCsv.h"

namespace DatTool {

QByteArray infoText(const DatSweep& sweep)
{
    const Summary s = summarise(sweep.records(), sweep.range);
    QByteArray text = "file: " + sweep.source().toUtf8() + "\nrange: " + rangeName(sweep.range).toUtf8() + "\nrecords: "
        + QByteArray::number(SweepLength);
    if (const std::optional<SweepFacts>& row = sweep.facts) {
        text += "\nsweep: " + QByteArray::number(row->number) + "\nchannel: " + QByteArray::number(row->channel);
        if (!row->start.isEmpty())
            text += "\nstart: " + row->start;
        if (row->seconds) {
            text += "\nduration: ";
            appendFixed(text, *row->seconds);
            text += " s";
        }
    }
    const auto volts = [&](const char* name, double value) {
        text += '\n';
        text += name;
        appendFixed(text, value);
        text += " V";
    };
    volts("minimum: ", s.minimum);
    volts("maximum: ", s.maximum);
    volts("mean: ", s.mean);
    volts("rms: ", s.rms);
    text += "\nimpossible in this range: " + QByteArray::number(s.impossible) + '\n';
    return text;
}

} // namespace DatTool
