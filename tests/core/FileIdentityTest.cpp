#include "core/system/FileIdentity.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>

// One file under every name that reaches it, and no other: a second hard link is the file (a
// comparison of names would miss it), a copy of its bytes is not.
TEST(FileIdentity, NamesAndStreamsAreTheSameFileExactlyWhenTheyReachOne)
{
    const QTemporaryDir dir;
    const auto path = [&](const char* name) { return QDir::toNativeSeparators(dir.filePath(QString::fromUtf8(name))); };
    for (const char* name : {"a.dat", "copy.dat"}) {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("same bytes") == 10);
    }
    std::filesystem::create_hard_link(path("a.dat").toStdWString(), path("second.dat").toStdWString());
    ASSERT_TRUE(QDir().mkdir(path("sub")));
    const struct {
        const char *a, *b;
        bool same;
    } rows[] = {
        {"a.dat", "a.dat", true},        {"a.dat", "sub/../a.dat", true}, {"a.dat", "second.dat", true},
        {"a.dat", "copy.dat", false},    {"a.dat", "none.dat", false},    {"none.dat", "none.dat", false},
        {"sub", "sub/.", true},          {"sub", "a.dat", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(sameFile(path(row.a), path(row.b)), row.same) << row.a << " " << row.b;

    std::FILE* stream = std::fopen(QFile::encodeName(path("a.dat")).constData(), "rb");
    ASSERT_NE(stream, nullptr);
    EXPECT_TRUE(sameFile(path("second.dat"), stream));
    EXPECT_FALSE(sameFile(path("copy.dat"), stream));
    std::fclose(stream);
}
