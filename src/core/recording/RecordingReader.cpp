#include "core/recording/RecordingReader.h"

#include "core/recording/FolderReader.h"
#include "core/recording/OneFileReader.h"
#include "core/system/FileNames.h"

#include <QFileInfo>

std::unique_ptr<RecordingReader> RecordingReader::open(const QByteArray& path)
{
    if (QFileInfo(nameText(path)).isDir())
        return std::make_unique<FolderReader>(path);
    return std::make_unique<OneFileReader>(path);
}

std::optional<long long> RecordingReader::find(long long number) const
{
    long long low = 0, high = size();
    while (low < high) {
        const long long middle = low + (high - low) / 2;
        if (sweep(middle).number < number)
            low = middle + 1;
        else
            high = middle;
    }
    if (low < size() && sweep(low).number == number)
        return low;
    return std::nullopt;
}
