#include "dat/CsvRows.h"

#include "core/samples/SampleCsv.h"

#include <charconv>

namespace DatTool {
namespace {

void appendNineDecimals(QByteArray& text, double value)
{
    char digits[40];
    const auto end = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 9).ptr;
    text.append(digits, end - digits);
}

} // namespace

QByteArray csvRows(const DatSweep& sweep)
{
    const SampleArray records = sweep.records();
    if (!sweep.facts)
        return sampleCsv(records, sweep.range);
    const std::optional<double> seconds = sweep.seconds();
    const QByteArray start = sweep.start();
    QByteArray text = "index,stored,code,volts";
    if (seconds)
        text += ",time_s";
    text += ",channel";
    if (!start.isEmpty())
        text += ",start";
    text += '\n';
    const QByteArray tail = ',' + QByteArray::number(sweep.facts->channel) + (start.isEmpty() ? QByteArray() : ',' + start) + '\n';
    text.reserve(text.size() + SweepLength * (40 + tail.size()));
    for (int n = 0; n < SweepLength; ++n) {
        appendSampleCells(text, n, records[n], sweep.range);
        if (seconds) {
            text += ',';
            appendNineDecimals(text, *seconds * n / SweepLength);
        }
        text += tail;
    }
    return text;
}

} // namespace DatTool
