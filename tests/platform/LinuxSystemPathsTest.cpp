#include "platform/LinuxSystemPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace
{

class TmpDirEnv
{
public:
    explicit TmpDirEnv(const QString &dir) : m_old(qgetenv("TMPDIR")) { qputenv("TMPDIR", dir.toUtf8()); }
    ~TmpDirEnv() { qputenv("TMPDIR", m_old); }

private:
    QByteArray m_old;
};

TEST(LinuxSystemPaths, TempFolderIsPrivateToTheUser)
{
    QTemporaryDir base;
    TmpDirEnv env(base.path());
    vexo::LinuxSystemPaths paths(base.path());
    const QString temp = paths.systemTempPath();
    ASSERT_FALSE(temp.isEmpty());
    EXPECT_TRUE(temp.endsWith('/'));
    EXPECT_TRUE(temp.startsWith(base.path() + "/vexo-"));
    EXPECT_TRUE(vexo::isPrivateFolder(temp.chopped(1)));
}

TEST(LinuxSystemPaths, NeverUsesALinkInPlaceOfTheTempFolder)
{
    QTemporaryDir base;
    QTemporaryDir elsewhere;
    TmpDirEnv env(base.path());
    const QString usual = base.path() + QStringLiteral("/vexo-%1").arg(::geteuid());
    ASSERT_TRUE(QFile::link(elsewhere.path(), usual));
    vexo::LinuxSystemPaths paths(base.path());
    const QString temp = paths.systemTempPath();
    ASSERT_FALSE(temp.isEmpty());
    EXPECT_NE(temp.chopped(1), usual);
    EXPECT_TRUE(vexo::isPrivateFolder(temp.chopped(1)));
    EXPECT_TRUE(QDir(elsewhere.path()).isEmpty());
}

TEST(LinuxSystemPaths, NeverUsesAFolderOthersCanWrite)
{
    QTemporaryDir base;
    TmpDirEnv env(base.path());
    const QString usual = base.path() + QStringLiteral("/vexo-%1").arg(::geteuid());
    ASSERT_EQ(::mkdir(QFile::encodeName(usual).constData(), 0777), 0);
    ::chmod(QFile::encodeName(usual).constData(), 0777);
    vexo::LinuxSystemPaths paths(base.path());
    EXPECT_NE(paths.systemTempPath().chopped(1), usual);
}

TEST(LinuxSystemPaths, ProgramFolderIsTheWritableExecutableFolderElseTheConfigFolder)
{
    QTemporaryDir exe;
    QTemporaryDir config;
    const QByteArray old = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    EXPECT_EQ(vexo::LinuxSystemPaths(exe.path()).programFolder(), exe.path() + "/");
    // A folder nobody may write to (root may write anywhere, so use one that does not exist).
    vexo::LinuxSystemPaths missing(exe.path() + "/gone");
    EXPECT_EQ(missing.programFolder(), config.path() + "/VexoFile/");
    EXPECT_TRUE(QFileInfo(config.path() + "/VexoFile").isDir());
    EXPECT_EQ(missing.languageFolders().value(1), exe.path() + "/gone/");
    EXPECT_EQ(missing.languageFolders().value(2), exe.path() + "/share/VexoFile/");
    qputenv("XDG_CONFIG_HOME", old);
}

} // namespace
