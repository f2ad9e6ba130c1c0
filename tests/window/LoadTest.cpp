#include "support/StorageRig.h"

#include "window/toolkit/QtWindowSystem.h"

#include <QApplication>
#include <QFileDialog>
#include <QTimer>

#include <sys/stat.h>

namespace {

TEST(Load, AsksForADataFileAndCancelChangesNothing)
{
    Rig rig;
    rig.sweepWith(false, [](int n) { return n % 300; });
    const auto before = rig.samples();
    const std::size_t ops = rig.plot.ops.size();
    rig.load.Command4_Click();

    ASSERT_EQ(rig.dialog.calls.size(), 1u);
    EXPECT_EQ(rig.dialog.calls[0].defaultSuffix, u"dat");
    EXPECT_EQ(rig.dialog.calls[0].title, u"打开文件");
    EXPECT_EQ(rig.dialog.calls[0].filter, u"数据文件(*.dat)|*.dat");
    EXPECT_EQ(rig.samples(), before);
    EXPECT_EQ(rig.plot.ops.size(), ops);
    EXPECT_TRUE(rig.timer.enabled);
    EXPECT_TRUE(rig.options.selected[ScanOption]);
    EXPECT_TRUE(rig.boxes.calls.empty());
}

TEST(Load, RefusesWhatIsNoFileToReadWithTheSystemsReasonAndChangesNothing)
{
    struct Case {
        const char* what;
        std::function<QString(const ScratchDir&)> make;
    };
    const Case cases[] = {
        {"through a file", [](const ScratchDir& d) { put(d.path("s.dat"), {}); return d.path("s.dat/x.dat"); }},
        {"link loop", [](const ScratchDir& d) { QFile::link(d.path("l.dat"), d.path("l.dat")); return d.path("l.dat"); }},
        {"missing", [](const ScratchDir& d) { return d.path("m.dat"); }},
        {"folder", [](const ScratchDir& d) { QDir().mkdir(d.path("f.dat")); return d.path("f.dat"); }},
        {"fifo", [](const ScratchDir& d) { mkfifo(qPrintable(d.path("p.dat")), 0600); return d.path("p.dat"); }},
        {"unreadable", [](const ScratchDir&) { return QStringLiteral("/proc/self/mem"); }},
    };
    // Opening the FIFO here would block as well.
    const auto contentsOf = [](const QString& path) { return QFileInfo(path).isFile() ? bytesOf(path) : QByteArray(); };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Rig rig;
        const QString path = c.make(rig.scratch);
        const QStringList entries = rig.scratch.entries();
        const QByteArray contents = contentsOf(path);
        rig.state.RangeMode = Range::Bipolar;
        rig.state.SampleBuffer.fill(-3);
        rig.options.select(ScanOption);
        const std::size_t ops = rig.plot.ops.size();

        rig.loadFile(path);

        ASSERT_EQ(rig.boxes.calls.size(), 1u);
        const MessageCall& box = rig.boxes.calls[0];
        const QString prefix = QStringLiteral("无法读取文件") + path + QStringLiteral("：");
        EXPECT_TRUE(box.text.startsWith(prefix) && box.text.size() > prefix.size()) << box.text.toStdString();
        EXPECT_EQ(box.title, u"取盘");
        EXPECT_EQ(box.style, MsgStyle::Exclamation);
        EXPECT_EQ(rig.samples(), std::vector<qint16>(SweepLength, -3));
        EXPECT_EQ(rig.plot.ops.size(), ops);
        EXPECT_TRUE(rig.timer.enabled);
        EXPECT_TRUE(rig.options.selected[ScanOption]);
        EXPECT_FALSE(rig.options.selected[HoldOption]);
        EXPECT_EQ(rig.scratch.entries(), entries);
        EXPECT_EQ(contentsOf(path), contents);
    }
}

TEST(Load, AShortFileIsLoadedWithTheMissingRecordsZeroAndABoxSaysSo)
{
    Rig rig;
    rig.state.SampleBuffer.fill(-3);
    put(rig.scratch.path("s.dat"), QByteArray::fromHex("e80301"));
    rig.loadFile(rig.scratch.path("s.dat"));
    ASSERT_EQ(rig.boxes.calls.size(), 1u);
    EXPECT_EQ(rig.boxes.calls[0], (MessageCall{QStringLiteral("文件%1只有3字节，其后的记录按0读取").arg(rig.scratch.path("s.dat")),
                                               QStringLiteral("取盘"), MsgStyle::Exclamation}));
    std::vector<qint16> expected{1000, 1};
    expected.resize(SweepLength);
    EXPECT_EQ(rig.samples(), expected);
}

TEST(Load, ReplaysTheVerySegmentsTheLiveSweepDrewInBothRanges)
{
    for (bool unipolar : {true, false}) {
        SCOPED_TRACE(unipolar ? "unipolar" : "bipolar");
        Rig rig;
        rig.sweepWith(unipolar, [unipolar](int n) { return (n * 37) % 4096 - (unipolar ? 0 : 2048); });
        const auto live = rig.trace();
        const auto stored = rig.samples();
        rig.save.Command3_Click();
        rig.sweepWith(unipolar, [](int) { return 7; });
        const int pumps = rig.pump.count;

        rig.loadFile(rig.scratch.path(SavedName));

        EXPECT_EQ(rig.samples(), stored);
        EXPECT_EQ(rig.trace(), live);
        EXPECT_EQ(rig.plot.sinceLastClear().size(), 114u + SweepLength); // on a fresh grid
        EXPECT_EQ(rig.pump.count - pumps, SweepLength);                  // a yield after every segment
        EXPECT_FALSE(rig.timer.enabled);
        EXPECT_TRUE(rig.options.selected[HoldOption]);
        EXPECT_FALSE(rig.options.selected[ScanOption]);
    }
}

TEST(Load, ReadsTheRecordsByTheRangeOfTheLastSweepTick)
{
    // 1000 "-", a unipolar 3000, "-" 0, bits 13 and 14 over 5, bits 13 to 15 over 7, 4095.
    const QByteArray file = records({-31768, 3000, -32768, 0x6005, qint16(0xE007), 4095});
    struct Case {
        Range range;
        int otherRangeOption;
        std::vector<int> heights;
        int zeroHeight;
    };
    const Case cases[] = {
        {Range::Unipolar, BipolarOption, {1000, 3000, 0, 5, 7, 4095}, 0},
        {Range::Bipolar, UnipolarOption, {1500, 5500, 2500, 2505, 2493, 6595}, 2500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(rangeWord(c.range).toStdString());
        Rig rig;
        put(SavedName, file);
        rig.state.RangeMode = c.range;
        rig.options.select(c.otherRangeOption); // the selected option does not count
        rig.loadFile(SavedName);

        const auto trace = rig.trace();
        ASSERT_EQ(trace.size(), std::size_t(SweepLength));
        EXPECT_EQ(trace.front(), (PlotLine{1, 5000, 2, float(5000 - c.heights[0])}));
        for (std::size_t n = 1; n < c.heights.size(); ++n)
            EXPECT_EQ(trace[n].y2, 5000 - c.heights[n]) << n;
        const float zero = 5000 - c.zeroHeight;
        EXPECT_EQ(trace.back(), (PlotLine{8192, zero, 8193, zero}));
    }

    Rig beforeAnyTick;
    put(SavedName, file);
    beforeAnyTick.loadFile(SavedName);
    EXPECT_EQ(SampleFile::encode(beforeAnyTick.state.SampleBuffer), file);
    EXPECT_TRUE(beforeAnyTick.options.selected[HoldOption]);
    EXPECT_EQ(beforeAnyTick.plot.sinceLastClear().size(), 114u); // the grid alone
}

// At start-up no sweep has read a range yet: the records tell it where only one range fits
// them, else the range selected holds; then Hold, as after a load.
TEST(Load, AFileNamedAtStartIsReadInTheRangeItsRecordsTellOrTheOneSelected)
{
    const struct {
        QByteArray file;
        bool unipolar;
        float firstY;
    } cases[] = {{records({3000, 100}), true, 2000}, {records({-31768, 100}), false, 3500}, {records({100, 2047}), false, 2400}};
    for (const auto& c : cases) {
        Rig rig;
        put(SavedName, c.file);
        rig.load.openAtStart(SavedName);
        EXPECT_TRUE(rig.options.selected[c.unipolar ? UnipolarOption : BipolarOption] && rig.options.selected[HoldOption]);
        EXPECT_EQ(rig.trace().at(0).y2, c.firstY);
    }
}

TEST(Load, LeavesTheFileAsItWasAndASaveAfterItWritesItsFirstBytes)
{
    Rig rig;
    QByteArray longer(20000, '\0');
    for (int i = 0; i < longer.size(); ++i)
        longer[i] = char(i * 7 % 251);
    put(QStringLiteral("long.dat"), longer);
    rig.state.RangeMode = Range::Bipolar;

    rig.loadFile(rig.scratch.path(QStringLiteral("long.dat")));
    rig.save.Command3_Click();

    EXPECT_EQ(bytesOf(QStringLiteral("long.dat")), longer);
    EXPECT_EQ(bytesOf(SavedName), longer.first(SampleFile::Size));
}

TEST(Load, DuringASweepEndsTheSweepWhereItStands)
{
    Rig rig;
    const QByteArray file = records({1000, -31768});
    put(SavedName, file);
    rig.pump.at[500] = [&] { rig.loadFile(SavedName); };
    rig.sweepWith(false, [](int) { return 1500; });

    EXPECT_EQ(rig.scripted.asked.size(), std::size_t(500));
    EXPECT_FALSE(rig.sweep.sweeping());
    EXPECT_EQ(SampleFile::encode(rig.state.SampleBuffer), file);
    const auto trace = rig.trace();
    ASSERT_EQ(trace.size(), std::size_t(SweepLength)); // the replay, nothing of the sweep over it
    EXPECT_EQ(trace[0].y2, 1500);
    EXPECT_EQ(trace[1].y2, 3500);
    EXPECT_TRUE(std::all_of(trace.begin() + 2, trace.end(), [](const PlotLine& l) { return l.y2 == 2500; }));
    EXPECT_FALSE(rig.timer.enabled);
    EXPECT_TRUE(rig.options.selected[HoldOption]);
}

TEST(Load, AReplayEndsWhenAnotherLoadTakesThePlotOrTheProgramEnds)
{
    Rig rig;
    rig.state.RangeMode = Range::Unipolar;
    put(QStringLiteral("a.dat"), records({100}));
    put(QStringLiteral("b.dat"), records({200}));
    rig.pump.at[300] = [&] { rig.loadFile(QStringLiteral("b.dat")); };
    rig.loadFile(QStringLiteral("a.dat"));
    EXPECT_EQ(rig.pump.count, 300 + SweepLength);
    ASSERT_EQ(rig.trace().size(), std::size_t(SweepLength));
    EXPECT_EQ(rig.trace().front().y2, 4800);

    Rig ending;
    ending.state.RangeMode = Range::Bipolar;
    put(QStringLiteral("a.dat"), records({100}));
    ending.pump.at[300] = [&] { ending.lifetime.endProgram(0); };
    ending.loadFile(QStringLiteral("a.dat"));
    EXPECT_EQ(ending.pump.count, 300);
}

// The real dialog: data files by default, only existing names, the name back when one is
// chosen and nothing on cancel.
TEST(QtFileDialogTest, OffersDataFilesAndGivesTheChosenNameOrNothing)
{
    ScratchDir scratch;
    put(scratch.path(QStringLiteral("a.dat")), records({}));
    QtFileDialog dialog;
    QFileDialog* shown = nullptr;
    QStringList filters;
    const auto answer = [&](std::function<void(QFileDialog&)> act) {
        QTimer::singleShot(0, [&, act] {
            shown = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(shown, nullptr);
            filters = shown->nameFilters();
            act(*shown);
        });
        return dialog.askOpenFileName(QStringLiteral("dat"), QStringLiteral("打开文件"), QStringLiteral("数据文件(*.dat)|*.dat"));
    };

    EXPECT_EQ(answer([](QFileDialog& d) {
                  EXPECT_EQ(d.windowTitle(), u"打开文件");
                  EXPECT_EQ(d.defaultSuffix(), u"dat");
                  EXPECT_EQ(d.fileMode(), QFileDialog::ExistingFile);
                  EXPECT_EQ(d.acceptMode(), QFileDialog::AcceptOpen);
                  d.reject();
              }),
              QString());
    EXPECT_EQ(filters, QStringList{QStringLiteral("数据文件(*.dat)")});

    EXPECT_EQ(answer([&](QFileDialog& d) {
                  d.selectFile(scratch.path(QStringLiteral("a.dat")));
                  static_cast<QDialog&>(d).accept(); // the Open button, with its checks
              }),
              scratch.path(QStringLiteral("a.dat")));
}

} // namespace
