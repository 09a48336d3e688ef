#include "engine/ImageProbe.h"
#include "platform/LibVDiskLibrary.h"

#include "engine/LanguageTable.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace vexo;

namespace
{

const LanguageTable English;

std::string text(const QString &s)
{
    return s.toStdString();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

// The first sector of a small FAT12 volume: 512-byte sectors, 4 per
// cluster, one reserved sector, two FATs, the 0x55AA signature.
QByteArray fatBootSector()
{
    QByteArray s(512, '\0');
    s[0] = char(0xEB);
    s[1] = 0x3C;
    s[2] = char(0x90);
    s[11] = 0x00;
    s[12] = 0x02;
    s[13] = 4;
    s[14] = 1;
    s[16] = 2;
    s[510] = 0x55;
    s[511] = char(0xAA);
    return s;
}

} // namespace

TEST(ImageProbe, TellsMissingFoldersAndForeignFilesApart)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString missing = dir.filePath("target/public/lib/vdisk.dat");
    EXPECT_EQ(text(ImageMountProblem(English, missing)), "does not exist");
    EXPECT_EQ(text(ImageMountFailedText(English, missing, ImageMountProblem(English, missing))),
              text(QStringLiteral("Cannot mount ") + missing + QStringLiteral(": does not exist")));
    EXPECT_EQ(text(ImageMountProblem(English, QString())), "does not exist");
    EXPECT_EQ(text(ImageMountProblem(English, dir.path())), "is a folder");

    const QString image = dir.filePath("vdisk.dat");
    writeFile(image, "");
    EXPECT_EQ(text(ImageMountProblem(English, image)), "not a FAT disk image");
    writeFile(image, QByteArray(4096, 'x'));
    EXPECT_EQ(text(ImageMountProblem(English, image)), "not a FAT disk image");
    // The signature alone does not make a boot sector.
    QByteArray signatureOnly(512, '\0');
    signatureOnly[510] = 0x55;
    signatureOnly[511] = char(0xAA);
    writeFile(image, signatureOnly);
    EXPECT_EQ(text(ImageMountProblem(English, image)), "not a FAT disk image");

    // A boot sector whose volume the library still refused.
    writeFile(image, fatBootSector());
    EXPECT_EQ(text(ImageMountProblem(English, image)), "the FAT disk image is damaged or not FAT12/FAT16");
}

TEST(ImageProbe, AnImageOfTheLibraryPassesTheBootSectorCheckAndStaysUntouched)
{
    QTemporaryDir dir;
    const QString image = dir.filePath("vdisk.dat");
    {
        LibVDiskLibrary lib;
        lib.SetVdiskFile(image);
        ASSERT_EQ(lib.FormatFileSystem(), 0);
        lib.DestoryFileSystem();
    }
    QFile f(image);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();
    EXPECT_EQ(text(ImageMountProblem(English, image)), "the FAT disk image is damaged or not FAT12/FAT16");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
}

TEST(ImageProbe, RefusedPermissionIsNamed)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    QTemporaryDir dir;
    const QString image = dir.filePath("vdisk.dat");
    writeFile(image, fatBootSector());
    ASSERT_EQ(::chmod(QFile::encodeName(image).constData(), 0), 0);
    EXPECT_EQ(text(ImageMountProblem(English, image)), "permission denied");
}
