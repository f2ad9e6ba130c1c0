#include "core/drawing/PlotAxes.h"

#include "core/drawing/PlotSpace.h"
#include "core/samples/Samples.h"

#include <cmath>

namespace {

// The smallest step of 1, 2 or 5 times a power of ten that puts at most `most` marks in the span.
double roundStep(double span, int most)
{
    const double least = span / most;
    const double power = std::pow(10.0, std::floor(std::log10(least)));
    for (const double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= least)
            return m * power;
    return 10 * power;
}

// Marks at the multiples of a round step from `from` to `to`, placed by `at`.
template <class At>
std::vector<AxisMark> marks(double from, double to, int most, At at)
{
    const double step = roundStep(to - from, most);
    const int decimals = step >= 1 ? 0 : int(std::ceil(-std::log10(step) - 1e-9));
    std::vector<AxisMark> found;
    for (long long k = (long long)std::ceil(from / step - 1e-9); k * step <= to + 1e-9 * step; ++k) {
        const double value = k * step;
        found.push_back({float(at(value)), QString::number(k == 0 ? 0.0 : value, 'f', decimals)});
    }
    return found;
}

QString threeFigures(double value)
{
    return QString::number(value, 'g', 3);
}

} // namespace

PlotAxes plotAxes(Range range, std::optional<double> seconds)
{
    PlotAxes axes;
    axes.voltsTitle = QStringLiteral("V");
    // The volts of a code and the height the trace rule gives that code.
    const double voltsPerCode = range == Range::Unipolar ? 5.0 / 4096 : 2.0 / 2048;
    const auto heightOf = [&](double volts) {
        const double code = volts / voltsPerCode;
        if (range == Range::Unipolar)
            return PlotSpace::Height - code;
        return code >= 0 ? 2500 - code : 2499 - code;
    };
    if (range == Range::Unipolar)
        axes.volts = marks(0, PlotSpace::Height * voltsPerCode, 8, heightOf);
    else
        axes.volts = marks((2499 - PlotSpace::Height) * voltsPerCode, 2500 * voltsPerCode, 10, heightOf);
    QString perDivision = threeFigures(500 * voltsPerCode) + QStringLiteral(" V/div, ");

    // x 0 to PlotSpace::Width: sample x - 1, taken at (x - 2) sample intervals.
    if (seconds && *seconds > 0) {
        const bool inMs = *seconds < 10;
        const double unit = inMs ? 1e3 : 1.0;
        const double interval = *seconds / SweepLength * unit;
        const QString unitName = inMs ? QStringLiteral("ms") : QStringLiteral("s");
        axes.timeTitle = QStringLiteral("time (%1)").arg(unitName);
        axes.time = marks(0, (PlotSpace::Width - 2) * interval, 10, [&](double t) { return t / interval + 2; });
        perDivision += threeFigures(820 * interval) + u' ' + unitName + QStringLiteral("/div");
    } else {
        axes.timeTitle = QStringLiteral("sample");
        axes.time = marks(0, PlotSpace::Width - 1, 10, [](double k) { return k + 1; });
        perDivision += QStringLiteral("820 samples/div");
    }
    axes.perDivision = perDivision;
    return axes;
}
