#include "core/samples/Readings.h"

#include <gtest/gtest.h>

namespace {

// Stored records read in a range, against codes and volts worked out by hand.
TEST(Readings, RecordsReadInTheirRangeAndSummedUp)
{
    const struct {
        qint16 stored;
        Range range;
        int code;
        double volts;
        bool impossible;
    } rows[] = {
        {1000, Range::Unipolar, 1000, 1.220703125, false}, {4095, Range::Unipolar, 4095, 4.998779296875, false},
        {-32768 + 5, Range::Bipolar, -6, -0.005859375, false}, {2047, Range::Bipolar, 2047, 1.9990234375, false},
        {-32768, Range::Bipolar, -1, -0.0009765625, false},   {2048, Range::Bipolar, 2048, 2.0, true},
        {-32768, Range::Unipolar, 0, 0.0, true},              {0x1FFF, Range::Unipolar, 8191, 9.998779296875, true},
    };
    for (const auto& row : rows) {
        const Reading r = reading(row.stored, row.range);
        EXPECT_EQ(r.code, row.code) << row.stored;
        EXPECT_DOUBLE_EQ(r.volts, row.volts) << row.stored;
        EXPECT_EQ(impossible(row.stored, row.range), row.impossible) << row.stored;
    }

    SampleArray samples{};
    samples.fill(1000);
    samples[SweepLength - 1] = 0x1FFF;
    const Summary s = summarise(samples, Range::Unipolar);
    EXPECT_DOUBLE_EQ(s.minimum, 1.220703125);
    EXPECT_DOUBLE_EQ(s.maximum, 9.998779296875);
    EXPECT_EQ(s.impossible, 1);
}

} // namespace
