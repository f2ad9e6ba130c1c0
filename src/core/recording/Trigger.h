#pragma once

#include "core/samples/Range.h"
#include "core/samples/Samples.h"

#include <QString>
#include <QStringView>

#include <optional>

// A software trigger: a sweep is kept only when its signal crosses the level the way asked.
// Rising: the sample before is below the level and this one at or above it; falling: the sample
// before is above the level and this one at or below it. The first sample has none before it.
struct Trigger {
    enum Slope { Rising, Falling };
    double level = 0; // volts, in the sweep's range
    Slope slope = Rising;
};

// The index (from 0) of the first sample past the crossing; none when the signal never crosses.
std::optional<int> firstCrossing(const SampleArray& stored, Range range, const Trigger& trigger);

// The lowest and the highest volts the range's codes stand for, and whether a level lies there.
struct Levels {
    double lowest, highest;
};
Levels levelsOf(Range range);
bool withinRange(double level, Range range);

// "rising" or "falling", as the options name a slope; none for any other word.
std::optional<Trigger::Slope> slopeNamed(QStringView word);
QString slopeWord(Trigger::Slope slope);
