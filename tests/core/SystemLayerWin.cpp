// Windows' own side of the system layer, on the system's real files and ports.
#include "core/system/FailureWords.h"
#include "core/system/FileIdentity.h"
#include "core/system/FileNames.h"
#include "core/system/FileStart.h"
#include "core/system/WholeFile.h"
#include "devices/SerialDevice.h"
#include "devices/SystemSerialDevice.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>

#include <windows.h>

namespace {

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList entries(const QTemporaryDir& dir)
{
    return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

TEST(WindowsSystem, WholeFilesReplaceOrRefuseByModeUnderWideNamesAndLeaveNothingBeside)
{
    const QTemporaryDir dir;
    // Not in any ANSI code page but one: only the wide-character calls reach it.
    const QString name = dir.filePath(QStringLiteral("数据-Δ-ж.dat"));
    const struct {
        WholeFile::Mode mode;
        QByteArray before, bytes;
        bool written;
        QString reason;
    } rows[] = {
        {WholeFile::ReplaceExisting, {}, QByteArray(16384, 'a'), true, {}},
        {WholeFile::ReplaceExisting, "older", "new", true, {}},
        {WholeFile::NeverReplace, "older", "new", false, QStringLiteral("文件已存在")},
        {WholeFile::NeverReplace, {}, "new", true, {}},
    };
    for (const auto& row : rows) {
        QFile::remove(name);
        if (!row.before.isEmpty()) {
            QFile file(name);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(row.before);
        }
        WholeFile file(name, row.mode);
        const bool written = file.open() && file.commit(row.bytes);
        EXPECT_EQ(written, row.written);
        EXPECT_EQ(bytesOf(name), row.written ? row.bytes : row.before);
        if (!row.written) {
            EXPECT_EQ(chineseReason(file.errorNumber()), row.reason);
        }
        EXPECT_EQ(entries(dir), QStringList{QFileInfo(name).fileName()});
    }

    WholeFile folder(dir.path());
    EXPECT_FALSE(folder.open());
    EXPECT_EQ(chineseReason(folder.errorNumber()), QStringLiteral("这是一个文件夹"));
    WholeFile nowhere(dir.filePath(QStringLiteral("no such folder/x.dat")));
    EXPECT_FALSE(nowhere.open());
    EXPECT_EQ(chineseReason(nowhere.errorNumber()), QStringLiteral("文件或设备不存在"));
}

TEST(WindowsSystem, APortWithNoDeviceIsRefusedWithTheReasonAndStaysClosed)
{
    SystemSerialDevice port;
    try {
        port.open(QStringLiteral("COM99"), LineSettings{});
        FAIL() << "COM99 opened";
    } catch (const PortError& failure) {
        EXPECT_EQ(failure.errorNumber(), ENOENT) << failure.detail().toStdString();
        EXPECT_EQ(failure.kind(), FailureKind::System);
        EXPECT_FALSE(failure.detail().isEmpty()); // the system's own text
    }
    EXPECT_FALSE(port.isOpen());
}

TEST(WindowsSystem, FileStartsTellFilesFoldersAndDevicesApartUnderWideNames)
{
    const QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("数据-Δ.dat"));
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("0123456789");
    file.close();
    const struct {
        QString path;
        FileStart::Kind kind;
        int errorNumber;
        QByteArray bytes;
    } rows[] = {
        {name, FileStart::Regular, 0, "0123"},
        {dir.path(), FileStart::Folder, 0, {}},
        {QStringLiteral("NUL"), FileStart::Special, 0, {}},
        {dir.filePath(QStringLiteral("无.dat")), FileStart::Unreadable, ENOENT, {}},
    };
    for (const auto& row : rows) {
        const FileStart start = readFileStart(nameBytes(row.path), 4);
        EXPECT_EQ(start.kind, row.kind) << row.path.toStdString();
        EXPECT_EQ(start.errorNumber, row.errorNumber) << row.path.toStdString();
        EXPECT_EQ(start.bytes, row.bytes) << row.path.toStdString();
    }
}

TEST(WindowsSystem, ADeviceNameIsWrittenIntoAndNeverReplaced)
{
    WholeFile device(QStringLiteral("NUL"));
    EXPECT_TRUE(device.open() && device.commit("bytes"));
    WholeFile refused(QStringLiteral("NUL"), WholeFile::NeverReplace);
    EXPECT_FALSE(refused.open());
    EXPECT_EQ(refused.errorNumber(), EEXIST);
}

// Windows takes names that differ in case, in trailing dots and spaces and the 8.3 name for one file.
TEST(WindowsSystem, EveryNameWindowsTakesForAFileIsThatFile)
{
    const QTemporaryDir dir;
    const QString name = QDir::toNativeSeparators(dir.filePath(QStringLiteral("sweep-00000001-ch0.dat")));
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    wchar_t shortName[MAX_PATH];
    ASSERT_GT(GetShortPathNameW(reinterpret_cast<const wchar_t*>(name.utf16()), shortName, MAX_PATH), 0u);
    for (const QString& other : {name.toUpper(), name + u'.', name + u' ', QString::fromWCharArray(shortName)})
        EXPECT_TRUE(sameFile(name, other)) << other.toStdString();
    EXPECT_FALSE(sameFile(name, name + u'x'));
}
