#include "support/Doubles.h"
#include "window/handlers/Procedures.h"

#include <gtest/gtest.h>

namespace {

TEST(ConversionProcedure, ShortAndOddWordsStillSendEightCellsWithMissingOnesAsZero)
{
    for (const QString& word : {QStringLiteral("1"), QStringLiteral(""), QStringLiteral("1x2 ?"), QStringLiteral("110")}) {
        RecordingLines lines;
        lines.ctsAsserted = ctsFor(0);
        ConverterLink link(lines);
        ConversionProcedure(link).adc(word);
        EXPECT_EQ(lines.ops, handFrame(rtsFor(word), ctsFor(0))) << word.toStdString();
    }
}

TEST(ConversionProcedure, OtherFifthCharacterGivesZeroAndKeepsTheSign)
{
    RecordingLines lines;
    lines.ctsAsserted = ctsFor(0xFFF);
    ConverterLink link(lines);
    ConversionProcedure procedure(link);
    procedure.adc(QStringLiteral("10000110"));
    ASSERT_EQ(procedure.SignFlag, u"-");
    lines.ops.clear();
    EXPECT_EQ(procedure.adc(QStringLiteral("1000x110")), 0);
    EXPECT_EQ(procedure.SignFlag, u"-");
    EXPECT_EQ(lines.ops.size(), 65u);
    EXPECT_EQ(procedure.ReadoutBits[1], 1);

    ConversionProcedure fresh(link);
    fresh.adc(QStringLiteral("1000"));
    EXPECT_TRUE(fresh.SignFlag.isEmpty());
}

} // namespace
