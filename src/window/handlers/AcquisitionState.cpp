#include "window/handlers/AcquisitionState.h"

#include "core/converter/ControlWord.h"

RangeModeText& RangeModeText::operator=(const QString& text)
{
    range_ = text == u"1" ? std::optional(Range::Unipolar) : text == u"0" ? std::optional(Range::Bipolar) : std::nullopt;
    return *this;
}

QString RangeModeText::text() const
{
    return range_ ? bitText(ControlWord::rangeBit(*range_), 1) : QString();
}

QString bitText(unsigned bits, int count)
{
    QString text(count, u'0');
    for (int n = 0; n < count; ++n)
        if ((bits >> (count - 1 - n)) & 1u)
            text[n] = u'1';
    return text;
}
