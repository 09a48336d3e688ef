// File lists on the clipboard as desktop file managers write and read them.
#include "engine/ClipboardFiles.h"

#include <gtest/gtest.h>

#include <QMimeData>
#include <QUrl>

#include <memory>

using namespace vexo;

TEST(ClipboardFilesTest, LocalFilesGoOutInBothFileManagerFormats)
{
    std::unique_ptr<QMimeData> data(FileListMimeData({"/home/u/a b.txt", "/home/u/文件"}));
    EXPECT_EQ(data->urls(),
              (QList<QUrl>{QUrl::fromLocalFile("/home/u/a b.txt"), QUrl::fromLocalFile("/home/u/文件")}));
    EXPECT_EQ(data->data(GnomeCopiedFilesMimeType),
              "copy\nfile:///home/u/a%20b.txt\nfile:///home/u/%E6%96%87%E4%BB%B6");
    EXPECT_FALSE(data->hasFormat(PaneNamesMimeType));
    // Device names keep their mark for us; other programs see bare names.
    data.reset(FileListMimeData({"TVR:\\A.TXT", "TVR:\\B"}));
    EXPECT_FALSE(data->hasUrls());
    EXPECT_EQ(data->text(), "A.TXT\nB");
    EXPECT_EQ(FileListFromMimeData(data.get()), (QStringList{"TVR:\\A.TXT", "TVR:\\B"}));
}

TEST(ClipboardFilesTest, OtherProgramsListsGiveTheirLocalFilesOnly)
{
    QMimeData urls;
    urls.setUrls({QUrl("file:///x/a.txt"), QUrl("https://example.org/b.txt")});
    EXPECT_EQ(FileListFromMimeData(&urls), QStringList{"/x/a.txt"});
    QMimeData gnome; // a cut pastes as a copy
    gnome.setData(GnomeCopiedFilesMimeType, "cut\nfile:///x/a%20b.txt\n\nsftp://h/c\n");
    EXPECT_EQ(FileListFromMimeData(&gnome), QStringList{"/x/a b.txt"});
    QMimeData text; // text is never taken for file names
    text.setText("/etc/passwd");
    EXPECT_TRUE(FileListFromMimeData(&text).isEmpty());
    QMimeData damaged;
    damaged.setData(PaneNamesMimeType, QByteArray("\0\0A\xff\0\0B", 7));
    EXPECT_EQ(FileListFromMimeData(&damaged), (QStringList{QString::fromUtf8("A\xff"), "B"}));
}
