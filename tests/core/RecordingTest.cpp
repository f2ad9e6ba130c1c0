#include "core/recording/Pacing.h"
#include "core/recording/RecordCode.h"
#include "core/recording/RecordingReader.h"
#include "core/recording/RecordingWriter.h"
#include "core/recording/Trigger.h"
#include "core/samples/SampleFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <hdf5.h>

#include <cerrno>

namespace {

// Codes worked out by hand: every record a sweep gives maps to its converter code, the others
// outside those codes, and every record comes back.
TEST(Recording, EachRecordHasACodeThatGivesItBack)
{
    const struct {
        qint16 stored;
        Range range;
        qint16 code;
    } rows[] = {
        {0, Range::Unipolar, 0},          {4095, Range::Unipolar, 4095},       {-32768, Range::Unipolar, -32768},
        {0x2005, Range::Unipolar, 0x2005}, {0, Range::Bipolar, 0},              {2047, Range::Bipolar, 2047},
        {-32768, Range::Bipolar, -1},      {-30721, Range::Bipolar, -2048},     {2048, Range::Bipolar, 2048},
        {-30720, Range::Bipolar, -32768},  {-1, Range::Bipolar, -2049},         {0x7FFF, Range::Bipolar, 0x7FFF},
    };
    for (const auto& row : rows)
        EXPECT_EQ(RecordCode::code(row.stored, row.range), row.code) << row.stored;
    for (const Range range : {Range::Unipolar, Range::Bipolar})
        for (int stored = -32768; stored <= 32767; ++stored)
            ASSERT_EQ(RecordCode::stored(RecordCode::code(qint16(stored), range), range), stored);
}

// Each row: a sweep of one record with others set, a level and a slope, and the crossing by hand.
TEST(Recording, ATriggerFindsTheFirstCrossingTheWayAsked)
{
    const struct {
        Range range;
        qint16 all;
        std::vector<std::pair<int, qint16>> set;
        double level;
        Trigger::Slope slope;
        std::optional<int> crossing;
    } rows[] = {
        {Range::Unipolar, 1000, {{10, 2000}}, 2.0, Trigger::Rising, 10},  // 1.22 V to 2.44 V
        {Range::Unipolar, 1000, {{10, 2000}}, 2.0, Trigger::Falling, 11},
        {Range::Unipolar, 0, {{5, 2048}}, 2.5, Trigger::Rising, 5},       // reaching the level is enough
        {Range::Unipolar, 0, {{0, 4000}}, 1.0, Trigger::Rising, {}},      // starts above it
        {Range::Unipolar, 0, {{0, 4000}}, 1.0, Trigger::Falling, 1},
        {Range::Bipolar, -32768, {{100, 0}}, 0.0, Trigger::Rising, 100},  // a negative 0 is below 0 V
        {Range::Bipolar, 0, {{7, -31745}}, -1.0, Trigger::Falling, 7},    // code -1024, -1 V
        {Range::Bipolar, 0, {}, 0.0, Trigger::Rising, {}},
    };
    for (const auto& row : rows) {
        SampleArray samples;
        samples.fill(row.all);
        for (const auto& [n, stored] : row.set)
            samples[n] = stored;
        EXPECT_EQ(firstCrossing(samples, row.range, {row.level, row.slope}), row.crossing) << row.level;
    }
    EXPECT_TRUE(withinRange(-2.0, Range::Bipolar));
    EXPECT_FALSE(withinRange(2.0, Range::Bipolar));
    EXPECT_FALSE(withinRange(-0.1, Range::Unipolar));
}

TEST(Recording, PacingGivesEachSweepTheFirstSlotNotPastAndSkipsTheMissedOnes)
{
    Pacing pacing(0.5);
    const struct {
        double now;
        long long index;
        double at;
        long long skipped;
    } rows[] = {{0.01, 0, 0.01, 0}, {0.2, 1, 0.51, 0}, {0.5, 2, 1.01, 0}, {1.6, 4, 2.01, 1}, {3.0, 6, 3.01, 1}, {3.01, 7, 3.51, 0}};
    for (const auto& row : rows) {
        const Pacing::Slot slot = pacing.next(row.now);
        EXPECT_EQ(slot.index, row.index) << row.now;
        EXPECT_NEAR(slot.at, row.at, 1e-9) << row.now;
        EXPECT_EQ(slot.skipped, row.skipped) << row.now;
    }
}

bool opensPlainly(const QString& path)
{
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    const hid_t file = H5Fopen(QFile::encodeName(path).constData(), H5F_ACC_RDONLY, H5P_DEFAULT);
    return file >= 0 && H5Fclose(file) >= 0;
}

void expectSweep(const RecordingReader& reader, long long place, const RecordedSweep& written, const SampleArray& records)
{
    const RecordedSweep read = reader.sweep(place);
    EXPECT_EQ(read.number, written.number);
    EXPECT_EQ(read.start, written.start.toUTC());
    EXPECT_EQ(read.seconds, written.seconds);
    EXPECT_EQ(read.channel, written.channel);
    EXPECT_EQ(read.range, written.range);
    EXPECT_EQ(read.link, written.link);
    EXPECT_EQ(read.trigger, written.trigger);
    EXPECT_EQ(reader.samples(place), records) << place;
}

// Records no sweep produces among those a sweep does, read back exactly; a file copied while
// written (as a writer that died leaves it) read and continued; compressed or not.
TEST(Recording, OneFileGivesBackWhatWasWrittenAndIsContinuedAfterItsWriterDied)
{
    for (const bool compress : {false, true}) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("run.h5")), dead = dir.filePath(QStringLiteral("dead.h5"));
        SampleArray unipolar, bipolar;
        for (int n = 0; n < SweepLength; ++n) {
            unipolar[n] = qint16(n % 4096);
            bipolar[n] = qint16(n % 2 ? n % 2048 : n % 2048 - 32768);
        }
        for (const qint16 odd : {-32768, 0x1FFF, 0x2005})
            unipolar[odd & 0xFF] = odd;
        for (const qint16 odd : {0x2005, -1, 2048, 0x7FFF, -30720})
            bipolar[odd & 0xFF] = odd;
        const QDateTime start = QDateTime::fromString(QStringLiteral("2026-12-07T15:47:41.123+01:00"), Qt::ISODateWithMs);
        const RecordedSweep first{1, start, 0.004, 3, Range::Unipolar, QStringLiteral("simulator"), {}, {}};
        // A note longer than its field: cut where a character ends (1 + 127 × 2 bytes of 256).
        const RecordedSweep second{2, start.addSecs(1), 0.005, 5, Range::Bipolar, QStringLiteral("ftdi-bitbang"),
                                   QStringLiteral("a") + QString(200, QChar(0xE9)), 4000};

        RecordingWriter writer(QFile::encodeName(path), RecordingWriter::Create, {QStringLiteral("test"), QStringLiteral("1"), compress});
        writer.append(first, unipolar);
        writer.append(second, bipolar);
        writer.flush();
        ASSERT_TRUE(QFile::copy(path, dead));
        try {
            RecordingWriter(QFile::encodeName(path), RecordingWriter::Continue, {});
            ADD_FAILURE() << "a second writer";
        } catch (const RecordingError& busy) {
            EXPECT_EQ(busy.errorNumber(), EAGAIN);
        }
        writer.append({3, start.addSecs(2), 0.004, 0, Range::Unipolar, QStringLiteral("simulator"), {}, {}}, unipolar);
        writer.close();
        EXPECT_TRUE(opensPlainly(path));
        EXPECT_EQ(RecordingReader::open(QFile::encodeName(path))->find(3), 2);

        EXPECT_FALSE(opensPlainly(dead));
        std::unique_ptr<RecordingReader> reader = RecordingReader::open(QFile::encodeName(dead));
        ASSERT_EQ(reader->size(), 2);
        expectSweep(*reader, 0, first, unipolar);
        expectSweep(*reader, 1, second, bipolar);
        EXPECT_EQ(reader->sweep(1).note, QStringLiteral("a") + QString(127, QChar(0xE9)));
        EXPECT_EQ(reader->find(3), std::nullopt);
        reader.reset(); // the library keeps one open file a process
        RecordingWriter continued(QFile::encodeName(dead), RecordingWriter::Continue, {});
        EXPECT_FALSE(continued.mended().isEmpty());
        EXPECT_EQ(continued.lastNumber(), 2);
        continued.append({3, start.addSecs(3), 0.004, 1, Range::Bipolar, QStringLiteral("simulator"), {}, 0}, bipolar);
        continued.close();
        EXPECT_TRUE(opensPlainly(dead));
        const std::unique_ptr<RecordingReader> again = RecordingReader::open(QFile::encodeName(dead));
        ASSERT_EQ(again->size(), 3);
        expectSweep(*again, 1, second, bipolar);
        EXPECT_EQ(again->sweep(2).trigger, 0);
        EXPECT_EQ(again->samples(2), bipolar);
    }
}

TEST(Recording, AFolderIsDescribedByItsIndexAndReadFromItsFiles)
{
    QTemporaryDir dir;
    SampleArray records;
    records.fill(-32768);
    QFile dat(dir.filePath(QStringLiteral("sweep-00000001-ch2.dat"))), index(dir.filePath(QStringLiteral("index.csv")));
    ASSERT_TRUE(dat.open(QIODevice::WriteOnly) && dat.write(SampleFile::encode(records)) == SampleFile::Size);
    dat.close();
    ASSERT_TRUE(index.open(QIODevice::WriteOnly));
    index.write("sweep,file,start,seconds,channel,range,source,link,min_v,max_v,mean_v,note,trigger\n"
                "1,sweep-00000001-ch2.dat,2026-12-07T15:47:41.123+01:00,0.004,2,bipolar,sim,simulator,0,0,0,\"a, b\",17\n"
                "2,,2026-12-07T15:47:42.000+01:00,0.001,0,bipolar,sim,simulator,,,,Input/output error,\n"
                "2,sweep-00000002-ch0.dat,2026-12-07T15:47:43.000+01:00,0.004,0,bipolar,sim,simulator,0,0,0,,\n");
    index.close();
    const std::unique_ptr<RecordingReader> reader = RecordingReader::open(QFile::encodeName(dir.path()));
    ASSERT_EQ(reader->size(), 2);
    const RecordedSweep s = reader->sweep(0);
    EXPECT_EQ(s.start, QDateTime(QDate(2026, 12, 7), QTime(14, 47, 41, 123), Qt::UTC));
    EXPECT_EQ(s.seconds, 0.004);
    EXPECT_EQ(s.channel, 2);
    EXPECT_EQ(s.range, Range::Bipolar);
    EXPECT_EQ(s.link, QStringLiteral("simulator"));
    EXPECT_EQ(s.note, QStringLiteral("a, b"));
    EXPECT_EQ(s.trigger, 17);
    EXPECT_EQ(reader->sweep(1).trigger, std::nullopt);
    EXPECT_EQ(reader->samples(0), records);
    EXPECT_EQ(reader->lost().size(), 1);
    try {
        reader->samples(1);
        ADD_FAILURE() << "a file that is not there";
    } catch (const RecordingError& missing) {
        EXPECT_EQ(missing.errorNumber(), ENOENT);
    }
}

} // namespace
