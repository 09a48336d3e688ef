#include "engine/VDiskCopy.h"
#include "MemoryVDiskLibrary.h"
#include "QtPrinters.h"
#include "platform/LibVDiskLibrary.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace vexo;

namespace
{

QByteArray pattern(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 251) & 0xFF);
    return bytes;
}

void writeFile(const QString &path, const QByteArray &bytes, int mode = 0644)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(f.write(bytes), bytes.size());
    f.close();
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), mode_t(mode)), 0);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

int modeOf(const QString &path)
{
    struct stat st {
    };
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// Files left in a folder besides the expected ones (no half-written copies).
QStringList leftovers(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).filter(".part-");
}

// A freshly formatted real image, mounted for the test.
class RealImage : public ::testing::Test
{
protected:
    void SetUp() override { mount(1024 * 1024); }
    void TearDown() override { lib.DestoryFileSystem(); }

    void mount(qint64 bytes)
    {
        ASSERT_TRUE(dir.isValid());
        image = dir.filePath("vdisk.dat");
        QFile f(image);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.resize(bytes));
        f.close();
        lib.SetVdiskFile(image);
        ASSERT_EQ(lib.FormatFileSystem(), 0);
        ASSERT_EQ(lib.InitFileSystem(), 0);
    }
    QString local(const QString &name) const { return dir.filePath(name); }
    // Puts `bytes` into the image as `name`.
    void putImageFile(const QString &name, const QByteArray &bytes)
    {
        writeFile(local("put.tmp"), bytes);
        ASSERT_EQ(CopyVDiskFile(lib, local("put.tmp"), name, true), 1);
    }
    QByteArray imageFile(const QString &name)
    {
        QFile::remove(local("get.tmp"));
        return CopyVDiskFile(lib, name, local("get.tmp"), true) == 1 ? readFile(local("get.tmp"))
                                                                     : QByteArray("<not copied>");
    }

    QTemporaryDir dir;
    QString image;
    LibVDiskLibrary lib;
};

TEST_F(RealImage, FilesGoInAndComeOutWhole)
{
    for (int size : {0, 1023, 1024, 1025, 2048}) {
        SCOPED_TRACE(size);
        const QString name = QStringLiteral("F%1.BIN").arg(size);
        writeFile(local("in.bin"), pattern(size));
        EXPECT_EQ(CopyVDiskFile(lib, local("in.bin"), name, true), 1);
        EXPECT_EQ(lib.zflen(name), size);
        const QString out = local(QStringLiteral("out%1.bin").arg(size));
        EXPECT_EQ(CopyVDiskFile(lib, name, out, true), 1);
        EXPECT_EQ(readFile(out), pattern(size));
    }
    // Replacing keeps one file of the new length.
    writeFile(local("in.bin"), pattern(5));
    EXPECT_EQ(CopyVDiskFile(lib, local("in.bin"), "F2048.BIN", true), 1);
    EXPECT_EQ(imageFile("F2048.BIN"), pattern(5));
    EXPECT_TRUE(leftovers(dir.path()).isEmpty());
}

TEST_F(RealImage, ReadOnlySourceIsCopiedAndNeverChanged)
{
    const QString source = local("ro.txt");
    writeFile(source, "read only", 0444);
    struct stat before {
    };
    ASSERT_EQ(::stat(QFile::encodeName(source).constData(), &before), 0);
    EXPECT_EQ(CopyVDiskFile(lib, source, "RO.TXT", true), 1);
    struct stat after {
    };
    ASSERT_EQ(::stat(QFile::encodeName(source).constData(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(imageFile("RO.TXT"), QByteArray("read only"));
}

TEST_F(RealImage, SourceThatCannotBeOpenedOrReadLeavesTheImageFileAsItWas)
{
    putImageFile("KEEP.TXT", "older contents");
    QDir().mkdir(local("folder"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(local("fifo")).constData(), 0600), 0);
    // /proc/self/mem opens as a regular file but its first read fails.
    for (const QString &source :
         {local("missing.txt"), local("folder"), local("fifo"), QString("/proc/self/mem")}) {
        SCOPED_TRACE(source.toStdString());
        EXPECT_EQ(CopyVDiskFile(lib, source, "KEEP.TXT", true), 0);
        EXPECT_EQ(imageFile("KEEP.TXT"), QByteArray("older contents"));
        EXPECT_EQ(CopyVDiskFile(lib, source, "NEW.TXT", true), 0);
        EXPECT_EQ(lib.zffind("NEW.TXT"), 0);
    }
}

TEST_F(RealImage, FullImageKeepsTheOlderFile)
{
    lib.DestoryFileSystem();
    mount(128 * 1024);
    putImageFile("BIG.BIN", pattern(3000));
    writeFile(local("huge.bin"), pattern(400 * 1024));
    EXPECT_EQ(CopyVDiskFile(lib, local("huge.bin"), "BIG.BIN", true), 0);
    EXPECT_EQ(imageFile("BIG.BIN"), pattern(3000));
    EXPECT_EQ(CopyVDiskFile(lib, local("huge.bin"), "OTHER.BIN", true), 0);
    EXPECT_EQ(lib.zffind("OTHER.BIN"), 0);
}

TEST_F(RealImage, ExistingDestinationIsKeptWithoutOverwriteAndTargetsAreFound)
{
    putImageFile("A.TXT", "image");
    writeFile(local("a.txt"), "local");
    writeFile(local("b.txt"), "other");
    EXPECT_EQ(CopyVDiskFile(lib, local("b.txt"), "A.TXT", false), 0);
    EXPECT_EQ(imageFile("A.TXT"), QByteArray("image"));
    EXPECT_EQ(CopyVDiskFile(lib, "A.TXT", local("a.txt"), false), 0);
    EXPECT_EQ(readFile(local("a.txt")), QByteArray("local"));
    EXPECT_EQ(CopyVDiskFile(lib, "A.TXT", local("a.txt"), true), 1);
    EXPECT_EQ(readFile(local("a.txt")), QByteArray("image"));

    QDir().mkdir(local("folder"));
    EXPECT_TRUE(CopyTargetExists(lib, "a.txt"));
    EXPECT_FALSE(CopyTargetExists(lib, "B.TXT"));
    EXPECT_TRUE(CopyTargetExists(lib, local("a.txt")));
    EXPECT_FALSE(CopyTargetExists(lib, local("folder")));
}

TEST_F(RealImage, CopyOutReplacesOnlyWhatTheUserMayReplaceAndKeepsItsMode)
{
    putImageFile("NEW.TXT", "new contents");
    struct Case {
        const char *name;
        int mode;
        bool replaced;
    };
    // Writable files and plain read-only ones are replaced and keep their
    // mode; a read-only file with a further bit is not touched.
    for (const Case &c :
         {Case{"rw.txt", 0640, true}, Case{"ro.txt", 0444, true}, Case{"setuid.txt", 04444, false}}) {
        SCOPED_TRACE(c.name);
        const QString path = local(c.name);
        writeFile(path, "old", c.mode);
        EXPECT_EQ(CopyVDiskFile(lib, "NEW.TXT", path, true), c.replaced ? 1 : 0);
        EXPECT_EQ(readFile(path), c.replaced ? QByteArray("new contents") : QByteArray("old"));
        EXPECT_EQ(modeOf(path), c.mode);
    }
    if (::geteuid() == 0) {
        // Someone else's read-only file is not replaced, even by root.
        const QString path = local("theirs.txt");
        writeFile(path, "theirs", 0444);
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
        EXPECT_EQ(CopyVDiskFile(lib, "NEW.TXT", path, true), 0);
        EXPECT_EQ(readFile(path), QByteArray("theirs"));
    }
    EXPECT_TRUE(leftovers(dir.path()).isEmpty());
}

TEST_F(RealImage, CopyOutRefusesFoldersLinksMissingFoldersAndUnsafeNames)
{
    putImageFile("NEW.TXT", "new contents");
    QDir().mkdir(local("sub"));
    writeFile(local("target.txt"), "target");
    ASSERT_EQ(::symlink(QFile::encodeName(local("target.txt")).constData(),
                        QFile::encodeName(local("link.txt")).constData()),
              0);
    const QStringList refused{local("sub"),         local("link.txt"), local("gone/new.txt"),
                              local("sub") + "/..", local("a\\b"),     local("sub/")};
    for (const QString &destination : refused) {
        SCOPED_TRACE(destination.toStdString());
        EXPECT_EQ(CopyVDiskFile(lib, "NEW.TXT", destination, true), 0);
    }
    EXPECT_EQ(readFile(local("target.txt")), QByteArray("target"));
    EXPECT_TRUE(QFileInfo(local("link.txt")).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(local("a\\b")));
    EXPECT_TRUE(QDir(local("sub")).isEmpty());
    EXPECT_TRUE(leftovers(dir.path()).isEmpty());
    // A file that is not in the image is not copied, and the PC file stays.
    writeFile(local("kept.txt"), "kept");
    EXPECT_EQ(CopyVDiskFile(lib, "NOSUCH.TXT", local("kept.txt"), true), 0);
    EXPECT_EQ(readFile(local("kept.txt")), QByteArray("kept"));
}

// The pieces handed to the library, per size: 1024 bytes at most, and a
// last piece even when it is empty.
TEST(CopyPieces, IntoTheImage)
{
    const QList<std::pair<int, QStringList>> table{
        {0, {"zfwrite(0)"}},
        {1023, {"zfwrite(1023)"}},
        {1024, {"zfwrite(1024)", "zfwrite(0)"}},
        {1025, {"zfwrite(1024)", "zfwrite(1)"}},
        {2048, {"zfwrite(1024)", "zfwrite(1024)", "zfwrite(0)"}},
    };
    QTemporaryDir dir;
    for (const auto &[size, writes] : table) {
        SCOPED_TRACE(size);
        test::MemoryVDiskLibrary lib;
        lib.InitFileSystem();
        writeFile(dir.filePath("in"), pattern(size));
        lib.clearCalls();
        EXPECT_EQ(CopyVDiskFile(lib, dir.filePath("in"), "D.BIN", true), 1);
        const QStringList expected =
            QStringList{"zffind(D.BIN)", "zfopen(D.BIN,w+)"} + writes + QStringList{"zfclose"};
        EXPECT_EQ(lib.calls(), expected);
        EXPECT_EQ(lib.content("D.BIN"), pattern(size));
    }
}

TEST(CopyPieces, OutOfTheImage)
{
    QTemporaryDir dir;
    for (int size : {0, 1025, 2048}) {
        SCOPED_TRACE(size);
        test::MemoryVDiskLibrary lib;
        lib.InitFileSystem();
        lib.addFile("S.BIN", pattern(size));
        lib.clearCalls();
        const QString out = dir.filePath("out");
        EXPECT_EQ(CopyVDiskFile(lib, "S.BIN", out, true), 1);
        QStringList reads;
        for (int left = size; reads.isEmpty() || left > 0; left -= qMin(left, 1024))
            reads << QStringLiteral("zfread(%1)").arg(qMin(left, 1024));
        // The listing gives the file's time, which the copy keeps.
        const QStringList expected = QStringList{"zffind(" + out + ")", "zflen(S.BIN)", "OpenFindFile(/)",
                                                 "FindFirst", "zfopen(S.BIN,r)"} +
                                     reads + QStringList{"zfclose"};
        EXPECT_EQ(lib.calls(), expected);
        EXPECT_EQ(readFile(out), pattern(size));
    }
}

TEST(CopyFailures, LibraryRefusalsChangeNothing)
{
    QTemporaryDir dir;
    const QString out = dir.filePath("out.txt");
    test::MemoryVDiskLibrary lib;
    lib.InitFileSystem();
    lib.addFile("S.BIN", pattern(3000));
    lib.addFile("T.BIN", pattern(10));

    writeFile(out, "old");
    lib.setLength("S.BIN", -5); // a negative length is a failed copy
    lib.clearCalls();
    EXPECT_EQ(CopyVDiskFile(lib, "S.BIN", out, true), 0);
    EXPECT_TRUE(lib.calls("zfopen").isEmpty());
    lib.setLength("S.BIN", 3000);

    lib.failOpen("S.BIN");
    EXPECT_EQ(CopyVDiskFile(lib, "S.BIN", out, true), 0);

    test::MemoryVDiskLibrary broken;
    broken.InitFileSystem();
    broken.addFile("S.BIN", pattern(3000));
    broken.failReadFrom(2); // a damaged chain after the first piece
    EXPECT_EQ(CopyVDiskFile(broken, "S.BIN", out, true), 0);
    EXPECT_EQ(broken.calls("zfclose").size(), 1);

    lib.setLength("T.BIN", 50); // the file is shorter than its length says
    EXPECT_EQ(CopyVDiskFile(lib, "T.BIN", out, true), 0);

    EXPECT_EQ(readFile(out), QByteArray("old"));
    EXPECT_TRUE(leftovers(dir.path()).isEmpty());

    // Into the image: a refused open changes nothing there.
    lib.failOpen("T.BIN");
    lib.clearCalls();
    EXPECT_EQ(CopyVDiskFile(lib, out, "T.BIN", true), 0);
    EXPECT_EQ(lib.calls(), (QStringList{"zffind(T.BIN)", "zfopen(T.BIN,w+)"}));
    EXPECT_EQ(lib.content("T.BIN"), pattern(10));
}

} // namespace
