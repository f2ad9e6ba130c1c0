#include "core/converter/ConverterLink.h"
#include "core/converter/SimulatedConverter.h"
#include "support/Doubles.h"

#include <gtest/gtest.h>

namespace {

using Op = RecordingLines::Op;

TEST(ConverterLink, SendsTheFrameForChannel0Bipolar)
{
    RecordingLines lines;
    lines.ctsAsserted = ctsFor(0);
    ConverterLink link(lines);
    link.adc(QStringLiteral("10000110"));
    // RTS cell by cell: released, asserted x4, released, released, asserted.
    EXPECT_EQ(lines.ops, handFrame({false, true, true, true, true, false, false, true}, ctsFor(0)));
    EXPECT_EQ(lines.ops.size(), 65u);
}

TEST(ConverterLink, ShortAndOddWordsStillSendEightCellsWithMissingOnesAsZero)
{
    for (const QString& word : {QStringLiteral("1"), QStringLiteral(""), QStringLiteral("1x2 ?"), QStringLiteral("110")}) {
        RecordingLines lines;
        lines.ctsAsserted = ctsFor(0);
        ConverterLink link(lines);
        link.adc(word);
        EXPECT_EQ(lines.ops, handFrame(rtsFor(word), ctsFor(0))) << word.toStdString();
    }
}

TEST(ConverterLink, DecodesByTheClosedForm)
{
    struct Case {
        unsigned bits;
        char range;
        int result;
        const char* sign;
    } cases[] = {
        {0x000, '1', 0, "+"},    {0x000, '0', 0, "+"},    // CTS asserted throughout
        {0xFFF, '1', 4095, "+"}, {0xFFF, '0', 0, "-"},    // CTS released throughout
        {0x800, '1', 2048, "+"}, {0x800, '0', 2047, "-"}, // b1 then eleven 0s
        {0x7FF, '1', 2047, "+"}, {0x7FF, '0', 2047, "+"}, // 0 then eleven 1s
        {0x3E8, '1', 1000, "+"}, {0xC17, '0', 1000, "-"},
    };
    for (const Case& c : cases) {
        RecordingLines lines;
        lines.ctsAsserted = ctsFor(c.bits);
        ConverterLink link(lines);
        const QString word = QStringLiteral("1000") + QChar(c.range) + QStringLiteral("110");
        EXPECT_EQ(link.adc(word), c.result) << std::hex << c.bits << ' ' << c.range;
        EXPECT_EQ(link.SignFlag, QString::fromLatin1(c.sign));
        EXPECT_EQ(link.ReadoutBits[1], (c.bits >> 11) & 1);
    }
}

TEST(ConverterLink, ReadoutCellZeroIsStoredButNeverCounts)
{
    for (char range : {'0', '1'}) {
        for (bool cell0 : {true, false}) {
            RecordingLines lines;
            lines.ctsAsserted = ctsFor(0x123, cell0);
            ConverterLink link(lines);
            EXPECT_EQ(link.adc(QStringLiteral("1000") + QChar(range) + QStringLiteral("110")), 0x123);
            EXPECT_EQ(link.SignFlag, u"+");
            EXPECT_EQ(link.ReadoutBits[0], cell0 ? 0 : 1);
        }
    }
}

TEST(ConverterLink, OtherFifthCharacterGivesZeroAndKeepsTheSign)
{
    RecordingLines lines;
    lines.ctsAsserted = ctsFor(0xFFF);
    ConverterLink link(lines);
    link.adc(QStringLiteral("10000110"));
    ASSERT_EQ(link.SignFlag, u"-");
    lines.ops.clear();
    EXPECT_EQ(link.adc(QStringLiteral("1000x110")), 0);
    EXPECT_EQ(link.SignFlag, u"-");
    EXPECT_EQ(lines.ops.size(), 65u);

    ConverterLink fresh(lines);
    fresh.adc(QStringLiteral("1000"));
    EXPECT_TRUE(fresh.SignFlag.isEmpty());
}

TEST(ConverterLink, LinesRestAssertedAfterEveryFrame)
{
    RecordingLines lines;
    lines.ctsAsserted = ctsFor(0xA5A);
    ConverterLink link(lines);
    for (const QString& word : {QStringLiteral("11111111"), QStringLiteral("10101110"), QStringLiteral("")}) {
        lines.ops.clear();
        link.adc(word);
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
    EXPECT_THROW(link.adc(QStringLiteral("10000110")), LineError);
}

TEST(ConverterLink, ARunLetsTheLinesConvertAheadUpToItsEndAndDropsWhatIsLeftWhenItEnds)
{
    struct Batching final : ControlLines {
        void setRts(bool) override {}
        void setDtr(bool) override {}
        bool readCts() override { return true; }
        FrameReadout runFrame(const LineFrame& frame, int ahead) override
        {
            EXPECT_EQ(frame, ConverterLink::encode(QStringLiteral("10000110")));
            aheads.push_back(ahead);
            return {};
        }
        void dropAhead() override { ++drops; }
        std::vector<int> aheads;
        int drops = 0;
    } lines;
    ConverterLink link(lines);
    const QString word = QStringLiteral("10000110");
    link.adc(word);
    {
        const ConverterLink::Run run(link, 3);
        link.adc(word);
        link.adc(word); // ended one early
    }
    EXPECT_EQ(lines.drops, 1);
    link.adc(word);
    {
        const ConverterLink::Run run(link, 2);
        for (int n = 0; n < 3; ++n)
            link.adc(word);
    }
    EXPECT_EQ(lines.aheads, (std::vector<int>{0, 2, 1, 0, 1, 0, 0}));
    EXPECT_EQ(lines.drops, 2);
}

// Every code through the simulated converter, decoded by the link, against the closed form.
TEST(SimulatedConverter, RoundTripsEveryCodeInBothRanges)
{
    int next = 0;
    SimulatedConverter converter([&](const ConversionRequest&) { return next; });
    ConverterLink link(converter);
    for (int code = 0; code < 4096; ++code) {
        next = code;
        ASSERT_EQ(link.adc(QStringLiteral("10001110")), code);
        ASSERT_EQ(link.SignFlag, u"+");
    }
    for (int code = -2048; code < 2048; ++code) {
        next = code;
        const int result = link.adc(QStringLiteral("10000110"));
        if (code >= 0) {
            ASSERT_EQ(result, code);
            ASSERT_EQ(link.SignFlag, u"+");
        } else {
            ASSERT_EQ(result, -code - 1) << code; // the complement alone, no 1 added
            ASSERT_EQ(link.SignFlag, u"-");
        }
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
            const QString word = QStringLiteral("1") + QLatin1StringView(codes[channel]) + QChar(range) + QStringLiteral("110");
            link.adc(word);
            ASSERT_EQ(asked.back().channel, channel);
            ASSERT_EQ(asked.back().unipolar, range == '1');
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
        std::vector<std::vector<int>> sweeps(8);
        for (int channel = 0; channel < 8; ++channel) {
            SignalGenerator generator;
            for (int i = 0; i < 2 * 8192; ++i) {
                const int code = generator({channel, unipolar});
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
        EXPECT_EQ(again({3, unipolar}), sweeps[3][0]);
    }
}

} // namespace
