#include "dat/Session.h"

#include "core/samples/Readings.h"
#include "dat/Stop.h"

#include <QtEndian>

#include <zip.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <algorithm>
#include <vector>

namespace DatTool {
namespace {

constexpr qint64 SweepBytes = qint64(SweepLength) * 4;

// One channel's floats, made as libzip reads them: a sweep's worth at a time.
class ChannelFile {
public:
    ChannelFile(const std::vector<DatSweep>& sweeps, std::optional<int> channel) : sweeps_(sweeps), channel_(channel) {}

    static zip_int64_t call(void* self, void* data, zip_uint64_t length, zip_source_cmd_t command)
    {
        return static_cast<ChannelFile*>(self)->answer(data, length, command);
    }

private:
    zip_int64_t answer(void* data, zip_uint64_t length, zip_source_cmd_t command)
    {
        switch (command) {
        case ZIP_SOURCE_OPEN:
            position_ = 0;
            return 0;
        case ZIP_SOURCE_READ:
            return read(static_cast<char*>(data), qint64(length));
        case ZIP_SOURCE_CLOSE:
            return 0;
        case ZIP_SOURCE_STAT: {
            auto* stat = static_cast<zip_stat_t*>(data);
            zip_stat_init(stat);
            stat->size = zip_uint64_t(SweepBytes * qint64(sweeps_.size()));
            stat->valid |= ZIP_STAT_SIZE;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&error_, data, length);
        case ZIP_SOURCE_FREE:
            delete this;
            return 0;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                  ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        default:
            zip_error_set(&error_, ZIP_ER_OPNOTSUPP, 0);
            return -1;
        }
    }

    zip_int64_t read(char* data, qint64 length)
    {
        const qint64 end = std::min(position_ + length, SweepBytes * qint64(sweeps_.size()));
        const qint64 from = position_;
        while (position_ < end) {
            const qint64 slot = position_ / SweepBytes;
            if (slot != blockSlot_)
                fill(slot);
            const qint64 offset = position_ % SweepBytes;
            const qint64 part = std::min(end - position_, SweepBytes - offset);
            std::memcpy(data + (position_ - from), block_.constData() + offset, std::size_t(part));
            position_ += part;
        }
        return position_ - from;
    }

    void fill(qint64 slot)
    {
        const DatSweep& sweep = sweeps_[std::size_t(slot)];
        block_.resize(SweepBytes);
        const bool ours = sweep.channel() == channel_;
        const SampleArray records = ours ? sweep.records() : SampleArray{};
        for (int n = 0; n < SweepLength; ++n) {
            const float volts = ours ? float(reading(records[n], sweep.range).volts) : std::numeric_limits<float>::quiet_NaN();
            qToLittleEndian<float>(volts, block_.data() + 4 * n);
        }
        blockSlot_ = slot;
    }

    const std::vector<DatSweep>& sweeps_;
    const std::optional<int> channel_;
    qint64 position_ = 0;
    QByteArray block_;
    qint64 blockSlot_ = -1;
    zip_error_t error_{};
};

// Channels in their order, the unknown one last.
std::vector<std::optional<int>> channelsOf(const std::vector<DatSweep>& sweeps)
{
    std::vector<std::optional<int>> channels;
    for (const DatSweep& sweep : sweeps)
        channels.push_back(sweep.channel());
    const auto key = [](const std::optional<int>& c) { return c.value_or(std::numeric_limits<int>::max()); };
    std::sort(channels.begin(), channels.end(), [&](const auto& a, const auto& b) { return key(a) < key(b); });
    channels.erase(std::unique(channels.begin(), channels.end()), channels.end());
    return channels;
}

QByteArray metadata(const std::vector<DatSweep>& sweeps, const std::vector<std::optional<int>>& channels)
{
    double seconds = 0;
    qint64 timed = 0;
    for (const DatSweep& sweep : sweeps)
        if (sweep.seconds() && *sweep.seconds() > 0) {
            seconds += *sweep.seconds();
            timed += SweepLength;
        }
    // The libsigrok whose reader the layout was checked against (Debian 12's).
    QByteArray text = "[global]\nsigrok version=0.5.2\n\n[device 1]\n";
    if (timed > 0)
        text += "samplerate=" + QByteArray::number(std::max<qint64>(1, std::llround(timed / seconds))) + '\n';
    text += "total analog=" + QByteArray::number(qsizetype(channels.size())) + '\n';
    int n = 1;
    for (const std::optional<int>& channel : channels)
        text += "analog" + QByteArray::number(n++) + "=CH" + (channel ? QByteArray::number(*channel) : QByteArray("?")) + '\n';
    return text;
}

} // namespace

QByteArray sigrokSession(const std::vector<DatSweep>& sweeps, const QString& output)
{
    const std::vector<std::optional<int>> channels = channelsOf(sweeps);
    const QByteArray version = "2";
    const QByteArray meta = metadata(sweeps, channels);
    const auto fail = [&](zip_error_t* error) {
        return failure(output, QStringLiteral("the session could not be made: %1").arg(QString::fromUtf8(zip_error_strerror(error))));
    };

    zip_error_t error;
    zip_error_init(&error);
    const std::unique_ptr<zip_source_t, decltype(&zip_source_free)> archive(zip_source_buffer_create(nullptr, 0, 0, &error), zip_source_free);
    zip_t* zip = archive ? zip_open_from_source(archive.get(), ZIP_TRUNCATE, &error) : nullptr;
    if (!zip)
        throw fail(&error);
    zip_source_keep(archive.get());
    // Each source belongs to the archive once added; zip_discard frees what it holds.
    const auto given = [&](zip_source_t* source, const char* name) {
        if (source && zip_file_add(zip, name, source, ZIP_FL_ENC_UTF_8) >= 0)
            return;
        zip_source_free(source);
        const Stop stop = fail(zip_get_error(zip));
        zip_discard(zip);
        throw stop;
    };
    given(zip_source_buffer(zip, version.constData(), zip_uint64_t(version.size()), 0), "version");
    given(zip_source_buffer(zip, meta.constData(), zip_uint64_t(meta.size()), 0), "metadata");
    for (std::size_t n = 0; n < channels.size(); ++n) {
        auto* file = new ChannelFile(sweeps, channels[n]);
        zip_source_t* source = zip_source_function(zip, &ChannelFile::call, file);
        if (!source)
            delete file;
        given(source, QByteArray("analog-1-" + QByteArray::number(qsizetype(n + 1)) + "-1").constData());
    }
    if (zip_close(zip) != 0) {
        const Stop stop = fail(zip_get_error(zip));
        zip_discard(zip);
        throw stop;
    }

    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_source_open(archive.get()) != 0 || zip_source_stat(archive.get(), &stat) != 0)
        throw fail(zip_source_error(archive.get()));
    QByteArray bytes(qsizetype(stat.size), Qt::Uninitialized);
    const zip_int64_t read = zip_source_read(archive.get(), bytes.data(), stat.size);
    zip_source_close(archive.get());
    if (read != zip_int64_t(stat.size))
        throw fail(zip_source_error(archive.get()));
    return bytes;
}

} // namespace DatTool
