#pragma once

#include "core/converter/ControlLines.h"

#include <QString>

#include <array>

// One conversion over the control lines: the control word goes out on RTS under the DTR
// clock, 13 read-out cells come back on CTS, 65 line operations in all, with no wait of its
// own. The operations go to the lines as one frame, so a driver may run them in one transfer.
// Line errors pass to the caller unchanged.
class ConverterLink {
public:
    explicit ConverterLink(ControlLines& lines) : lines_(lines) {}

    // The result: 0..4095 when the fifth character of the word is "1"; a magnitude 0..2047
    // with its sign in SignFlag when it is "0"; 0 with SignFlag untouched otherwise.
    qint16 adc(const QString& controlWord);

    // The frame of a control word: control cells, the turn-around pulse, read-out cells.
    static LineFrame encode(const QString& controlWord);

    // While a Run lives, the next `conversions` calls of adc use one control word, so the
    // lines may convert ahead up to the run's end; what they converted ahead is dropped when
    // it ends, early or not.
    class Run {
    public:
        Run(ConverterLink& link, int conversions) : link_(link) { link_.planned_ = conversions; }
        ~Run();
        Run(const Run&) = delete;
        Run& operator=(const Run&) = delete;

    private:
        ConverterLink& link_;
    };

    // "+" or "-" as the last conversion left it; empty before the first.
    QString SignFlag;

    // Working state of a conversion; nothing reads it between conversions.
    std::array<qint16, 31> ReadoutBits{};
    qint16 BitWeight = 0;
    qint16 ConversionSum = 0;

private:
    void decode(const FrameReadout& readout, const QString& controlWord);

    ControlLines& lines_;
    int planned_ = 0; // conversions left in the current run, this one included
};
