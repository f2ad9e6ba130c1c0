#include "core/converter/ConverterLink.h"
#include "core/converter/SimulatedConverter.h"
#include "core/converter/Sweep.h"
#include "support/CoreDoubles.h"

#include <gtest/gtest.h>

namespace {

using Op = RecordingLines::Op;

ConverterCells convertOnce(RecordingLines& lines, std::uint8_t word)
{
    ConverterLink link(lines);
    return link.convert(ConverterLink::encode(word));
}

TEST(ConverterLink, SendsTheFrameForChannel0Bipolar)
{
    RecordingLines lines;
    lines.ctsAsserted = ctsFor(0);
    convertOnce(lines, ControlWord::make({0, Range::Bipolar}));
    // RTS cell by cell: released, asserted x4, released, released, asserted.
    EXPECT_EQ(lines.ops, handFrame({false, true, true, true, true, false, false, true}, ctsFor(0)));
    EXPECT_EQ(lines.ops.size(), 65u);
}

TEST(ConverterLink, DecodesByTheClosedForm)
{
    struct Case {
        unsigned bits;
        Range range;
        int result;
        bool negative;
    } cases[] = {
        {0x000, Range::Unipolar, 0, false},    {0x000, Range::Bipolar, 0, false},    // CTS asserted throughout
        {0xFFF, Range::Unipolar, 4095, false}, {0xFFF, Range::Bipolar, 0, true},     // CTS released throughout
        {0x800, Range::Unipolar, 2048, false}, {0x800, Range::Bipolar, 2047, true},  // b1 then eleven 0s
        {0x7FF, Range::Unipolar, 2047, false}, {0x7FF, Range::Bipolar, 2047, false}, // 0 then eleven 1s
        {0x3E8, Range::Unipolar, 1000, false}, {0xC17, Range::Bipolar, 1000, true},
    };
    for (const Case& c : cases) {
        RecordingLines lines;
        lines.ctsAsserted = ctsFor(c.bits);
        const ConverterCells cells = convertOnce(lines, ControlWord::make({0, c.range}));
        EXPECT_EQ(ConverterReading::of(cells, c.range), (ConverterReading{c.result, c.negative})) << std::hex << c.bits;
        EXPECT_EQ((cells.bits >> 11) & 1u, (c.bits >> 11) & 1u);
    }
}

TEST(ConverterLink, ReadoutCellZeroIsStoredButNeverCounts)
{
    for (Range range : {Range::Bipolar, Range::Unipolar}) {
        for (bool cell0 : {true, false}) {
            RecordingLines lines;
            lines.ctsAsserted = ctsFor(0x123, cell0);
            const ConverterCells cells = convertOnce(lines, ControlWord::make({0, range}));
            EXPECT_EQ(ConverterReading::of(cells, range), (ConverterReading{0x123, false}));
            EXPECT_EQ(cells.bits >> 12, cell0 ? 0u : 1u);
        }
    }
}

TEST(ConverterLink, LinesRestAssertedAfterEveryFrame)
{
    RecordingLines lines;
    lines.ctsAsserted = ctsFor(0xA5A);
    ConverterLink link(lines);
    for (const std::uint8_t word : {0xFF, 0xAE, 0x00}) {
        lines.ops.clear();
        link.convert(ConverterLink::encode(word));
        bool rts = false, dtr = false;
        for (const Op& op : lines.ops) {
            if (op.line == 'R')
                rts = op.level;
            if (op.line == 'D')
                dtr = op.level;
        }
        EXPECT_TRUE(rts && dtr);
        EXPECT_EQ(lines.ops.front(), (Op{'D', false})); // the next frame begins by releasing DTR
    }
}

TEST(ConverterLink, LineErrorsPassUnchanged)
{
    struct Failing final : ControlLines {
        int left = 30;
        void setRts(bool) override { tick(); }
        void setDtr(bool) override { tick(); }
        bool readCts() override { tick(); return true; }
        void tick() { if (--left < 0) throw LineError(QStringLiteral("Input/output error")); }
    } lines;
    ConverterLink link(lines);
    EXPECT_THROW(link.convert(ConverterLink::encode(0x86)), LineError);
}

TEST(ConverterLink, ARunLetsTheLinesConvertAheadUpToItsEndAndDropsWhatIsLeftWhenItEnds)
{
    const LineFrame frame = ConverterLink::encode(0x86);
    struct Batching final : ControlLines {
        explicit Batching(const LineFrame& frame) : frame(frame) {}
        void setRts(bool) override {}
        void setDtr(bool) override {}
        bool readCts() override { return true; }
        FrameReadout runFrame(const LineFrame& f, int ahead) override
        {
            EXPECT_EQ(f, frame);
            aheads.push_back(ahead);
            return {};
        }
        void dropAhead() override { ++drops; }
        const LineFrame& frame;
        std::vector<int> aheads;
        int drops = 0;
    } lines(frame);
    ConverterLink link(lines);
    link.convert(frame);
    {
        const ConverterLink::Run run(link, 3);
        link.convert(frame);
        link.convert(frame); // ended one early
    }
    EXPECT_EQ(lines.drops, 1);
    link.convert(frame);
    {
        const ConverterLink::Run run(link, 2);
        for (int n = 0; n < 3; ++n)
            link.convert(frame);
    }
    EXPECT_EQ(lines.aheads, (std::vector<int>{0, 2, 1, 0, 1, 0, 0}));
    EXPECT_EQ(lines.drops, 2);
}

// A sweep tells whether CTS ever changed level: not when the converter's codes keep every
// read-out cell at one level.
TEST(Sweep, TellsWhetherTheDataLineMoved)
{
    const struct {
        int code;
        Range range;
        bool moved;
    } cases[] = {
        {0, Range::Unipolar, false}, // cell 0 and every bit asserted
        {1, Range::Unipolar, true},  {-1, Range::Bipolar, true}, {2047, Range::Bipolar, true},
    };
    for (const auto& c : cases) {
        SimulatedConverter converter([&](const ConversionRequest&) { return c.code; });
        ConverterLink link(converter);
        Sweep sweep(link);
        ASSERT_TRUE(sweep.run({3, c.range}, [](const Sweep::Sample&) { return true; }));
        EXPECT_EQ(sweep.lineMoved(), c.moved) << c.code;
    }
    RecordingLines released;
    released.ctsAsserted = {false};
    ConverterLink link(released);
    Sweep sweep(link);
    sweep.run({0, Range::Bipolar}, [](const Sweep::Sample& s) { return s.number < 3; });
    EXPECT_FALSE(sweep.lineMoved());
}

// Every code through the simulated converter, decoded by the link, against the closed form.
TEST(SimulatedConverter, RoundTripsEveryCodeInBothRanges)
{
    int next = 0;
    SimulatedConverter converter([&](const ConversionRequest&) { return next; });
    ConverterLink link(converter);
    const LineFrame unipolar = ConverterLink::encode(0x8E);
    const LineFrame bipolar = ConverterLink::encode(0x86);
    for (int code = 0; code < 4096; ++code) {
        next = code;
        ASSERT_EQ(ConverterReading::of(link.convert(unipolar), Range::Unipolar), (ConverterReading{code, false}));
    }
    for (int code = -2048; code < 2048; ++code) {
        next = code;
        const ConverterReading r = ConverterReading::of(link.convert(bipolar), Range::Bipolar);
        if (code >= 0)
            ASSERT_EQ(r, (ConverterReading{code, false}));
        else
            ASSERT_EQ(r, (ConverterReading{-code - 1, true})) << code; // the complement alone, no 1 added
    }
}

TEST(SimulatedConverter, DecodesTheChannelAndRangeTheWordAskedFor)
{
    const char* codes[] = {"000", "100", "001", "101", "010", "110", "011", "111"};
    std::vector<ConversionRequest> asked;
    SimulatedConverter converter([&](const ConversionRequest& r) { asked.push_back(r); return 5; });
    ConverterLink link(converter);
    for (int channel = 0; channel < 8; ++channel) {
        for (char range : {'1', '0'}) {
            const ConversionRequest request{channel, range == '1' ? Range::Unipolar : Range::Bipolar};
            link.convert(ConverterLink::encode(ControlWord::make(request)));
            ASSERT_EQ(asked.back(), request);
            const QString word = QStringLiteral("1") + QLatin1StringView(codes[channel]) + QChar(range) + QStringLiteral("110");
            unsigned sent = 0;
            for (QChar c : word)
                sent = (sent << 1) | (c == u'1');
            EXPECT_EQ(converter.lastWord(), sent);
        }
    }
}

TEST(SimulatedConverter, SignalsStayInRangeDifferByChannelAndMoveBetweenSweeps)
{
    for (bool unipolar : {true, false}) {
        const Range range = unipolar ? Range::Unipolar : Range::Bipolar;
        std::vector<std::vector<int>> sweeps(8);
        for (int channel = 0; channel < 8; ++channel) {
            SignalGenerator generator;
            for (int i = 0; i < 2 * 8192; ++i) {
                const int code = generator({channel, range});
                ASSERT_GE(code, unipolar ? 0 : -2048);
                ASSERT_LE(code, unipolar ? 4095 : 2047);
                sweeps[channel].push_back(code);
            }
            const std::vector<int> first(sweeps[channel].begin(), sweeps[channel].begin() + 8192);
            const std::vector<int> second(sweeps[channel].begin() + 8192, sweeps[channel].end());
            EXPECT_NE(first, second) << "channel " << channel << " does not move";
        }
        for (int a = 0; a < 8; ++a)
            for (int b = a + 1; b < 8; ++b)
                EXPECT_NE(sweeps[a], sweeps[b]);
        // Deterministic from its start.
        SignalGenerator again;
        EXPECT_EQ(again({3, range}), sweeps[3][0]);
    }
}

} // namespace
