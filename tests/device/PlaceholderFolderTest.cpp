#include "engine/PlaceholderFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vexo;

namespace
{

void write(const QString &path, const QByteArray &data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

} // namespace

TEST(PlaceholderFolder, OneEmptyFilePerNameAcrossListings)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("Rpc");
    {
        PlaceholderFolder p(folder);
        ASSERT_TRUE(p.isOpen());
        EXPECT_TRUE(p.make("a.txt"));
        EXPECT_TRUE(p.make("b.doc"));
        EXPECT_TRUE(p.make("a.txt")); // listed twice in one listing
        EXPECT_EQ(p.pathOf("b.doc"), folder + "/b.doc");
    }
    {
        PlaceholderFolder again(folder);
        EXPECT_TRUE(again.make("a.txt"));
        EXPECT_TRUE(again.make("c"));
    }
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), (QStringList{"a.txt", "b.doc", "c"}));
    for (const QString &name : QDir(folder).entryList(QDir::Files))
        EXPECT_EQ(QFileInfo(folder + "/" + name).size(), 0) << name.toStdString();
}

TEST(PlaceholderFolder, EmptiesOldFilesAndNeverFollowsLinks)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath("Rpc");
    ASSERT_TRUE(QDir().mkpath(folder));
    write(folder + "/old.txt", "left from before");
    QTemporaryDir outside;
    write(outside.filePath("precious"), "keep");
    ASSERT_TRUE(QFile::link(outside.filePath("precious"), folder + "/link.txt"));
    ASSERT_TRUE(QDir().mkdir(folder + "/sub"));

    PlaceholderFolder p(folder);
    EXPECT_TRUE(p.make("old.txt"));
    EXPECT_EQ(QFileInfo(folder + "/old.txt").size(), 0);
    EXPECT_FALSE(p.make("link.txt"));
    EXPECT_EQ(QFileInfo(outside.filePath("precious")).size(), 4);
    EXPECT_FALSE(p.make("sub"));
    EXPECT_FALSE(p.make(QString(300, QLatin1Char('n')))); // longer than a local name may be
    EXPECT_TRUE(p.make("new.bin"));
}

TEST(PlaceholderFolder, AFolderThatIsALinkIsNotUsed)
{
    QTemporaryDir dir;
    QTemporaryDir elsewhere;
    ASSERT_TRUE(QFile::link(elsewhere.path(), dir.filePath("Rpc")));
    PlaceholderFolder p(dir.filePath("Rpc"));
    EXPECT_FALSE(p.isOpen());
    EXPECT_FALSE(p.make("a.txt"));
    EXPECT_TRUE(QDir(elsewhere.path()).isEmpty());
    EXPECT_FALSE(PlaceholderFolder(QString()).isOpen());
}
