#include "core/recording/Trigger.h"

#include "core/samples/Readings.h"

std::optional<int> firstCrossing(const SampleArray& stored, Range range, const Trigger& trigger)
{
    const bool rising = trigger.slope == Trigger::Rising;
    double before = reading(stored[0], range).volts;
    for (int n = 1; n < SweepLength; ++n) {
        const double now = reading(stored[n], range).volts;
        if (rising ? before < trigger.level && now >= trigger.level : before > trigger.level && now <= trigger.level)
            return n;
        before = now;
    }
    return std::nullopt;
}

Levels levelsOf(Range range)
{
    const double step = voltsPerCode(range);
    return range == Range::Unipolar ? Levels{0, 4095 * step} : Levels{-2048 * step, 2047 * step};
}

bool withinRange(double level, Range range)
{
    const Levels levels = levelsOf(range);
    return level >= levels.lowest && level <= levels.highest;
}

std::optional<Trigger::Slope> slopeNamed(QStringView word)
{
    if (word == u"rising")
        return Trigger::Rising;
    if (word == u"falling")
        return Trigger::Falling;
    return std::nullopt;
}

QString slopeWord(Trigger::Slope slope)
{
    return slope == Trigger::Falling ? QStringLiteral("falling") : QStringLiteral("rising");
}
