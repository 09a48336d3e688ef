#include "platform/LibVDiskLibrary.h"
#include "QtPrinters.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vexo;

namespace
{

// Names cross to the real library as CP936 and come back from its listing.
TEST(LibVDiskLibrary, NamesAndRecordsCrossAsTheImageStoresThem)
{
    QTemporaryDir dir;
    const QString image = dir.filePath("vdisk.dat");
    QFile f(image);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.resize(512 * 1024));
    f.close();
    LibVDiskLibrary lib;
    lib.SetVdiskFile(image);
    ASSERT_EQ(lib.FormatFileSystem(), 0);
    ASSERT_EQ(lib.InitFileSystem(), 0);

    const QString chinese = QStringLiteral("中文资料表.txt");    // 14 CP936 bytes
    const QString longest = QStringLiteral("ABCDEFGHIJKLM.TXT"); // 17 bytes, no NUL in the record
    for (const QString &name : {chinese, longest}) {
        const int file = lib.zfopen(name, "w+");
        ASSERT_NE(file, 0) << name.toStdString();
        EXPECT_EQ(lib.zfwrite("12345", 5, 1, file), 5);
        EXPECT_EQ(lib.zfclose(file), 0);
    }
    // No CP936 form: refused without reaching the library.
    const QString emoji = QStringLiteral("\U0001F600.txt");
    EXPECT_EQ(lib.zfopen(emoji, "w+"), 0);
    EXPECT_EQ(lib.zffind(emoji), 0);
    EXPECT_EQ(lib.zflen(emoji), -1);
    EXPECT_EQ(lib.zrename(chinese, emoji), 0);

    const int search = lib.OpenFindFile("/");
    VDiskLibrary::FindRecord record;
    QStringList names;
    const qint64 now =
        QDateTime::currentDateTime().toSecsSinceEpoch() + QDateTime::currentDateTime().offsetFromUtc();
    for (int r = lib.FindFirst(&record, search); r != -1; r = lib.FindNext(&record, search)) {
        names << record.name;
        EXPECT_EQ(record.size, 5);
        EXPECT_LT(qAbs(record.time - now), 86400) << "local time, counted in seconds";
    }
    EXPECT_EQ(names, (QStringList{chinese, longest}));
    EXPECT_EQ(lib.zflen(chinese), 5);
    EXPECT_EQ(lib.zrename(chinese, QStringLiteral("新名字.txt")), 1);
    EXPECT_EQ(lib.zffind(QStringLiteral("新名字.TXT")), 1);
    EXPECT_EQ(lib.zfdelete(QStringLiteral("新名字.txt")), 1);
    lib.DestoryFileSystem();
    EXPECT_EQ(lib.OpenFindFile("/"), 0);
}

} // namespace
