#include "FakeSystemPaths.h"
#include "MemoryProfileFiles.h"
#include "engine/SettingsFile.h"
#include "platform/LinuxProfileFiles.h"

#include <QTemporaryDir>

#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace vexo;

namespace
{

class SettingsTest : public testing::Test
{
protected:
    QTemporaryDir m_dir;
    QString m_ini = m_dir.filePath("VexoFile.ini");
    test::MemoryProfileFiles m_files;
    test::FakeSystemPaths m_paths{m_dir.path() + "/", m_dir.path() + "/tmp/"};
    SettingsFile m_file{m_files, m_ini};
    QStringList m_errors;

    void SetUp() override
    {
        QDir().mkpath(m_dir.path() + "/tmp");
        m_file.setErrorHandler([this](const QString &m) { m_errors << m; });
    }
    Settings load()
    {
        QString tempDir;
        return LoadSettings(m_file, m_paths, &tempDir);
    }
};

TEST_F(SettingsTest, FirstStartWritesTheDefaultFileInOrder)
{
    QString tempDir;
    const Settings s = LoadSettings(m_file, m_paths, &tempDir);
    EXPECT_EQ(tempDir, m_dir.path() + "/tmp/VexoFile");
    EXPECT_TRUE(QFileInfo(tempDir).isDir());
    EXPECT_EQ(m_files.content(m_ini), "[Information]\n"
                                      "AppName=VexoFileManager\n"
                                      "Version=V1.0\n"
                                      "CopyRight=Copyright (C) 2026 the VexoFileManager developers\n"
                                      "[Setting]\n"
                                      "Language=chs.lng\n"
                                      "Comport=1\n"
                                      "Baudrate=115200\n"
                                      "Compress=1\n"
                                      "AutoRpc=1\n"
                                      "GridLines=0\n"
                                      "ViewStyle=0\n"
                                      "Pathed=0\n"
                                      "Path=\n"
                                      "LastPath=0\n");
    EXPECT_TRUE(s.AutoRpc);
    EXPECT_TRUE(s.AutoVDisk);
    EXPECT_EQ(s.Comport, 1);
    EXPECT_EQ(s.Baudrate, 115200);
    EXPECT_FALSE(s.GridLines);
    EXPECT_EQ(StartViewStyle(s.ViewMode), vsReport);
    EXPECT_EQ(StartFolder(s), QString());
    EXPECT_TRUE(m_errors.isEmpty());
}

TEST_F(SettingsTest, ValuesOutOfTheOrdinaryReadAsTheRulesSay)
{
    m_files.setContent(m_ini, "[Setting]\nGridLines=yes\nAutoRpc=2\nBaudrate=0x1C200\nComport=12\n"
                              "AutoVDisk=0\nViewStyle=7\nLanguage=\nCompress=0 ; off\nReconnectSeconds=-4\n");
    const Settings s = load();
    EXPECT_FALSE(s.GridLines);
    EXPECT_TRUE(s.AutoRpc);
    EXPECT_FALSE(s.AutoVDisk);
    EXPECT_EQ(s.Baudrate, 115200);
    EXPECT_EQ(s.Comport, 12);
    EXPECT_EQ(s.ViewMode, 7);
    EXPECT_EQ(StartViewStyle(s.ViewMode), -1);
    EXPECT_EQ(s.Language, "");
    EXPECT_EQ(s.Compress, 1);           // a comment after the number makes it no integer: the default
    EXPECT_EQ(s.ReconnectSeconds, 0);   // no negative wait
    EXPECT_EQ(m_files.writeCount(), 0); // an existing file is not rewritten
}

TEST_F(SettingsTest, StartFolderOnlyForAnExistingLocalFolder)
{
    Settings s;
    s.Pathed = true;
    s.Path = m_dir.path();
    EXPECT_EQ(StartFolder(s), m_dir.path());
    s.Path = m_dir.path() + "/gone";
    EXPECT_EQ(StartFolder(s), QString());
    s.Path = "//server/share";
    EXPECT_EQ(StartFolder(s), QString());
    s.Path = "relative/dir";
    EXPECT_EQ(StartFolder(s), QString());
    s.Path = m_dir.path();
    s.Pathed = false;
    EXPECT_EQ(StartFolder(s), QString());
    s.LastPath = true;
    EXPECT_EQ(StartFolder(s), m_dir.path());
}

TEST_F(SettingsTest, ViewStylesMapBothWays)
{
    const int expected[] = {vsReport, vsIcon, vsSmallIcon, vsList, vsReport, -1, -1};
    for (int mode = 0; mode <= 6; ++mode)
        EXPECT_EQ(StartViewStyle(mode), expected[mode]) << mode;
    EXPECT_EQ(StartViewStyle(-1), -1);
    EXPECT_EQ(ViewModeOf(vsIcon), 1);
    EXPECT_EQ(ViewModeOf(vsReport), 4);
}

TEST_F(SettingsTest, ExitWritesViewOnlyWhenRememberedAndOnlyLocalPaths)
{
    m_files.setContent(m_ini, "[Setting]\nViewStyle=0\nLastPath=1\nPath=/old\n");
    Settings s = load();
    s.ViewMode = 2;
    m_file.saveOnExit(s, QString()); // the computer's top level has no local path
    EXPECT_EQ(m_files.content(m_ini), "[Setting]\nViewStyle=0\nLastPath=1\nPath=/old\n");

    m_files.setContent(m_ini, "[Setting]\nViewStyle=7\nLastPath=1\nPath=/old\n");
    s = load();
    s.ViewMode = 3;
    m_file.saveOnExit(s, "/home/user");
    EXPECT_EQ(m_files.content(m_ini), "[Setting]\nViewStyle=3\nLastPath=1\nPath=/home/user\n");
    EXPECT_EQ(s.Path, "/home/user");
}

TEST_F(SettingsTest, FailedWritesAreReportedOnceAndDefaultsAreUsed)
{
    m_files.setFailWrites(true);
    const Settings s = load();
    EXPECT_EQ(m_errors, QStringList{"Unable to write to " + m_ini});
    EXPECT_EQ(m_files.writeCount(), 1);
    EXPECT_TRUE(s.AutoRpc);
    EXPECT_EQ(s.Baudrate, 115200);

    m_errors.clear();
    EXPECT_FALSE(m_file.writeInt("Comport", 3));
    EXPECT_EQ(m_errors, QStringList{"Unable to write to " + m_ini});
}

TEST_F(SettingsTest, AReadOnlyFileOnDiskIsReportedAndKeptAsItWas)
{
    const QByteArray before = "[Setting]\r\nComport=1\r\n";
    QFile f(m_ini);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(before);
    f.close();
    ASSERT_EQ(::chmod(QFile::encodeName(m_ini).constData(), 0444), 0);

    LinuxProfileFiles disk;
    SettingsFile file(disk, m_ini);
    file.setErrorHandler([this](const QString &m) { m_errors << m; });
    EXPECT_FALSE(file.writeInt("Comport", 3));
    EXPECT_EQ(m_errors, QStringList{"Unable to write to " + m_ini});
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
}

} // namespace
