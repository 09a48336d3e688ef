#include "engine/FileListRow.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vexo;

TEST(FileListRow, SizeTextIsRightAlignedInTenCharacters)
{
    struct Case {
        qint64 size;
        const char *text;
    } cases[] = {
        {0, "         0 B"},          {1234, "      1234 B"},       {1234567890, "1234567890 B"},
        {2147483647, "2147483647 B"}, {9999999999, "9999999999 B"}, {12345678901, "12345678901 B"},
        {-1, "        -1 B"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(FileSizeText(c.size), QString::fromLatin1(c.text)) << c.size;
}

TEST(FileListRow, DatesCountWholeDaysTowardZero)
{
    EXPECT_EQ(DeviceFileDate(0), QDate(1970, 1, 1));
    EXPECT_EQ(DeviceFileDate(86399999), QDate(1970, 1, 1));
    EXPECT_EQ(DeviceFileDate(86400000), QDate(1970, 1, 2));
    EXPECT_EQ(DeviceFileDate(-1), QDate(1970, 1, 1));
    EXPECT_EQ(VDiskFileDate(0), QDate(1970, 1, 1));
    EXPECT_EQ(VDiskFileDate(86399), QDate(1970, 1, 1));
    EXPECT_EQ(VDiskFileDate(86400), QDate(1970, 1, 2));
    EXPECT_EQ(VDiskFileDate(-1), QDate(1970, 1, 1));
    EXPECT_EQ(VDiskFileDate(-86400), QDate(1969, 12, 31));
    const QString sep = LocaleDateSeparator();
    EXPECT_EQ(FileDateText(QDate(2026, 3, 7)), "2026" + sep + "03" + sep + "07");
}

TEST(FileListRow, CreateEmptyFileEmptiesButNeverFollowsLinks)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.txt");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("old contents");
    }
    EXPECT_TRUE(CreateEmptyFile(path));
    EXPECT_EQ(QFileInfo(path).size(), 0);
    EXPECT_TRUE(CreateEmptyFile(dir.filePath("new.dat")));
    EXPECT_TRUE(QFileInfo(dir.filePath("new.dat")).isFile());

    QTemporaryDir outside;
    const QString target = outside.filePath("precious");
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("keep");
    }
    ASSERT_TRUE(QFile::link(target, dir.filePath("link")));
    EXPECT_FALSE(CreateEmptyFile(dir.filePath("link")));
    EXPECT_EQ(QFileInfo(target).size(), 4);
    EXPECT_FALSE(CreateEmptyFile(dir.filePath("missing/x")));
    EXPECT_FALSE(CreateEmptyFile(dir.path())); // a folder
}
