#include "platform/ProfileRegistry.h"
#include "MemoryProfileFiles.h"
#include "MemoryRegistry.h"
#include "MemoryVDiskLibrary.h"
#include "QtPrinters.h"
#include "engine/ImageMount.h"
#include "vexo/sys/SimulatorImage.h"

#include <QDir>

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace vexo;

namespace
{

const QString Key = QStringLiteral("\\Software\\Tavrin\\VexoTools\\2");

class ProfileRegistryTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    test::MemoryProfileFiles files;
    ProfileRegistry registry{files, dir.filePath("VexoTools")};
};

TEST_F(ProfileRegistryTest, ValueIsReadAsStoredFromTheKeysSection)
{
    files.setContent(registry.fileName(), "[hkey_local_machine\\software\\tavrin\\vexotools\\2]\n"
                                          "InstallPath = %HOME%\\Vexo \n");
    files.setFailWrites(true); // reading needs no write
    QString value;
    EXPECT_TRUE(registry.readMachineString(Key, "InstallPath", &value));
    EXPECT_EQ(value, QStringLiteral("%HOME%\\Vexo"));
    EXPECT_EQ(files.writeCount(), 0);
}

TEST_F(ProfileRegistryTest, MissingKeyIsCreatedWithAnEmptyValue)
{
    QString value = "stale";
    EXPECT_TRUE(registry.readMachineString(Key, "InstallPath", &value));
    EXPECT_EQ(value, QString());
    EXPECT_TRUE(QFileInfo(dir.filePath("VexoTools")).isDir());
    EXPECT_EQ(files.content(registry.fileName()),
              QByteArray("[HKEY_LOCAL_MACHINE\\Software\\Tavrin\\VexoTools\\2]\nInstallPath=\n"));
    // The empty value reads the same the next time, with no further write.
    EXPECT_TRUE(registry.readMachineString(Key, "InstallPath", &value));
    EXPECT_EQ(files.writeCount(), 1);
}

TEST_F(ProfileRegistryTest, KeyThatCannotBeCreatedCannotBeOpened)
{
    files.setFailWrites(true);
    QString value;
    EXPECT_FALSE(registry.readMachineString(Key, "InstallPath", &value));
    // Another key in the file does not help.
    files.setContent(registry.fileName(), "[HKEY_LOCAL_MACHINE\\Software\\Other]\nInstallPath=/x\n");
    EXPECT_FALSE(registry.readMachineString(Key, "InstallPath", &value));

    // A file where the folder belongs.
    QFile blocker(dir.filePath("blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    test::MemoryProfileFiles writable;
    ProfileRegistry blocked(writable, dir.filePath("blocked/VexoTools"));
    EXPECT_FALSE(blocked.readMachineString(Key, "InstallPath", &value));
}

// Installed under Wine, the simulator's key is in the prefix's system.reg,
// its folder a Windows path on one of the prefix's drives.
TEST(WinePrefixLookup, FindsTheInstallFolderInEitherViewOnAMappedDrive)
{
    QTemporaryDir dir;
    const QString prefix = dir.filePath("prefix");
    QDir().mkpath(prefix + "/dosdevices");
    QDir().mkpath(prefix + "/drive_c/Program Files (x86)/VexoTools");
    QDir().mkpath(dir.filePath("elsewhere/Sim"));
    QFile::link("../drive_c", prefix + "/dosdevices/c:");
    QFile::link(dir.filePath("elsewhere"), prefix + "/dosdevices/d:");
    const std::string c = QDir(prefix + "/drive_c").canonicalPath().toStdString();
    const std::string d = QDir(dir.filePath("elsewhere")).canonicalPath().toStdString();
    // Key names as Wine writes them, backslashes doubled.
    const char *const plain = "[Software\\\\Tavrin\\\\VexoTools\\\\2] 1700000000\n";
    const char *const wow = "[Software\\\\Wow6432Node\\\\Tavrin\\\\VexoTools\\\\2] 1700000000\n";
    const struct {
        const char *arch;
        std::string keys;   // after the header
        std::string folder; // empty: not found
        const char *view;
    } cases[] = {
        // A 32-bit program in a 64-bit prefix; folders matched without case.
        {"win64", std::string(wow) + "\"InstallPath\"=\"C:\\\\program files (x86)\\\\vexotools\"\n",
         c + "/Program Files (x86)/VexoTools", "Wow6432Node"},
        // REG_EXPAND_SZ, as stored; another drive letter.
        {"win32", std::string(plain) + "\"installpath\"=str(2):\"D:\\\\Sim\"\n", d + "/Sim", "Tavrin"},
        // Both views: the 32-bit one in a 64-bit prefix, the plain one in a 32-bit prefix.
        {"win64",
         std::string(plain) + "\"InstallPath\"=\"D:\\\\Sim\"\n" + wow + "\"InstallPath\"=\"C:\\\\\"\n", c,
         "Wow6432Node"},
        {"win32",
         std::string(plain) + "\"InstallPath\"=\"D:\\\\Sim\"\n" + wow + "\"InstallPath\"=\"C:\\\\\"\n",
         d + "/Sim", "Tavrin"},
        // A drive the prefix does not map, a value of another type, another key.
        {"win64", std::string(wow) + "\"InstallPath\"=\"E:\\\\Sim\"\n", "", ""},
        {"win64", std::string(wow) + "\"InstallPath\"=dword:00000001\n", "", ""},
        {"win64", "[Software\\\\Tavrin\\\\VexoTools\\\\1]\n\"InstallPath\"=\"C:\\\\\"\n", "", ""},
    };
    for (const auto &test : cases) {
        QFile reg(prefix + "/system.reg");
        ASSERT_TRUE(reg.open(QIODevice::WriteOnly | QIODevice::Truncate));
        reg.write(QByteArray("WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=") +
                  test.arch + "\n\n" + QByteArray::fromStdString(test.keys));
        reg.close();
        std::string folder, where;
        const bool found =
            sys::SimulatorImage::fromWine(sys::WinePrefix(prefix.toStdString()), folder, where);
        EXPECT_EQ(found, !test.folder.empty()) << test.keys;
        EXPECT_EQ(folder, test.folder) << test.keys;
        EXPECT_NE(where.find(test.view), std::string::npos) << where;
    }
    std::string folder, where;
    EXPECT_FALSE(
        sys::SimulatorImage::fromWine(sys::WinePrefix(dir.filePath("none").toStdString()), folder, where))
        << "a missing prefix";

    // The window looks there only when our registry file names no folder,
    // and says where the image was found.
    QFile reg(prefix + "/system.reg");
    ASSERT_TRUE(reg.open(QIODevice::WriteOnly | QIODevice::Truncate));
    reg.write(QByteArray("#arch=win64\n") + wow + "\"InstallPath\"=\"C:\\\\\"\n");
    reg.close();
    qputenv("WINEPREFIX", prefix.toUtf8());
    test::MemoryRegistry registry;
    test::MemoryVDiskLibrary library;
    ImageMount mount(&library, &registry);
    EXPECT_EQ(mount.findImage(),
              ImageMount::imagePath(QString::fromStdString(c)) + ", found through the Wine prefix " + prefix +
                  ", HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Tavrin\\VexoTools\\2 (C:\\)");
    registry.setValue(Key, "InstallPath", "/opt/vexo");
    EXPECT_EQ(mount.findImage(), "/opt/vexo/target/public/lib/vdisk.dat, found through the registry");
    qunsetenv("WINEPREFIX");
}

} // namespace
