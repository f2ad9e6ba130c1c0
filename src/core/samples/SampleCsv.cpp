#include "core/samples/SampleCsv.h"

#include "core/samples/Readings.h"

#include <charconv>

void appendFixed(QByteArray& text, double value)
{
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 6).ptr;
    text.append(digits, end - digits);
}

QByteArray sampleCsv(const SampleArray& samples, Range range)
{
    QByteArray text;
    text.reserve(SweepLength * 32);
    text += "index,stored,code,volts\n";
    for (int n = 0; n < SweepLength; ++n) {
        const Reading r = reading(samples[n], range);
        text += QByteArray::number(n + 1) + ',' + QByteArray::number(samples[n]) + ',' + QByteArray::number(r.code) + ',';
        appendFixed(text, r.volts);
        text += '\n';
    }
    return text;
}
