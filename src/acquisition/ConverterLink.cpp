#include "acquisition/ConverterLink.h"

qint16 ConverterLink::adc(const QString& cw)
{
    ConversionSum = 0;

    // Control cells: a "1" is sent by releasing RTS; anything else, or a missing
    // character of a short word, by asserting it.
    for (qsizetype j = 0; j < 8; ++j) {
        lines_.setDtr(false);
        lines_.setRts(!(j < cw.size() && cw[j] == u'1'));
        lines_.setDtr(true);
    }

    // Turn-around pulse.
    lines_.setRts(false);
    lines_.setRts(true);

    // Read-out cells 0..12, each sampled after a full clock pulse; CTS released is a 1.
    for (int k = 0; k <= 12; ++k) {
        lines_.setDtr(false);
        lines_.setDtr(true);
        ReadoutBits[k] = lines_.readCts() ? 0 : 1;
    }

    const QChar range = cw.size() > 4 ? cw[4] : QChar();
    BitWeight = 2048;
    for (int k = 1; k <= 12; ++k) {
        if (range == u'1') {
            SignFlag = QStringLiteral("+");
            ConversionSum = qint16(ConversionSum + ReadoutBits[k] * BitWeight);
        }
        if (range == u'0') {
            // Bipolar: cell 1 is the sign; a negative code comes back as the complement of
            // cells 2..12 with no 1 added, so its magnitude is -code - 1.
            if (ReadoutBits[1] == 0) {
                SignFlag = QStringLiteral("+");
                ConversionSum = qint16(ConversionSum + ReadoutBits[k] * BitWeight);
            } else {
                ConversionSum = qint16(ConversionSum + (1 - ReadoutBits[k]) * BitWeight);
                SignFlag = QStringLiteral("-");
            }
        }
        BitWeight = qint16(BitWeight / 2);
    }
    return ConversionSum;
}
