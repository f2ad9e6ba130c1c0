#include "core/system/FailureWords.h"
#include "core/system/WholeFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void put(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

TEST(WholeFile, ANameAtTheSystemsLengthLimitIsReplacedAndANameTakenWhileWrittenIsKept)
{
    QTemporaryDir dir;
    const QString longest = dir.filePath(QString(250, u'n') + QStringLiteral(".dat")); // 254 bytes
    put(longest, "old");
    WholeFile file(longest);
    EXPECT_TRUE(file.open() && file.commit("new"));
    EXPECT_EQ(bytesOf(longest), "new");
    {
        SCOPED_TRACE("the name of a printout or a recorded sweep taken while it is written");
        const QString name = dir.filePath(QStringLiteral("taken.pdf"));
        WholeFile file(name, WholeFile::NeverReplace);
        ASSERT_TRUE(file.open());
        put(name, "another program's");
        EXPECT_FALSE(file.commit("page"));
        EXPECT_EQ(chineseReason(file.errorNumber()), QStringLiteral("文件已存在"));
        EXPECT_EQ(bytesOf(name), "another program's");
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
                  (QStringList{QString(250, u'n') + QStringLiteral(".dat"), QStringLiteral("taken.pdf")}));
    }
}

} // namespace
