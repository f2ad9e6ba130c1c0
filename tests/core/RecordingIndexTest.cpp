#include "core/samples/RecordingIndex.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Each row as read: a kept sweep as "number file channel range [source|link|note]", any other
// as its told line.
QStringList readBack(RecordingIndex& index)
{
    QStringList seen;
    for (IndexRow row; index.next(row);) {
        const IndexedSweep& s = row.sweep;
        seen << (row.kind == IndexRow::Kept ? QStringLiteral("%1 %2 ch%3 %4 [%5|%6|%7]")
                                                  .arg(s.number).arg(s.file).arg(s.channel).arg(rangeWord(s.range), s.source, s.link, s.note)
                                            : row.told());
    }
    return seen;
}

// Indexes as a spreadsheet, an older recorder, a killed one or a hostile hand leave them, and
// what the reader makes of each, worked out by hand.
TEST(RecordingIndex, ReadsRowsByColumnNameThroughQuotesAndLineEndsAndRefusesWhatLeadsOutOfTheFolder)
{
    const QByteArray head = "sweep,file,channel,range,source,note\n";
    const QByteArray longNote(RecordingIndex::MostRowBytes, 'x');
    const struct {
        QByteArray text;
        RecordingIndex::Outcome outcome;
        QStringList seen;
    } table[] = {
        {"sweep,file,channel,range,source,note\r\n1,a.dat,3,bipolar,COM1,\r\n2,b.dat,0,unipolar,\"COM\r\n2\",\"said \"\"so\"\"\"\r\n3,c.dat,1\r\n",
         RecordingIndex::Read,
         {"1 a.dat ch3 bipolar [COM1||]", "2 b.dat ch0 unipolar [COM\r\n2||said \"so\"]", "line 5: 3 cells where the header has 6"}},
        {"\xEF\xBB\xBFnote,range,channel,path,file,sweep\n\"a,\nb\",unipolar,7,modem-lines,x.dat,12\n,bipolar,0,,y.dat,13",
         RecordingIndex::Read, {"12 x.dat ch7 unipolar [|modem-lines|a,\nb]", "line 4: cut short"}},
        {head + "1,../../r1/x.dat,0,unipolar,,\n2,/etc/x.dat,0,unipolar,,\n3,C:x.dat,0,unipolar,,\n4,..,0,unipolar,,\n5,d\\x.dat,0,unipolar,,\n"
                "6,,,,,gone\n7,y.dat,8,unipolar,,\n",
         RecordingIndex::Read,
         {"line 2: its file ../../r1/x.dat is not in the folder", "line 3: its file /etc/x.dat is not in the folder",
          "line 4: its file C:x.dat is not in the folder", "line 5: its file .. is not in the folder",
          "line 6: its file d\\x.dat is not in the folder", "line 7: sweep 6 was not kept: gone",
          "line 8: no sweep number, channel 0 to 7 and range where the header names them"}},
        {head + "1,a.dat,0,unipolar,," + longNote + "\n2,b.dat,0,unipolar,,\n", RecordingIndex::Read,
         {"line 2: longer than the 64 KiB a row may have", "2 b.dat ch0 unipolar [||]"}},
        {"sweep,file,start,sec", RecordingIndex::Begun, {}},
        {"", RecordingIndex::Begun, {}},
        {"sweep,file,channel\n1,a.dat,0\n", RecordingIndex::NotAnIndex, {}},
    };
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    for (const auto& row : table) {
        SCOPED_TRACE(row.text.left(60).toStdString());
        QFile file(dir.filePath(QLatin1String(RecordingIndex::FileName)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(row.text) == row.text.size());
        file.close();
        RecordingIndex index(folder);
        EXPECT_EQ(index.outcome(), row.outcome);
        EXPECT_EQ(readBack(index), row.seen);
    }
    // Sparse, so that it costs no disk.
    QFile huge(dir.filePath(QLatin1String(RecordingIndex::FileName)));
    ASSERT_TRUE(huge.resize(RecordingIndex::MostBytes + 1));
    const RecordingIndex index(folder);
    EXPECT_EQ(index.outcome(), RecordingIndex::TooLarge);
    EXPECT_EQ(index.refusal(), QStringLiteral("17179869185 bytes, more than an index may have (16 GiB)"));
}

// A row goes into an older recording in that recording's own columns, cells quoted where needed.
TEST(RecordingIndex, ARowFollowsTheHeaderOfTheFileItGoesInto)
{
    const std::optional<IndexHeader> older = IndexHeader::named({"sweep", "file", "path", "channel", "range", "note", "extra"});
    ASSERT_TRUE(older);
    IndexedSweep s;
    s.number = 9;
    s.file = QStringLiteral("sweep-00000009-ch3.dat");
    s.channel = 3;
    s.range = Range::Bipolar;
    s.link = QStringLiteral("modem-lines");
    s.note = QStringLiteral("a \"b\", c");
    EXPECT_EQ(older->row(s), "9,sweep-00000009-ch3.dat,modem-lines,3,bipolar,\"a \"\"b\"\", c\",\n");
    EXPECT_EQ(older->unknownRow(10, QStringLiteral("gone")), "10,,,,,gone,\n");
}

} // namespace
