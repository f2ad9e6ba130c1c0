#pragma once

#include "core/samples/Range.h"
#include "core/samples/Samples.h"

#include <QByteArray>

// Samples as text for other programs: numbers in the C locale whatever the user's.

// Appends a number with six decimals; the decimal point is always ".".
void appendFixed(QByteArray& text, double value);

// The cells index,stored,code,volts of record n (from 0), with no line break.
void appendSampleCells(QByteArray& text, int n, qint16 stored, Range range);

// The records, numbered from 1, as "index,stored,code,volts" rows under that header, read in the range.
QByteArray sampleCsv(const SampleArray& samples, Range range);

// Records 1..8192 from such a text (the stored column); false when it is not one.
bool readSampleCsv(const QByteArray& text, SampleArray& samples);
