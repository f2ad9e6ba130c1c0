#include "core/converter/ConverterLink.h"

LineFrame ConverterLink::encode(const QString& cw)
{
    LineFrame frame{};
    int n = 0;
    // Control cells: a "1" is sent by releasing RTS; anything else, or a missing
    // character of a short word, by asserting it.
    for (qsizetype j = 0; j < 8; ++j) {
        frame[n++] = LineOp::DtrReleased;
        frame[n++] = j < cw.size() && cw[j] == u'1' ? LineOp::RtsReleased : LineOp::RtsAsserted;
        frame[n++] = LineOp::DtrAsserted;
    }

    // Turn-around pulse.
    frame[n++] = LineOp::RtsReleased;
    frame[n++] = LineOp::RtsAsserted;

    // Read-out cells 0..12, each sampled after a full clock pulse.
    for (int k = 0; k <= 12; ++k) {
        frame[n++] = LineOp::DtrReleased;
        frame[n++] = LineOp::DtrAsserted;
        frame[n++] = LineOp::ReadCts;
    }
    return frame;
}

qint16 ConverterLink::adc(const QString& cw)
{
    const int ahead = planned_ > 1 ? planned_ - 1 : 0;
    if (planned_ > 0)
        --planned_;
    ConversionSum = 0;
    decode(lines_.runFrame(encode(cw), ahead), cw);
    return ConversionSum;
}

ConverterLink::Run::~Run()
{
    link_.planned_ = 0;
    link_.lines_.dropAhead();
}

void ConverterLink::decode(const FrameReadout& readout, const QString& cw)
{
    // CTS released is a 1.
    for (int k = 0; k <= 12; ++k)
        ReadoutBits[k] = readout[k] ? 0 : 1;

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
}
