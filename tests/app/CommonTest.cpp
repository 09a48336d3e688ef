#include "engine/common.h"
#include "ScriptedPrompter.h"
#include "engine/LanguageTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vexo;

namespace
{

struct PathCase {
    const char *text;
    PathKind kind;
    const char *name;
    const char *folder;
};

// Checks one set of path rules (the device's or this system's) against `cases`.
void expectPathRules(std::initializer_list<PathCase> cases, PathKind (*kind)(const QString &),
                     QString (*fileName)(const QString &), QString (*folderPart)(const QString &))
{
    for (const PathCase &c : cases) {
        const QString text = QString::fromUtf8(c.text);
        EXPECT_EQ(kind(text), c.kind) << c.text;
        EXPECT_EQ(fileName(text), QString::fromUtf8(c.name)) << c.text;
        EXPECT_EQ(folderPart(text), QString::fromUtf8(c.folder)) << c.text;
    }
}

TEST(WindowsPathRules, ClassifySplitAndJoin)
{
    expectPathRules(
        {
            {"", pkVDisk, "", ""},
            {"a", pkVDisk, "a", ""},
            {"readme.txt", pkVDisk, "readme.txt", ""},
            {"C:\\dir\\file.txt", pkLocal, "file.txt", "C:\\dir\\"},
            {"#:\\x", pkLocal, "x", "#:\\"},
            {"C:\\dir\\", pkLocal, "", "C:\\dir\\"},
            {"TVR:\\", pkDevice, "", "TVR:\\"},
            {"TVR:\\name.dat", pkDevice, "name.dat", "TVR:\\"},
            {"tvr:\\name.dat", pkOther, "name.dat", "tvr:\\"},
            {"ab:\\x", pkOther, "x", "ab:\\"},
            {"\\\\server\\share\\f", pkVDisk, "f", "\\\\server\\share\\"},
            {"C:file", pkVDisk, "file", ""},
            {"a:b:c", pkVDisk, "c", ""},
        },
        winpath::GetPathKind, winpath::PathFileName, winpath::PathFolderPart);
    EXPECT_EQ(winpath::JoinPath("C:\\", "a.txt"), "C:\\\\a.txt");
    EXPECT_EQ(winpath::JoinPath("C:\\dir", "a.txt"), "C:\\dir\\a.txt");
    // A renamed bare destination stays bare.
    EXPECT_EQ(winpath::PathFolderPart("old.txt") + "new.txt", "new.txt");
}

TEST(NativePathRules, ClassifySplitAndJoin)
{
    expectPathRules(
        {
            {"", pkVDisk, "", ""},
            {"name.txt", pkVDisk, "name.txt", ""},
            {"/home/u/a.txt", pkLocal, "a.txt", "/home/u/"},
            {"/", pkLocal, "", "/"},
            {"/home/u/dir/", pkLocal, "", "/home/u/dir/"},
            {"TVR:\\data.dat", pkDevice, "data.dat", "TVR:\\"},
            {"C:\\dir\\file", pkOther, "C:\\dir\\file", ""},
            {"sub/name", pkOther, "name", "sub/"},
            {"a\\b", pkVDisk, "a\\b", ""},
        },
        GetPathKind, PathFileName, PathFolderPart);
    EXPECT_EQ(JoinPath("/", "a"), "//a");
    EXPECT_EQ(JoinPath("/home/u", "a"), "/home/u/a");
}

TEST(NativePathRules, OnlySafeBareNamesMayBecomeLocalNames)
{
    for (const char *bad : {"", ".", "..", "a/b", "/abs", "a\\b", "..\\x"})
        EXPECT_FALSE(IsSafeBareName(QString::fromUtf8(bad))) << bad;
    EXPECT_FALSE(IsSafeBareName(QStringLiteral("a") + QChar(0) + QStringLiteral("b")));
    for (const char *good : {"a.txt", "...", ".hidden", "中文.dat", "a b"})
        EXPECT_TRUE(IsSafeBareName(QString::fromUtf8(good))) << good;
}

void writeFile(const QString &path, const QByteArray &data = "x")
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

TEST(DeleteFolderTree, RemovesTheTreeButNeverFollowsLinks)
{
    QTemporaryDir root;
    QTemporaryDir outside;
    writeFile(outside.filePath("precious.txt"));
    const QString tree = root.filePath("tree");
    ASSERT_TRUE(QDir().mkpath(tree + "/sub/deeper"));
    writeFile(tree + "/a.txt");
    writeFile(tree + "/sub/deeper/b.txt");
    ASSERT_TRUE(QFile::link(outside.path(), tree + "/sub/link-to-dir"));
    ASSERT_TRUE(QFile::link(outside.filePath("precious.txt"), tree + "/link-to-file"));

    EXPECT_TRUE(DeleteFolderTree(tree));
    EXPECT_FALSE(QFileInfo::exists(tree));
    EXPECT_TRUE(QFileInfo::exists(outside.filePath("precious.txt")));
}

TEST(DeleteFolderTree, StopsAtReadOnlyFilesAndDotFolders)
{
    QTemporaryDir root;
    const QString tree = root.filePath("tree");
    ASSERT_TRUE(QDir().mkpath(tree + "/.config"));
    writeFile(tree + "/.config/keep");
    EXPECT_FALSE(DeleteFolderTree(tree));
    EXPECT_TRUE(QFileInfo::exists(tree + "/.config/keep"));

    const QString ro = root.filePath("ro");
    ASSERT_TRUE(QDir().mkpath(ro));
    writeFile(ro + "/locked.txt");
    ::chmod(QFile::encodeName(ro + "/locked.txt").constData(), 0444);
    EXPECT_FALSE(DeleteFolderTree(ro));
    EXPECT_TRUE(QFileInfo::exists(ro + "/locked.txt"));
}

TEST(DeleteFolderTree, RefusesWhatIsNotAFolder)
{
    QTemporaryDir root;
    const QString cwd = QDir::currentPath();
    EXPECT_FALSE(DeleteFolderTree(root.filePath("missing")));
    writeFile(root.filePath("file"));
    EXPECT_FALSE(DeleteFolderTree(root.filePath("file")));
    ASSERT_TRUE(QDir().mkpath(root.filePath("real")));
    ASSERT_TRUE(QFile::link(root.filePath("real"), root.filePath("alias")));
    EXPECT_FALSE(DeleteFolderTree(root.filePath("alias")));
    EXPECT_TRUE(QFileInfo(root.filePath("real")).isDir());
    EXPECT_EQ(QDir::currentPath(), cwd);
}

TEST(WorkFolder, IsCreatedPrivateAndNeverALink)
{
    QTemporaryDir temp;
    const QString base = temp.path() + "/";
    const QString work = PrepareWorkFolder(base);
    EXPECT_EQ(work, base + "VexoFile");
    EXPECT_TRUE(QFileInfo(work).isDir());
    EXPECT_EQ(PrepareWorkFolder(base), work); // an existing folder is fine

    QTemporaryDir other;
    QTemporaryDir victim;
    const QString otherBase = other.path() + "/";
    ASSERT_TRUE(QFile::link(victim.path(), otherBase + "VexoFile"));
    const QString safe = PrepareWorkFolder(otherBase);
    EXPECT_FALSE(safe.isEmpty());
    EXPECT_NE(safe, otherBase + "VexoFile");
    EXPECT_FALSE(QFileInfo(safe).isSymLink());
}

TEST(ConfirmFileDelete, NamesTheFileOrTheCountAndTakesOnlyOk)
{
    test::ScriptedPrompter prompter;
    prompter.answer(PromptAnswer::Ok);
    const LanguageTable defaults;
    EXPECT_TRUE(ConfirmFileDelete(prompter, defaults, {}));
    EXPECT_FALSE(ConfirmFileDelete(prompter, defaults, {"MEMO.TXT"})); // closed box: Cancel
    EXPECT_FALSE(ConfirmFileDelete(prompter, defaults, {"A", "B", "C"}));
    ASSERT_EQ(prompter.questions().size(), 3);
    EXPECT_EQ(prompter.questions()[0].text, QStringLiteral("确定要删除文件吗？    "));
    EXPECT_EQ(prompter.questions()[1].text, QStringLiteral("Delete MEMO.TXT?"));
    EXPECT_EQ(prompter.questions()[2].text, QStringLiteral("Delete these 3 files?"));
    EXPECT_EQ(prompter.questions()[0].title, QStringLiteral("系统提示"));
    EXPECT_EQ(prompter.questions()[0].buttons, PromptButtons::OkCancel);
    EXPECT_EQ(prompter.questions()[0].icon, PromptIcon::Question);
}

} // namespace
