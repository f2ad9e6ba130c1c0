#pragma once

#include "core/samples/Range.h"
#include "core/samples/Samples.h"

#include <QString>

// What a stored record means once its range is known.

// "unipolar ( +5V)" or "bipolar (±2V)", as the range is named on the window's buttons.
QString rangeName(Range range);

// The range a file's records were taken in when only one range can have given them all:
// bipolar when a record has the sign bit set and no magnitude is above 2047, unipolar when a
// magnitude is above 2047 and no record is above 4095 or has the sign bit set. Otherwise, when
// both ranges or neither can have given them, unknown (sure is false) and taken as unipolar.
struct RangeGuess {
    Range range = Range::Unipolar;
    bool sure = false;
};
RangeGuess guessRange(const SampleArray& samples);

// A record as the converter gave it: its code (unipolar 0..4095, bipolar two's complement
// -2048..2047) and the input voltage that code stands for.
struct Reading {
    int code = 0;
    double volts = 0;
};
Reading reading(qint16 stored, Range range);

// The volts one step of the code stands for: 5/4096 unipolar, 2/2048 bipolar.
double voltsPerCode(Range range);

// True for a record no sweep in this range can produce: a unipolar magnitude above 4095 or
// with the sign bit set, a bipolar magnitude above 2047.
bool impossible(qint16 stored, Range range);

// The records summed up, in volts.
struct Summary {
    double minimum = 0;
    double maximum = 0;
    double mean = 0;
    double rms = 0;
    int impossible = 0;
};
Summary summarise(const SampleArray& samples, Range range);
