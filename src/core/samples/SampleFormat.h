#pragma once

#include "core/samples/Range.h"
#include "core/samples/Samples.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <optional>

// How a sweep is written out: the data file's records, or the CSV text of q390-dat csv.
enum class SampleFormat { Dat, Csv };

// "dat" or "csv", as the options name a format and as its files end.
QString formatWord(SampleFormat format);
// The format a word names; none for any other word.
std::optional<SampleFormat> formatNamed(QStringView word);
// The samples in the format, read in the range where the format needs one.
QByteArray formatted(const SampleArray& samples, Range range, SampleFormat format);
