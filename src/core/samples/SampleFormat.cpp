#include "core/samples/SampleFormat.h"

#include "core/samples/SampleCsv.h"
#include "core/samples/SampleFile.h"

QString formatWord(SampleFormat format)
{
    return format == SampleFormat::Csv ? QStringLiteral("csv") : QStringLiteral("dat");
}

std::optional<SampleFormat> formatNamed(QStringView word)
{
    for (const SampleFormat format : {SampleFormat::Dat, SampleFormat::Csv})
        if (word == formatWord(format))
            return format;
    return std::nullopt;
}

QByteArray formatted(const SampleArray& samples, Range range, SampleFormat format)
{
    return format == SampleFormat::Csv ? sampleCsv(samples, range) : SampleFile::encode(samples);
}
