#pragma once

#include "platform/ControlLines.h"

#include <QString>

#include <array>

// One conversion over the control lines: the control word goes out on RTS under the DTR
// clock, 13 read-out cells come back on CTS, 65 line operations in all, with no wait of its
// own. Line errors pass to the caller unchanged.
class ConverterLink {
public:
    explicit ConverterLink(ControlLines& lines) : lines_(lines) {}

    // The result: 0..4095 when the fifth character of the word is "1"; a magnitude 0..2047
    // with its sign in SignFlag when it is "0"; 0 with SignFlag untouched otherwise.
    qint16 adc(const QString& controlWord);

    // "+" or "-" as the last conversion left it; empty before the first.
    QString SignFlag;

    // Working state of a conversion; nothing reads it between conversions.
    std::array<qint16, 31> ReadoutBits{};
    qint16 BitWeight = 0;
    qint16 ConversionSum = 0;

private:
    ControlLines& lines_;
};
