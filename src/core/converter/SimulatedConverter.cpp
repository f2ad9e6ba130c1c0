#include "core/converter/SimulatedConverter.h"

#include "core/converter/ConverterLink.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

double sine(std::uint64_t t, double period) { return std::sin(kTwoPi * std::fmod(double(t), period) / period); }

double triangle(std::uint64_t t, double period)
{
    const double phase = std::fmod(double(t), period) / period;
    return phase < 0.5 ? 4.0 * phase - 1.0 : 3.0 - 4.0 * phase;
}

double sawtooth(std::uint64_t t, double period) { return 2.0 * std::fmod(double(t), period) / period - 1.0; }

} // namespace

int SignalGenerator::operator()(const ConversionRequest& request)
{
    const std::uint64_t t = conversions_++;
    noise_ ^= noise_ << 13;
    noise_ ^= noise_ >> 17;
    noise_ ^= noise_ << 5;
    const double noise = double(noise_ & 0xFFFF) / 65535.0 - 0.5;

    double x = 0.0; // -1..1
    switch (request.channel & 7) {
    case 0: x = 0.8 * sine(t, 2000.0); break;                                   // sine
    case 1: x = (std::fmod(double(t), 1500.0) < 750.0) ? 0.6 : -0.6; break;       // square
    case 2: x = 0.9 * triangle(t, 3000.0); break;                                // triangle
    case 3: x = 0.7 * sawtooth(t, 2600.0); break;                                // sawtooth
    case 4: {                                                                    // decaying bursts
        const double since = std::fmod(double(t), 2900.0);
        x = 0.9 * std::exp(-since / 600.0) * std::sin(kTwoPi * since / 230.0);
        break;
    }
    case 5: x = 0.85 * (0.5 + 0.5 * sine(t, 4100.0)) * sine(t, 160.0); break;   // amplitude modulated
    case 6: x = 0.5 * sine(t, 1100.0) + 0.3 * sine(t, 370.0); break;              // two tones
    case 7: {                                                                    // pulse train with noise
        const double since = std::fmod(double(t), 1700.0);
        x = (since < 60.0 ? 0.9 : -0.4) + 0.15 * noise;
        break;
    }
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
