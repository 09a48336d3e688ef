// File lists on the clipboard: what desktop file managers and our own panes
// read from what Copy writes, and what we take from theirs.
#include "transfer/ClipboardFiles.h"
#include "MemoryClipboard.h"

#include <gtest/gtest.h>

#include <QMimeData>
#include <QUrl>

#include <memory>
#include <ostream>

using namespace vexo;

inline void PrintTo(const QStringList &l, std::ostream *os)
{
    *os << '[' << l.join(QStringLiteral(", ")).toStdString() << ']';
}

namespace
{

const QString Gnome = QLatin1String(GnomeCopiedFilesMimeType);
const QString Own = QLatin1String(PaneNamesMimeType);

} // namespace

TEST(ClipboardFilesTest, LocalFilesGoOutAsUrlsForFileManagers)
{
    const QStringList paths{"/home/u/a b.txt", "/home/u/文件.bin"};
    std::unique_ptr<QMimeData> data(FileListMimeData(paths));
    ASSERT_TRUE(data);
    EXPECT_EQ(data->urls(), (QList<QUrl>{QUrl::fromLocalFile(paths[0]), QUrl::fromLocalFile(paths[1])}));
    EXPECT_EQ(data->data(Gnome), "copy\nfile:///home/u/a%20b.txt\nfile:///home/u/%E6%96%87%E4%BB%B6.bin");
    EXPECT_EQ(data->text(), paths.join('\n'));
    EXPECT_FALSE(data->hasFormat(Own));
    EXPECT_EQ(FileListFromMimeData(data.get()), paths);
}

TEST(ClipboardFilesTest, DeviceAndImageNamesKeepTheirKind)
{
    const QStringList names{"TVR:\\A.TXT", "TVR:\\文件"};
    std::unique_ptr<QMimeData> data(FileListMimeData(names));
    EXPECT_FALSE(data->hasUrls());
    // Other programs get the bare names; our panes get the marked ones back.
    EXPECT_EQ(data->text(), "A.TXT\n文件");
    EXPECT_EQ(FileListFromMimeData(data.get()), names);
    data.reset(FileListMimeData({"B.TXT"}));
    EXPECT_EQ(FileListFromMimeData(data.get()), QStringList{"B.TXT"});
    EXPECT_EQ(FileListMimeData({}), nullptr);
}

TEST(ClipboardFilesTest, ReadsOtherProgramsLists)
{
    QMimeData urls;
    urls.setUrls({QUrl("file:///x/a.txt"), QUrl("https://example.org/b.txt"), QUrl("file:///x/c.txt")});
    EXPECT_EQ(FileListFromMimeData(&urls), (QStringList{"/x/a.txt", "/x/c.txt"}));

    QMimeData gnome;
    gnome.setData(Gnome, "cut\nfile:///x/a%20b.txt\n\nsftp://h/c\n");
    EXPECT_EQ(FileListFromMimeData(&gnome), QStringList{"/x/a b.txt"});

    // Text is never taken for file names, and damaged lists give what they hold.
    QMimeData text;
    text.setText("/etc/passwd");
    EXPECT_TRUE(FileListFromMimeData(&text).isEmpty());
    QMimeData damaged;
    damaged.setData(Own, QByteArray("\0\0A\xff\0\0B", 7));
    EXPECT_EQ(FileListFromMimeData(&damaged), (QStringList{QString::fromUtf8("A\xff"), "B"}));
    EXPECT_TRUE(FileListFromMimeData(nullptr).isEmpty());
}

TEST(ClipboardFilesTest, AnEmptyListLeavesTheClipboardAlone)
{
    test::MemoryClipboard clipboard;
    QStringList names{"kept"};
    EXPECT_FALSE(ReadClipboardFiles(clipboard, names));
    EXPECT_FALSE(WriteClipboardFiles(clipboard, {}));
    EXPECT_EQ(clipboard.writes(), 0);
    EXPECT_TRUE(WriteClipboardFiles(clipboard, {"/a/b"}));
    EXPECT_TRUE(ReadClipboardFiles(clipboard, names));
    EXPECT_EQ(names, QStringList{"/a/b"});
}
