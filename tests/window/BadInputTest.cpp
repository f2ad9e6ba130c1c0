#include "support/StorageRig.h"

#include <random>

#include <sys/stat.h>

namespace {

// Random files of every size around a data file's, random contents, folders, a FIFO, a device
// and /proc paths: each file that can be read is replayed (a short one with its missing records
// 0 and one box saying so), anything else refused with one box, and nothing else happens.
TEST(BadInput, EveryFileIsReplayedOrRefusedWithABoxAndNothingElseHappens)
{
    std::mt19937 random(8);
    std::vector<std::function<QString(const ScratchDir&)>> makers;
    for (int n = 0; n < 60; ++n) {
        const qsizetype size = n < 6 ? qsizetype(SampleFile::Size - 3 + n) : qsizetype(random() % 20001);
        QByteArray bytes(size, Qt::Uninitialized);
        for (char& byte : bytes)
            byte = char(random());
        makers.push_back([bytes](const ScratchDir& d) { put(d.path("r.dat"), bytes); return d.path("r.dat"); });
    }
    makers.push_back([](const ScratchDir& d) { QDir().mkpath(d.path("f.dat/g")); return d.path("f.dat"); });
    makers.push_back([](const ScratchDir& d) { mkfifo(qPrintable(d.path("p.dat")), 0600); return d.path("p.dat"); });
    makers.push_back([](const ScratchDir&) { return QStringLiteral("/dev/zero"); });
    makers.push_back([](const ScratchDir&) { return QStringLiteral("/proc/self/mem"); });
    makers.push_back([](const ScratchDir&) { return QStringLiteral("/proc/self/status"); });
    makers.push_back([](const ScratchDir& d) { QFile::link(d.path("none.dat"), d.path("l.dat")); return d.path("l.dat"); });

    for (std::size_t n = 0; n < makers.size(); ++n) {
        SCOPED_TRACE(n);
        Rig rig;
        const QString path = makers[n](rig.scratch);
        const QFileInfo info(path);
        const bool readable = info.isFile() && path != u"/proc/self/mem";
        const QByteArray contents = readable && !path.startsWith(u"/proc") ? bytesOf(path) : QByteArray();
        const QStringList entries = rig.scratch.entries();
        rig.state.RangeMode = Range::Bipolar;
        rig.sweepWith(false, [](int i) { return i % 2048; });
        const SampleArray before = rig.state.SampleBuffer;
        const std::size_t ops = rig.plot.ops.size();

        rig.loadFile(path);

        EXPECT_EQ(rig.scratch.entries(), entries);
        if (!contents.isEmpty())
            EXPECT_EQ(bytesOf(path), contents);
        if (readable) {
            if (!contents.isEmpty()) {
                EXPECT_EQ(SampleFile::encode(rig.state.SampleBuffer), (contents + QByteArray(SampleFile::Size, '\0')).first(SampleFile::Size));
                EXPECT_EQ(rig.boxes.calls.size(), contents.size() < SampleFile::Size ? 1u : 0u);
            }
            EXPECT_EQ(rig.trace().size(), std::size_t(SweepLength));
            EXPECT_TRUE(rig.options.selected[HoldOption]);
            EXPECT_FALSE(rig.timer.enabled);
        } else {
            ASSERT_EQ(rig.boxes.calls.size(), 1u);
            EXPECT_TRUE(rig.boxes.calls[0].text.startsWith(QStringLiteral("无法读取文件") + path + QStringLiteral("：")));
            EXPECT_EQ(rig.boxes.calls[0].title, u"取盘");
            EXPECT_EQ(rig.state.SampleBuffer, before);
            EXPECT_EQ(rig.plot.ops.size(), ops);
            EXPECT_TRUE(rig.options.selected[ScanOption]);
            EXPECT_TRUE(rig.timer.enabled);
        }
    }
}

// Even root cannot create a file in /proc.
TEST(BadInput, SavingIntoAFolderThatCannotBeWrittenShowsABoxAndWritesNothing)
{
    Rig rig;
    ASSERT_TRUE(QDir::setCurrent(QStringLiteral("/proc/self")));
    rig.save.Command3_Click();
    ASSERT_EQ(rig.boxes.calls.size(), 2u);
    EXPECT_TRUE(rig.boxes.calls[1].text.startsWith(QStringLiteral("无法保存文件") + SavedName + QStringLiteral("：")));
    EXPECT_EQ(rig.boxes.calls[1].style, MsgStyle::Exclamation);
    EXPECT_FALSE(QFileInfo::exists(SavedName));
}

} // namespace
