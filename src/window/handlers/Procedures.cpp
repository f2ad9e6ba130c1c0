#include "window/handlers/Procedures.h"

qint16 ConversionProcedure::adc(const QString& cw)
{
    unsigned word = 0;
    for (qsizetype j = 0; j < 8; ++j)
        word = word << 1 | (j < cw.size() && cw[j] == u'1' ? 1u : 0u);
    const ConverterCells cells = link_.convert(ConverterLink::encode(std::uint8_t(word)));
    for (int k = 0; k < FrameReads; ++k)
        ReadoutBits[k] = qint16((cells.bits >> (FrameReads - 1 - k)) & 1u);

    const QChar range = cw.size() > 4 ? cw[4] : QChar();
    if (range != u'1' && range != u'0')
        return 0;
    const ConverterReading reading = ConverterReading::of(cells, range == u'1' ? Range::Unipolar : Range::Bipolar);
    SignFlag = reading.negative ? QStringLiteral("-") : QStringLiteral("+");
    return qint16(reading.magnitude);
}
