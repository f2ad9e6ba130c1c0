#include "core/samples/Range.h"
#include "core/samples/SampleFile.h"
#include "core/samples/SampleFormat.h"
#include "core/system/FailureWords.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

TEST(Words, RangesAndFormatsByTheirNames)
{
    EXPECT_EQ(rangeNamed(u"unipolar"), Range::Unipolar);
    EXPECT_EQ(rangeNamed(u"bipolar"), Range::Bipolar);
    for (const char16_t* other : {u"auto", u"Unipolar", u"+5V", u""})
        EXPECT_EQ(rangeNamed(other), std::nullopt);
    EXPECT_EQ(rangeWord(Range::Bipolar), u"bipolar");
    EXPECT_EQ(formatNamed(u"csv"), SampleFormat::Csv);
    EXPECT_EQ(formatNamed(u"dat"), SampleFormat::Dat);
    EXPECT_EQ(formatNamed(u"txt"), std::nullopt);

    SampleArray samples{};
    samples[0] = -32768 + 5;
    EXPECT_EQ(formatted(samples, Range::Bipolar, SampleFormat::Dat), SampleFile::encode(samples));
    EXPECT_TRUE(formatted(samples, Range::Bipolar, SampleFormat::Csv).startsWith("index,stored,code,volts\n1,-32763,-6,"));
}

TEST(Words, EachFailureInChineseAndInEnglish)
{
    const struct {
        Failure failure;
        const char16_t* chinese;
        const char* english;
    } rows[] = {
        {Failure(FailureKind::System, EACCES), u"没有权限", "Permission denied"},
        {Failure(FailureKind::PortNumber, 0, QStringLiteral("COM17")), u"端口号须在1到16之间", "port numbers run from 1 to 16"},
        {Failure(FailureKind::NoSuchPort, ENODEV), u"无此端口", "no such serial port"},
        {Failure(FailureKind::LineSettings, 0, QStringLiteral("9600")), u"通信参数无效", "invalid line settings \"9600\""},
        {Failure(FailureKind::NoAnswer, ETIMEDOUT), u"设备无响应", "the device does not answer"},
        {Failure(FailureKind::Device, 0, QStringLiteral("usb_open failed")), u"usb_open failed", "usb_open failed"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(chineseReason(row.failure), QString::fromUtf16(row.chinese));
        EXPECT_EQ(englishReason(row.failure), QString::fromLatin1(row.english));
    }
    EXPECT_EQ(chineseReason(EDOM), QStringLiteral("Numerical argument out of domain（错误 33）"));
}

} // namespace
