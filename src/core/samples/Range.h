#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// The converter's input range. The data file does not record it.
enum class Range { Unipolar, Bipolar };

// The range as the tools and the Python module name it in options and columns.
inline QString rangeWord(Range range)
{
    return range == Range::Bipolar ? QStringLiteral("bipolar") : QStringLiteral("unipolar");
}

// The range a word names; none for any other word.
inline std::optional<Range> rangeNamed(QStringView word)
{
    if (word == u"unipolar")
        return Range::Unipolar;
    if (word == u"bipolar")
        return Range::Bipolar;
    return std::nullopt;
}

// The word that leaves the range to the records, where a file's range is asked for.
inline constexpr QStringView AutomaticRange = u"auto";
