#include "engine/LanguageTable.h"
#include "MemoryProfileFiles.h"
#include "platform/LinuxProfileFiles.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>

#include <gtest/gtest.h>

using namespace vexo;

namespace
{

TEST(LanguageTable, WithoutAFileEveryTextIsItsDefault)
{
    test::MemoryProfileFiles files;
    const LanguageTable t = LoadLanguage(files, {"/p/"}, "chs.lng");
    EXPECT_EQ(LanguageTable::keys().size(), 56);
    EXPECT_EQ(t.toolBar("Patse"), "Paste");
    EXPECT_EQ(t.setup("AutoRpcStartup"), "Auto connect palmtop disk at launch");
    EXPECT_EQ(t.other("RpcPanel") + " - " + t.other("DisConnect"), "PalmTop Filelist - DisConnect");
    EXPECT_EQ(t.status("InitFailed"), "Starting failed");
    EXPECT_EQ(t.text("other", "CONNECTED"), "Connected");
    EXPECT_EQ(t.text("Other", "NoSuchKey"), "");
    // The fixed messages keep their own words, and no file means no toolkit translation.
    EXPECT_EQ(t.message("DeleteFiles"), QStringLiteral("确定要删除文件吗？    "));
    EXPECT_EQ(t.window("Finish"), "Finish...");
    EXPECT_EQ(t.locale, "");
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

TEST(LanguageTable, AnOlderFileKeepsItsOwnWordsInWholePhrases)
{
    // A file from before the whole-phrase keys: the phrase is made of its own
    // parts, the way the program always joined them. A file that gives the
    // phrase, or none of its parts, is taken as it is.
    test::MemoryProfileFiles files;
    files.setContent("/p/old.lng", "[Other]\nInit=Init \nFail=failed\nCopying=Copying\n"
                                   "[Msg]\nContainfile= exists.\n[Status]\nCopyingFile=Now %1\n");
    const LanguageTable t = LoadLanguage(files, {"/p/"}, "old.lng");
    EXPECT_EQ(t.status("InitFailed"), "Initfailed"); // the file's values are trimmed
    EXPECT_EQ(t.status("CopyingFile"), "Now %1");
    EXPECT_EQ(t.window("ReplaceLine"), "%1, exists.");
    EXPECT_EQ(t.message("ReplaceQuestion"), "%1exists.Would you like to replace this file?");
    EXPECT_EQ(t.status("CopyDone"), "Copy complete");
    // A part that names the phrase itself is taken once, not expanded again.
    files.setContent("/p/loop.lng", "[Other]\nInit={Status/InitFailed}\n");
    EXPECT_EQ(LoadLanguage(files, {"/p/"}, "loop.lng").status("InitFailed"), "{Status/InitFailed}Fail");
}

TEST(LanguageTable, FilesAreListedByTheirOwnNamesAndTellTheirLocale)
{
    test::MemoryProfileFiles files;
    files.setContent("/a/eng.lng", "[Language]\nName=English\nLocale=en\n");
    files.setContent("/a/chs.lng", "[ToolBar]\nCopy=x\n"); // an old file: no [Language]
    files.setContent("/b/eng.lng", "[Language]\nName=Never shown\n");
    files.setContent("/b/deu.LNG", "[Language]\nName=Deutsch\nLocale=de\n");
    files.setContent("/b/notes.txt", "");
    QStringList shown;
    for (const LanguageFileInfo &f : FindLanguageFiles(files, {"/a/", "/b/", "/missing/"}))
        shown << f.displayName + "=" + f.file + "@" + f.locale;
    EXPECT_EQ(shown, QStringList({"chs.lng=chs.lng@zh_CN", "Deutsch=deu.LNG@de", "English=eng.lng@en"}));
    EXPECT_EQ(LoadLanguage(files, {"/a/"}, "chs.lng").locale, "zh_CN");
}

TEST(LanguageTable, AcceleratorsAndPlaceholders)
{
    const struct {
        QString text;
        char letter;
        QString expected;
    } cases[] = {
        {"Yes", 'Y', "&Yes"},      {"Yes to All", 'A', "Yes to &All"},
        {"OK", 'o', "&OK"},        {QStringLiteral("是"), 'Y', QStringLiteral("是(&Y)")},
        {"Nein", 'x', "Nein(&X)"}, {"Save && go", 'S', "Save && go"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(WithAccelerator(c.text, QLatin1Char(c.letter)), c.expected) << c.text.toStdString();
    EXPECT_EQ(Filled("%2 then %1, 100%", {"a%2", "b"}), "b then a%2, 100%");
    EXPECT_EQ(Filled("no places", {"a"}), "no places");
}

TEST(LanguageTable, ShippedFilesCoverEveryKey)
{
    // The language files are copied beside the test programs' folder by the build.
    LinuxProfileFiles files;
    const QString folder = QStringLiteral(VEXO_LANGUAGE_DIR) + "/";
    QList<LanguageTable::Key> all = LanguageTable::keys();
    all += LanguageTable::addedKeys();
    for (const char *name : {"chs.lng", "eng.lng"}) {
        ASSERT_TRUE(files.exists(folder + name)) << name;
        for (const LanguageTable::Key &k : all) {
            const QString v = files.readString(folder + name, k.section, k.key, "<missing>");
            EXPECT_NE(v, "<missing>") << name << " " << k.section << "/" << k.key;
            EXPECT_FALSE(v.isEmpty()) << name << " " << k.key;
        }
    }
    // Chinese gives the fixed Chinese messages exactly; English gives the
    // built-in English texts, and its own words for the fixed ones and for
    // the old table's keys, whose built-in words are the old program's.
    const LanguageTable chs = LoadLanguage(files, {folder}, "chs.lng");
    const LanguageTable eng = LoadLanguage(files, {folder}, "eng.lng");
    EXPECT_EQ(chs.locale, "zh_CN");
    EXPECT_EQ(eng.locale, "en");
    const LanguageTable defaults;
    for (const LanguageTable::Key &k : all) {
        const QString def = defaults.text(k.section, k.key);
        const bool fixed = def.contains(QRegularExpression("[\\x{4e00}-\\x{9fff}]")) ||
                           k.key == QLatin1String("Finish") || k.key == QLatin1String("Stop");
        const bool old = std::any_of(
            LanguageTable::keys().begin(), LanguageTable::keys().end(), [&](const LanguageTable::Key &o) {
                return qstrcmp(o.section, k.section) == 0 && qstrcmp(o.key, k.key) == 0;
            });
        if (fixed) {
            EXPECT_EQ(chs.text(k.section, k.key), def) << k.key;
        } else if (!old) {
            EXPECT_EQ(eng.text(k.section, k.key), def) << k.key;
        }
    }
}

} // namespace
