#pragma once

#include "core/converter/ConverterLink.h"

#include <QString>

#include <vector>

// A line operation as the converter's side sees it: 'R' (RTS), 'D' (DTR) or 'C' (a CTS read),
// and its level: asserted, or for C the level read.
struct LineLevel {
    char line;
    bool level;
    bool operator==(const LineLevel&) const = default;
};

// The 65 operations of one conversion written out by hand: for each of the 8 control cells DTR
// released, RTS at the cell's level, DTR asserted; the turn-around pulse (RTS released, then
// asserted); for each of the 13 read-out cells DTR released, DTR asserted, CTS read.
inline std::vector<LineLevel> handFrame(const std::vector<bool>& rtsAsserted, const std::vector<bool>& ctsAsserted)
{
    std::vector<LineLevel> ops;
    for (const bool rts : rtsAsserted) {
        ops.push_back({'D', false});
        ops.push_back({'R', rts});
        ops.push_back({'D', true});
    }
    ops.push_back({'R', false});
    ops.push_back({'R', true});
    for (const bool cts : ctsAsserted) {
        ops.push_back({'D', false});
        ops.push_back({'D', true});
        ops.push_back({'C', cts});
    }
    return ops;
}

// RTS for the eight control cells of a word: released for a "1", asserted for any other
// character or one the word is too short to have.
inline std::vector<bool> rtsFor(const QString& word)
{
    std::vector<bool> rts;
    for (int j = 0; j < 8; ++j)
        rts.push_back(!(j < word.size() && word[j] == u'1'));
    return rts;
}

// A control word written as "0"s and "1"s, first sent first, as the bits ControlWord makes.
inline std::uint8_t wordBits(const QString& word)
{
    unsigned bits = 0;
    for (const QChar c : word)
        bits = bits << 1 | (c == u'1' ? 1u : 0u);
    return std::uint8_t(bits);
}

// One conversion of a word written out, read in the range its fifth character names.
inline ConverterReading convertWord(ConverterLink& link, const QString& word)
{
    const ConverterCells cells = link.convert(ConverterLink::encode(wordBits(word)));
    return ConverterReading::of(cells, word[4] == u'1' ? Range::Unipolar : Range::Bipolar);
}

// CTS for read-out cells 0..12: cell 0, then bits b1..b12 most significant first (a 1 is CTS
// released).
inline std::vector<bool> ctsFor(unsigned bits12, bool cell0Asserted = true)
{
    std::vector<bool> cts{cell0Asserted};
    for (int k = 11; k >= 0; --k)
        cts.push_back(!((bits12 >> k) & 1u));
    return cts;
}
