#include "app/LanguageTable.h"
#include "MemoryProfileFiles.h"
#include "platform/LinuxProfileFiles.h"

#include <QCoreApplication>
#include <QSet>

#include <gtest/gtest.h>

using namespace vexo;

namespace
{

TEST(LanguageTable, WithoutAFileEveryTextIsItsDefault)
{
    test::MemoryProfileFiles files;
    const LanguageTable t = LoadLanguage(files, {"/p/"}, "chs.lng");
    EXPECT_EQ(LanguageTable::keys().size(), 61);
    EXPECT_EQ(t.toolBar("Patse"), "Patse");
    EXPECT_EQ(t.setup("AutoRpcStartup"), "Auto connect palmtop disk while lunch");
    EXPECT_EQ(t.other("RpcPanel") + " - " + t.other("DisConnect"), "PalmTop Filelist - DisConnect");
    EXPECT_EQ(t.other("Init") + t.other("Fail"), "InitializeFail");
    EXPECT_EQ(t.text("other", "CONNECTED"), "Connected");
    EXPECT_EQ(t.text("Other", "NoSuchKey"), "");
}

TEST(LanguageTable, FileValuesWinEmptyValuesStayEmptyMissingKeysDefault)
{
    test::MemoryProfileFiles files;
    files.setContent("/b/eng2.lng", "[ToolBar]\nPatse=Paste\nCopy=\n[Other]\nConnected=Online\n");
    files.setContent("/c/eng2.lng", "[ToolBar]\nPatse=never read\n");
    const LanguageTable t = LoadLanguage(files, {"/a/", "/b/", "/c/"}, "eng2.lng");
    EXPECT_EQ(t.toolBar("Patse"), "Paste");
    EXPECT_EQ(t.toolBar("Copy"), "");
    EXPECT_EQ(t.other("Connected"), "Online");
    EXPECT_EQ(t.other("Connecting"), "Connecting...");
}

TEST(LanguageTable, ShippedFilesCoverEveryKey)
{
    // The language files are copied beside the test programs' folder by the build.
    LinuxProfileFiles files;
    const QString folder = QStringLiteral(VEXO_LANGUAGE_DIR) + "/";
    for (const char *name : {"chs.lng", "eng.lng"}) {
        ASSERT_TRUE(files.exists(folder + name)) << name;
        for (const LanguageTable::Key &k : LanguageTable::keys()) {
            const QString v = files.readString(folder + name, k.section, k.key, "<missing>");
            EXPECT_NE(v, "<missing>") << name << " " << k.section << "/" << k.key;
            EXPECT_FALSE(v.isEmpty()) << name << " " << k.key;
        }
    }
    const LanguageTable chs = LoadLanguage(files, {folder}, "chs.lng");
    EXPECT_NE(chs.toolBar("Patse"), "Patse");
    const LanguageTable eng = LoadLanguage(files, {folder}, "eng.lng");
    for (const LanguageTable::Key &k : LanguageTable::keys())
        EXPECT_EQ(eng.text(k.section, k.key), QString::fromLatin1(k.english)) << k.key;
}

} // namespace
