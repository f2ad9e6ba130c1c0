#pragma once

// Test doubles for the core's seams: recording plot surface and control lines, scripted codes
// for the simulated converter.

#include "core/converter/ControlLines.h"
#include "core/converter/SimulatedConverter.h"
#include "core/drawing/Grid.h"
#include "core/drawing/PlotSpace.h"
#include "support/Frames.h"

#include <QString>

#include <deque>
#include <optional>
#include <ostream>
#include <vector>

// Failures show texts as text, not as code units.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

// One operation on a plot or printer surface: a clear / end of document, or a line.
struct SurfaceOp {
    enum Kind { Clear, Line, EndDoc } kind;
    PlotLine line{};
    std::optional<QRgb> colour;
    bool operator==(const SurfaceOp&) const = default;
};

class RecordingSurface final : public PlotSurface {
public:
    void clear() override
    {
        ops.push_back({SurfaceOp::Clear});
        simulated = false;
    }
    void drawLine(float x1, float y1, float x2, float y2, QRgb colour) override
    {
        ops.push_back({SurfaceOp::Line, {x1, y1, x2, y2}, colour});
    }
    void markSimulated() override { simulated = true; }
    void markUnanswered(bool marked) override { unanswered = marked; }
    bool simulated = false; // marked since the last clear
    bool unanswered = false;
    // The lines drawn since the last clear, in order.
    std::vector<SurfaceOp> sinceLastClear() const;
    std::vector<SurfaceOp> ops;
};

// The control lines as seen from the link: every operation in order, CTS answered from a script.
class RecordingLines final : public ControlLines {
public:
    using Op = LineLevel;
    void setRts(bool asserted) override { ops.push_back({'R', asserted}); }
    void setDtr(bool asserted) override { ops.push_back({'D', asserted}); }
    bool readCts() override
    {
        const bool level = ctsAsserted.empty() ? true : ctsAsserted[reads++ % ctsAsserted.size()];
        ops.push_back({'C', level});
        return level;
    }
    std::vector<bool> ctsAsserted; // answered in turn, repeating
    std::size_t reads = 0;
    std::vector<Op> ops;
};

// Exact codes for the simulated converter, answered in turn (0 once they run out), with every
// request recorded.
struct ScriptedCodes {
    std::deque<int> codes;
    std::vector<ConversionRequest> asked;
    CodeSource source()
    {
        return [this](const ConversionRequest& request) {
            asked.push_back(request);
            if (codes.empty())
                return 0;
            const int code = codes.front();
            codes.pop_front();
            return code;
        };
    }
};
