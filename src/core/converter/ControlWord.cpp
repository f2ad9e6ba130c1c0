#include "core/converter/ControlWord.h"

namespace ControlWord {

namespace {

char16_t bit(int value, int n)
{
    return (value >> n) & 1 ? u'1' : u'0';
}

} // namespace

QString channelCode(int channel)
{
    const char16_t code[] = {bit(channel, 0), bit(channel, 2), bit(channel, 1)};
    return QString::fromUtf16(code, 3);
}

QString rangeCode(Range range)
{
    return range == Range::Unipolar ? QStringLiteral("1") : QStringLiteral("0");
}

std::optional<Range> rangeOf(const QString& code)
{
    if (code == u"1")
        return Range::Unipolar;
    if (code == u"0")
        return Range::Bipolar;
    return std::nullopt;
}

QString make(int channel, Range range)
{
    return QStringLiteral("1") + channelCode(channel) + rangeCode(range) + QStringLiteral("110");
}

ConversionRequest request(unsigned word)
{
    const auto sent = [word](int position) { return int((word >> (7 - position)) & 1u); };
    return {sent(1) | (sent(2) << 2) | (sent(3) << 1), sent(4) == 1};
}

} // namespace ControlWord
