#include "support/FileSizeLimit.h"
#include "support/FolderPermissions.h"
#include "support/StorageRig.h"

#include <optional>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

// While set, the disk fails to sync (EIO), which real files cannot be made to do: the
// program's fdatasync is this one, in front of the C library's.
static bool syncFails = false;
extern "C" int fdatasync(int fd)
{
    static const auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fdatasync"));
    if (!syncFails)
        return real(fd);
    errno = EIO;
    return -1;
}

// While set, a folder fails to sync, as only the sync after the rename does.
static bool folderSyncFails = false;
extern "C" int fsync(int fd)
{
    static const auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
    if (!folderSyncFails)
        return real(fd);
    errno = EIO;
    return -1;
}

namespace {

const QString Title = QStringLiteral("存盘");
const QString Overwrite = QStringLiteral("文件vx-2101435.dat已存在，是否覆盖？");
constexpr int OverwriteStyle = MsgStyle::YesNo + MsgStyle::Exclamation + MsgStyle::DefaultButton2;

TEST(Save, WritesEveryRecordLittleEndianInTheStoredEncoding)
{
    Rig rig;
    rig.save.Command3_Click();
    EXPECT_EQ(bytesOf(SavedName), QByteArray(16384, '\0')); // before any sweep

    rig.clock.time = rig.clock.time.addSecs(60);
    rig.state.SampleBuffer[0] = 1000;
    rig.state.SampleBuffer[1] = -31768;
    rig.state.SampleBuffer[2] = -32768;
    rig.state.SampleBuffer[SweepLength - 1] = 2047;
    rig.save.Command3_Click();
    const QByteArray bytes = bytesOf(QStringLiteral("vx-2101436.dat"));
    ASSERT_EQ(bytes.size(), 16384);
    EXPECT_EQ(bytes.first(6), QByteArray::fromHex("e803e8830080"));
    EXPECT_EQ(bytes.last(2), QByteArray::fromHex("ff07"));
    EXPECT_EQ(bytes.mid(6, 16376), QByteArray(16376, '\0'));
}

TEST(Save, AsksForTheNameWithTheTimerAlreadyOffAndNoWritesNothing)
{
    Rig rig;
    bool timerOnWhileAsked = true;
    rig.boxes.whileShown = [&] { timerOnWhileAsked = rig.timer.enabled; };
    rig.boxes.answers = {MsgAnswer::No};
    rig.save.Command3_Click();
    EXPECT_FALSE(timerOnWhileAsked);
    EXPECT_FALSE(rig.timer.enabled);
    EXPECT_EQ(rig.boxes.calls, (std::vector<MessageCall>{{QStringLiteral("存为文件vx-2101435.dat"), Title, MsgStyle::YesNo}}));
    EXPECT_TRUE(rig.scratch.entries().isEmpty());
    EXPECT_TRUE(rig.options.selected[ScanOption]); // Scan stays selected
}

TEST(Save, AnExistingFileIsReplacedWholeOnlyWhenTheUserAgrees)
{
    Rig rig;
    const QByteArray older(20000, char(0xAB));
    put(SavedName, older);
    const bool given = ::chown(qPrintable(SavedName), 1001, 2000) == 0; // as root
    rig.state.SampleBuffer.fill(5);

    rig.boxes.answers = {MsgAnswer::Yes}; // the overwrite box defaults to No
    rig.save.Command3_Click();
    ASSERT_EQ(rig.boxes.calls.size(), 2u);
    EXPECT_EQ(rig.boxes.calls[1], (MessageCall{Overwrite, Title, OverwriteStyle}));
    EXPECT_EQ(bytesOf(SavedName), older);

    rig.boxes.answers = {MsgAnswer::Yes, MsgAnswer::Yes};
    rig.save.Command3_Click();
    EXPECT_EQ(bytesOf(SavedName), SampleFile::encode(rig.state.SampleBuffer)); // no stale tail
    EXPECT_EQ(rig.scratch.entries(), QStringList{SavedName});
    struct stat owner {};
    ASSERT_EQ(::stat(qPrintable(SavedName), &owner), 0);
    EXPECT_EQ(std::pair(owner.st_uid, owner.st_gid), given ? std::pair(1001u, 2000u) : std::pair(geteuid(), getegid()));
}

TEST(Save, FailuresShowTheReasonKeepTheOldFileAndLeaveNoTemporaryFile)
{
    const auto expectFailureBox = [](const Rig& rig) {
        ASSERT_FALSE(rig.boxes.calls.empty());
        const MessageCall& box = rig.boxes.calls.back();
        const QString prefix = QStringLiteral("无法保存文件vx-2101435.dat：");
        EXPECT_TRUE(box.text.startsWith(prefix) && box.text.size() > prefix.size()) << box.text.toStdString();
        EXPECT_EQ(box.title, Title);
        EXPECT_EQ(box.style, MsgStyle::Exclamation);
    };
    {
        SCOPED_TRACE("current directory deleted");
        Rig rig;
        ASSERT_TRUE(QDir().mkdir(QStringLiteral("gone")));
        QDir::setCurrent(QStringLiteral("gone"));
        ASSERT_TRUE(QDir::root().rmdir(rig.scratch.path(QStringLiteral("gone"))));
        rig.save.Command3_Click();
        expectFailureBox(rig);
        EXPECT_TRUE(rig.scratch.entries().isEmpty());
        EXPECT_FALSE(QFile::exists(QStringLiteral("/") + SavedName));
    }
    {
        SCOPED_TRACE("name taken by a folder: no overwrite question");
        Rig rig;
        ASSERT_TRUE(QDir().mkdir(SavedName));
        rig.save.Command3_Click();
        expectFailureBox(rig);
        EXPECT_EQ(rig.boxes.calls.size(), 2u);
        EXPECT_EQ(rig.boxes.calls.back().text, QStringLiteral("无法保存文件vx-2101435.dat：这是一个文件夹"));
        EXPECT_TRUE(QFileInfo(SavedName).isDir());
        EXPECT_EQ(rig.scratch.entries(), QStringList{SavedName});
    }
    {
        SCOPED_TRACE("write stops part-way");
        Rig rig;
        const QByteArray older(20000, char(0xAB));
        put(SavedName, older);
        rig.state.SampleBuffer.fill(5);
        rig.boxes.answers = {MsgAnswer::Yes, MsgAnswer::Yes};
        {
            FileSizeLimit limit(4096);
            rig.save.Command3_Click();
        }
        expectFailureBox(rig);
        EXPECT_EQ(rig.boxes.calls.back().text, QStringLiteral("无法保存文件vx-2101435.dat：文件过大"));
        EXPECT_EQ(bytesOf(SavedName), older);
        EXPECT_EQ(rig.scratch.entries(), QStringList{SavedName});
    }
    {
        SCOPED_TRACE("the folder fails to sync once the new file has the name: the box says so");
        Rig rig;
        put(SavedName, "older");
        rig.boxes.answers = {MsgAnswer::Yes, MsgAnswer::Yes};
        folderSyncFails = true;
        rig.save.Command3_Click();
        folderSyncFails = false;
        EXPECT_EQ(rig.boxes.calls.back().text,
                  QStringLiteral("已保存文件vx-2101435.dat，但无法确认它已写入磁盘，断电后可能丢失：输入/输出错误"));
        EXPECT_EQ(bytesOf(SavedName), SampleFile::encode(rig.state.SampleBuffer));
    }
    {
        SCOPED_TRACE("a file that takes the free name while the save waits for the sweep: never asked about, kept");
        Rig rig;
        rig.pump.at[10] = [&] { rig.save.Command3_Click(); };
        rig.pump.at[20] = [&] { put(SavedName, "another program's"); };
        rig.sweepWith(false, [](int) { return 5; });
        EXPECT_EQ(rig.boxes.calls.back().text, QStringLiteral("无法保存文件vx-2101435.dat：文件已存在"));
        EXPECT_EQ(bytesOf(SavedName), "another program's");
    }
}

TEST(Save, AWritableFileInAFolderThatTakesNoNewFileIsWrittenInPlaceAndAnyFailedWriteKeepsItByteForByte)
{
    Rig rig;
    const QByteArray older(20000, char(0xAB));
    put(SavedName, older);
    rig.state.SampleBuffer.fill(5);
    for (const bool inPlace : {false, true}) {
        std::optional<ReadOnlyFolder> folder;
        if (inPlace)
            folder.emplace(QDir::currentPath());
        for (const bool limited : {true, false}) {
            std::optional<FileSizeLimit> limit;
            if (limited)
                limit.emplace(8192);
            syncFails = !limited; // written, then dropped or put back
            rig.boxes.answers = {MsgAnswer::Yes, MsgAnswer::Yes};
            rig.save.Command3_Click();
            syncFails = false;
            EXPECT_EQ(rig.boxes.calls.back().text,
                      QStringLiteral("无法保存文件vx-2101435.dat：") + (limited ? QStringLiteral("文件过大") : QStringLiteral("输入/输出错误")));
            EXPECT_EQ(bytesOf(SavedName), older);
        }
    }
    rig.boxes.answers = {MsgAnswer::Yes, MsgAnswer::Yes};
    {
        ReadOnlyFolder folder(QDir::currentPath());
        ASSERT_FALSE(QFile(QStringLiteral("probe")).open(QIODevice::WriteOnly));
        rig.save.Command3_Click();
    }
    EXPECT_EQ(rig.boxes.calls.size(), 4u * 3 + 2);
    EXPECT_EQ(bytesOf(SavedName), SampleFile::encode(rig.state.SampleBuffer));
    EXPECT_EQ(rig.scratch.entries(), QStringList{SavedName});
}

TEST(Save, DuringASweepWritesInTheOrderConfirmedWhatThatSweepLeavesInTheBuffer)
{
    Rig rig;
    // Two saves during the very first sweep, the boxes at once, both files once it is complete.
    rig.pump.at[3000] = [&] { rig.save.Command3_Click(); };
    rig.pump.at[3001] = [&] {
        EXPECT_EQ(rig.boxes.calls.size(), 1u);
        EXPECT_TRUE(rig.scratch.entries().isEmpty());
        rig.clock.time = rig.clock.time.addSecs(60);
        QDir().mkdir(QStringLiteral("vx-2101436.dat")); // the second one fails, and says so then
        rig.save.Command3_Click();
    };
    rig.sweepWith(false, [](int) { return -201; });
    SampleArray first{};
    first.fill(qint16(200 - 32768));
    EXPECT_EQ(bytesOf(SavedName), SampleFile::encode(first));
    ASSERT_EQ(rig.boxes.calls.size(), 3u);
    EXPECT_TRUE(rig.boxes.calls[2].text.startsWith(QStringLiteral("无法保存文件vx-2101436.dat：这是一个文件夹")));
    EXPECT_EQ(rig.scripted.asked.size(), std::size_t(SweepLength));
    EXPECT_FALSE(rig.timer.enabled);
    // Shown waiting from the first confirmation until the last file is written.
    EXPECT_EQ(rig.waits.calls, (std::vector<std::pair<int, bool>>{{SaveButton, true}, {SaveButton, true}, {SaveButton, false}}));

    // A sweep dropped when the port closes under it, by a load, by Exit: the file is the buffer
    // that sweep found, written before the buffer takes the loaded file or the program ends.
    put(QStringLiteral("other.dat"), records({1234}));
    const std::function<void()> droppers[] = {[&] { rig.comm.setPortOpen(false); },
                                              [&] { rig.loadFile(QStringLiteral("other.dat")); },
                                              [&] { rig.exit.Command1_Click(); }};
    for (const auto& drop : droppers) {
        rig.comm.setPortOpen(true);
        rig.clock.time = rig.clock.time.addSecs(60);
        const QString name = SampleFile::fileName(rig.clock.time);
        const QByteArray found = SampleFile::encode(rig.state.SampleBuffer);
        const int at = rig.pump.count;
        const long lineOps = rig.serial.lineOps;
        rig.pump.at[at + 10] = [&] { rig.save.Command3_Click(); };
        rig.pump.at[at + 20] = drop;
        rig.sweep.Timer1_Timer();
        EXPECT_EQ(rig.serial.lineOps, lineOps + 20 * 65); // the sweep went no further
        EXPECT_EQ(bytesOf(name), found) << qPrintable(name);
    }
    EXPECT_EQ(bytesOf(QStringLiteral("vx-2101438.dat")), SampleFile::encode(first)) << "the measured sweep, not the file";
    EXPECT_EQ(rig.lifetime.status, 0);
    EXPECT_FALSE(rig.comm.portOpen());
    EXPECT_EQ(rig.boxes.calls.size(), 3u + 3);
    EXPECT_EQ(rig.waits.calls.size(), 3u + 3 * 2);
    EXPECT_EQ(rig.waits.calls.back(), std::pair(SaveButton, false));
}

} // namespace
