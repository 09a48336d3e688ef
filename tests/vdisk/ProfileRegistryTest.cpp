#include "platform/ProfileRegistry.h"
#include "MemoryProfileFiles.h"
#include "QtPrinters.h"

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

} // namespace
