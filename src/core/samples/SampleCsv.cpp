#include "core/samples/SampleCsv.h"

#include "core/samples/Readings.h"

#include <QList>

#include <charconv>

namespace {

constexpr const char* Header = "index,stored,code,volts\n";

} // namespace

void appendFixed(QByteArray& text, double value)
{
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 6).ptr;
    text.append(digits, end - digits);
}

void appendSampleCells(QByteArray& text, int n, qint16 stored, Range range)
{
    const Reading r = reading(stored, range);
    text += QByteArray::number(n + 1) + ',' + QByteArray::number(stored) + ',' + QByteArray::number(r.code) + ',';
    appendFixed(text, r.volts);
}

QByteArray sampleCsv(const SampleArray& samples, Range range)
{
    QByteArray text;
    text.reserve(SweepLength * 32);
    text += Header;
    for (int n = 0; n < SweepLength; ++n) {
        appendSampleCells(text, n, samples[n], range);
        text += '\n';
    }
    return text;
}

bool readSampleCsv(const QByteArray& text, SampleArray& samples)
{
    const QList<QByteArray> lines = text.split('\n');
    if (lines.size() <= SweepLength || lines.front() + '\n' != Header)
        return false;
    for (int n = 1; n <= SweepLength; ++n) {
        const QList<QByteArray> cells = lines[n].split(',');
        bool numbered = false, read = false;
        const int stored = cells.size() == 4 ? cells[1].toInt(&read) : 0;
        if (cells.size() != 4 || cells[0].toInt(&numbered) != n || !numbered || !read || stored != qint16(stored))
            return false;
        samples[n - 1] = qint16(stored);
    }
    return true;
}
