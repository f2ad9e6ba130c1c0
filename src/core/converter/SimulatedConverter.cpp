#include "core/converter/SimulatedConverter.h"

#include "core/converter/ConverterLink.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// The signals are periodic in whole conversions, and the remainder of a whole number by a
// whole period is exact in a double: so one period of each sine, and of the bursts, is worked
// out once with the same expressions and looked up after, value for value the same. The C
// library's sine at every conversion cost a MinGW build four times glibc's.
class Period {
public:
    template <class Value>
    Period(int length, Value value) : values_(length)
    {
        for (int k = 0; k < length; ++k)
            values_[k] = value(double(k));
    }
    double operator()(std::uint64_t t) const { return values_[t % values_.size()]; }

private:
    std::vector<double> values_;
};

Period sine(int period)
{
    return Period(period, [period](double k) { return std::sin(kTwoPi * k / period); });
}

struct Periods {
    Period sine2000 = sine(2000), sine4100 = sine(4100), sine160 = sine(160), sine1100 = sine(1100), sine370 = sine(370);
    Period bursts{2900, [](double since) { return 0.9 * std::exp(-since / 600.0) * std::sin(kTwoPi * since / 230.0); }};
};

const Periods& periods()
{
    static const Periods worked;
    return worked;
}

// Where t is in a period: a whole number, as a double.
double phase(std::uint64_t t, std::uint64_t period) { return double(t % period); }

double triangle(std::uint64_t t, double period)
{
    const double part = phase(t, std::uint64_t(period)) / period;
    return part < 0.5 ? 4.0 * part - 1.0 : 3.0 - 4.0 * part;
}

double sawtooth(std::uint64_t t, double period) { return 2.0 * phase(t, std::uint64_t(period)) / period - 1.0; }

} // namespace

int SignalGenerator::operator()(const ConversionRequest& request)
{
    const Periods& p = periods();
    const std::uint64_t t = conversions_++;
    noise_ ^= noise_ << 13;
    noise_ ^= noise_ >> 17;
    noise_ ^= noise_ << 5;
    const double noise = double(noise_ & 0xFFFF) / 65535.0 - 0.5;

    double x = 0.0; // -1..1
    switch (request.channel & 7) {
    case 0: x = 0.8 * p.sine2000(t); break;                                      // sine
    case 1: x = phase(t, 1500) < 750.0 ? 0.6 : -0.6; break;                      // square
    case 2: x = 0.9 * triangle(t, 3000.0); break;                                // triangle
    case 3: x = 0.7 * sawtooth(t, 2600.0); break;                                // sawtooth
    case 4: x = p.bursts(t); break;                                              // decaying bursts
    case 5: x = 0.85 * (0.5 + 0.5 * p.sine4100(t)) * p.sine160(t); break;        // amplitude modulated
    case 6: x = 0.5 * p.sine1100(t) + 0.3 * p.sine370(t); break;                 // two tones
    case 7: x = (phase(t, 1700) < 60.0 ? 0.9 : -0.4) + 0.15 * noise; break;      // pulse train with noise
    }
    x = std::clamp(x, -1.0, 1.0);
    if (request.range == Range::Unipolar)
        return std::clamp(int(std::lround(2048.0 + 1900.0 * x)), 0, 4095);
    return std::clamp(int(std::lround(1900.0 * x)), -2048, 2047);
}

SimulatedConverter::SimulatedConverter(CodeSource source) : source_(std::move(source)) {}

FrameReadout SimulatedConverter::runFrame(const LineFrame& frame, int ahead)
{
    Q_UNUSED(ahead);
    const bool atRest = risingEdges_ == 0;
    if (!atRest || frame != known_) {
        const FrameReadout readout = runEachOperation(*this, frame);
        if (atRest && frame == ConverterLink::encode(std::uint8_t(lastWord_))) {
            known_ = frame;
            knownWord_ = lastWord_;
        }
        return readout;
    }
    latchControlWord(knownWord_);
    // As the frame leaves the lines: RTS and DTR asserted, the last read-out cell on CTS.
    rtsAsserted_ = dtrAsserted_ = true;
    dataOut_ = shiftOut_ & 1u;
    FrameReadout readout;
    for (int cell = 0; cell < kReadoutCells; ++cell)
        readout[cell] = !((shiftOut_ >> (kReadoutCells - 1 - cell)) & 1u);
    return readout;
}

void SimulatedConverter::clockRises()
{
    const int edge = risingEdges_++;
    if (edge < kControlCells) {
        shiftIn_ = (shiftIn_ << 1) | (rtsAsserted_ ? 0u : 1u);
        if (edge == kControlCells - 1) {
            latchControlWord(shiftIn_ & 0xFFu);
            shiftIn_ = 0;
        }
        return;
    }
    const int cell = edge - kControlCells;
    dataOut_ = (shiftOut_ >> (kReadoutCells - 1 - cell)) & 1u;
    if (cell == kReadoutCells - 1)
        risingEdges_ = 0;
}

void SimulatedConverter::latchControlWord(unsigned word)
{
    lastWord_ = word;
    lastRequest_ = ControlWord::request(std::uint8_t(lastWord_));

    int code = source_(lastRequest_);
    code = lastRequest_.range == Range::Unipolar ? std::clamp(code, 0, 4095) : std::clamp(code, -2048, 2047);
    shiftOut_ = unsigned(code) & 0xFFFu; // cell 0 is the leading zero
}
