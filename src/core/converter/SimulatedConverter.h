#pragma once

#include "core/converter/ControlLines.h"
#include "core/converter/ControlWord.h"

#include <cstdint>
#include <optional>
#include <functional>

// A converter code: straight binary 0..4095 when unipolar, 12-bit two's complement
// -2048..2047 when bipolar.
using CodeSource = std::function<int(const ConversionRequest&)>;

// Eight recognisable test signals, one per channel, that drift from sweep to sweep
// (their periods do not divide a sweep). Deterministic from its start.
class SignalGenerator {
public:
    int operator()(const ConversionRequest& request);

private:
    std::uint64_t conversions_ = 0;
    std::uint32_t noise_ = 0x2545F491u;
};

// The converter at the bit level behind the control lines: the control word is clocked in
// on rising DTR edges from RTS (RTS released = 1), then 13 read-out cells go out on CTS,
// cell 0 a leading zero and the 12-bit code most significant bit first (1 = CTS released).
class SimulatedConverter final : public ControlLines {
public:
    explicit SimulatedConverter(CodeSource source = SignalGenerator{});

    void setRts(bool asserted) override { rtsAsserted_ = asserted; }
    void setDtr(bool asserted) override
    {
        const bool rising = asserted && !dtrAsserted_;
        dtrAsserted_ = asserted;
        if (rising)
            clockRises();
    }
    bool readCts() override { return !dataOut_; }
    // A whole frame in one call. A frame from rest that is the link's frame of a control word
    // is answered at once, with the state its 65 operations leave; any other runs them one by
    // one, as direct calls rather than virtual ones.
    FrameReadout runFrame(const LineFrame& frame, int ahead) override;

    // The control word of the last completed control phase, first bit in bit 7.
    unsigned lastWord() const { return lastWord_; }
    const ConversionRequest& lastRequest() const { return lastRequest_; }

private:
    static constexpr int kControlCells = 8;
    static constexpr int kReadoutCells = 13;

    // A rising clock edge: a control bit in, or the next read-out cell out.
    void clockRises();
    void latchControlWord(unsigned word);

    CodeSource source_;
    bool rtsAsserted_ = true;
    bool dtrAsserted_ = true;
    int risingEdges_ = 0;     // rising DTR edges in the current frame
    unsigned shiftIn_ = 0;
    unsigned shiftOut_ = 0;   // 13 read-out cells, cell 0 in bit 12
    bool dataOut_ = false;    // current read-out bit: true is a 1 (CTS released)
    unsigned lastWord_ = 0;
    ConversionRequest lastRequest_;
    // The last whole frame of the link run from rest, and its control word.
    std::optional<LineFrame> known_;
    unsigned knownWord_ = 0;
};
