#include "MemoryProfileFiles.h"
#include "platform/CodePage.h"
#include "platform/LinuxProfileFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using vexo::test::MemoryProfileFiles;

namespace
{

const QString Ini = QStringLiteral("/p/VexoFile.ini");

// The text as a UTF-16 file with its byte-order mark.
QByteArray utf16(const QString &text, bool littleEndian)
{
    QByteArray bytes = littleEndian ? QByteArray("\xFF\xFE") : QByteArray("\xFE\xFF");
    for (const QChar c : text) {
        const char lo = static_cast<char>(c.unicode() & 0xFF);
        const char hi = static_cast<char>(c.unicode() >> 8);
        bytes.append(littleEndian ? lo : hi).append(littleEndian ? hi : lo);
    }
    return bytes;
}
QByteArray utf16le(const char *text)
{
    return utf16(QString::fromUtf8(text), true);
}
QByteArray utf16be(const char *text)
{
    return utf16(QString::fromUtf8(text), false);
}

struct ReadCase {
    const char *name;
    QByteArray file;
    const char *section;
    const char *key;
    const char *expected;
};

void PrintTo(const ReadCase &c, std::ostream *os)
{
    *os << c.name;
}

class ProfileRead : public testing::TestWithParam<ReadCase>
{
};

TEST_P(ProfileRead, GivesTheValueOrTheDefault)
{
    MemoryProfileFiles files;
    files.setContent(Ini, GetParam().file);
    EXPECT_EQ(files.readString(Ini, QString::fromUtf8(GetParam().section), QString::fromUtf8(GetParam().key),
                               QStringLiteral("<def>")),
              QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Semantics, ProfileRead,
    testing::Values(ReadCase{"plain", "[Setting]\nLanguage=chs.lng\n", "Setting", "Language", "chs.lng"},
                    ReadCase{"caseInsensitiveNames", "[SETTING]\nlanguage=x\n", "setting", "LANGUAGE", "x"},
                    ReadCase{"trimmed", "  [ Setting ]  \n  Language =  eng.lng  \n", "Setting", "Language",
                             "eng.lng"},
                    ReadCase{"doubleQuotes", "[S]\nK=\" spaced \"\n", "S", "K", " spaced "},
                    ReadCase{"singleQuotes", "[S]\nK='q'\n", "S", "K", "q"},
                    ReadCase{"unbalancedQuote", "[S]\nK=\"q\n", "S", "K", "\"q"},
                    ReadCase{"emptyValueIsNotDefault", "[S]\nK=\n", "S", "K", ""},
                    ReadCase{"missingKey", "[S]\nOther=1\n", "S", "K", "<def>"},
                    ReadCase{"missingSection", "[T]\nK=1\n", "S", "K", "<def>"},
                    ReadCase{"keyInOtherSection", "[T]\nK=1\n[S]\nX=2\n", "S", "K", "<def>"},
                    ReadCase{"commentLinesIgnored", "[S]\n;K=c\n#K=h\nK=v\n", "S", "K", "v"},
                    ReadCase{"firstKeyWins", "[S]\nK=first\nK=second\n", "S", "K", "first"},
                    ReadCase{"firstSectionWins", "[S]\nA=1\n[S]\nK=late\n", "S", "K", "<def>"},
                    ReadCase{"crlf", "[S]\r\nK=v\r\nL=w\r\n", "S", "L", "w"},
                    ReadCase{"utf8Bom", "\xEF\xBB\xBF[S]\nK=v\n", "S", "K", "v"},
                    ReadCase{"equalsInValue", "[S]\nK=a=b\n", "S", "K", "a=b"},
                    ReadCase{"gbkValue", "[S]\nK=\xD6\xD0\xCE\xC4\n", "S", "K", "中文"},
                    ReadCase{"utf16le", utf16le("[S]\r\nK=中文\r\n"), "S", "K", "中文"},
                    ReadCase{"utf16be", utf16be("[S]\nK=中文"), "S", "K", "中文"},
                    ReadCase{"utf8Value", "[S]\nK=中文\n", "S", "K", "中文"},
                    ReadCase{"lastLineWithoutEnding", "[S]\nK=end", "S", "K", "end"}),
    [](const testing::TestParamInfo<ReadCase> &info) { return std::string(info.param.name); });

TEST(ProfileFiles, MissingFileGivesDefaults)
{
    MemoryProfileFiles files;
    EXPECT_EQ(files.readString(Ini, "S", "K", "d"), "d");
    EXPECT_EQ(files.readInt(Ini, "S", "K", 7), 7);
    EXPECT_TRUE(files.readBool(Ini, "S", "K", true));
}

TEST(ProfileFiles, LongValuesAreCutTo2047BytesWithoutBreakingACharacter)
{
    MemoryProfileFiles files;
    files.setContent(Ini, "[S]\nA=" + QByteArray(3000, 'a') + "\nB=a" + QString(1500, u'中').toUtf8() + "\n");
    EXPECT_EQ(files.readString(Ini, "S", "A", "").size(), 2047);
    // UTF-8: 1 + 3*682 = 2047 bytes.
    EXPECT_EQ(files.readString(Ini, "S", "B", ""), "a" + QString(682, u'中'));
    // CP936: 1 + 2*1023 = 2047 bytes.
    files.setContent(Ini, "[S]\nC=a" + vexo::CodePage::toCp936(QString(1500, u'中')) + "\n");
    EXPECT_EQ(files.readString(Ini, "S", "C", ""), "a" + QString(1023, u'中'));
}

TEST(ProfileFiles, IntegersFollowTheProfileRules)
{
    struct Case {
        const char *text;
        int expected;
    } cases[] = {{"115200", 115200},
                 {"0x1C200", 115200},
                 {"0X1c200", 115200},
                 {"-5", -5},
                 {"+7", 7},
                 {"0x", 99},
                 {"yes", 99},
                 {"12abc", 99},
                 {"", 99},
                 {"2", 2},
                 {"0xFFFFFFFF", -1},
                 {"0x1FFFFFFFF", 99},
                 {"99999999999", 99},
                 {" 42 ", 42},
                 {"0x-1", 99},
                 // A comment after a number is not cut off: the value is not an integer.
                 {"115200 ; fast", 99}};
    MemoryProfileFiles files;
    for (const Case &c : cases) {
        files.setContent(Ini, QByteArray("[S]\nK=") + c.text + "\n");
        EXPECT_EQ(files.readInt(Ini, "S", "K", 99), c.expected) << c.text;
    }
    files.setContent(Ini, "[S]\nYes=yes\nTwo=2\nZero=0\n");
    EXPECT_FALSE(files.readBool(Ini, "S", "Yes", false)); // "yes" is not an integer: default
    EXPECT_TRUE(files.readBool(Ini, "S", "Two", false));
    EXPECT_FALSE(files.readBool(Ini, "S", "Zero", true));
}

TEST(ProfileFiles, WritesInPlaceAppendToSectionOrAddSection)
{
    MemoryProfileFiles files;
    files.setContent(Ini, "; keep me\r\n[A]\r\nX=1\r\n\r\n[B]\r\nY=2\r\n");
    ASSERT_TRUE(files.writeString(Ini, "a", "x", "10"));
    ASSERT_TRUE(files.writeString(Ini, "A", "Z", "3"));
    ASSERT_TRUE(files.writeString(Ini, "C", "W", "4"));
    EXPECT_EQ(files.content(Ini), "; keep me\r\n[A]\r\nX=10\r\nZ=3\r\n\r\n[B]\r\nY=2\r\n[C]\r\nW=4\r\n");
}

TEST(ProfileFiles, WriteToFileWithoutFinalNewlineAndToNewFile)
{
    MemoryProfileFiles files;
    files.setContent(Ini, "[A]\nX=1");
    ASSERT_TRUE(files.writeInt(Ini, "A", "Y", 2));
    EXPECT_EQ(files.content(Ini), "[A]\nX=1\nY=2\n");

    ASSERT_TRUE(files.writeBool("/new.ini", "S", "K", true));
    EXPECT_EQ(files.content("/new.ini"), "[S]\nK=1\n");
}

TEST(ProfileFiles, ValuesThatTrimmingWouldChangeRoundTrip)
{
    MemoryProfileFiles files;
    for (const QString &value : {QStringLiteral(" lead"), QStringLiteral("trail "), QStringLiteral("\"q\""),
                                 QStringLiteral("中文 路径")}) {
        ASSERT_TRUE(files.writeString(Ini, "S", "K", value));
        EXPECT_EQ(files.readString(Ini, "S", "K", "d"), value);
    }
    ASSERT_TRUE(files.writeString(Ini, "S", "K", "two\nlines"));
    EXPECT_EQ(files.readString(Ini, "S", "K", "d"), "two lines");
    EXPECT_EQ(files.readString(Ini, "S", "lines", "none"), "none");
}

struct WriteCase {
    const char *name;
    QByteArray before;
    const char *key;
    const char *value;
    bool written;
    QByteArray after; // the file's bytes after the write
};

void PrintTo(const WriteCase &c, std::ostream *os)
{
    *os << c.name;
}

class ProfileWrite : public testing::TestWithParam<WriteCase>
{
};

TEST_P(ProfileWrite, ChangesOnlyTheLineItWrites)
{
    MemoryProfileFiles files;
    files.setContent(Ini, GetParam().before);
    EXPECT_EQ(
        files.writeString(Ini, "S", QString::fromUtf8(GetParam().key), QString::fromUtf8(GetParam().value)),
        GetParam().written);
    EXPECT_EQ(files.content(Ini), GetParam().after);
    if (GetParam().written) {
        EXPECT_EQ(files.readString(Ini, "S", QString::fromUtf8(GetParam().key), "<def>"),
                  QString::fromUtf8(GetParam().value));
    }
}

INSTANTIATE_TEST_SUITE_P(
    BytesAfterAWrite, ProfileWrite,
    testing::Values(
        WriteCase{"lf", "[S]\n  A = 1  \nK=1\n; note\n", "K", "2", true, "[S]\n  A = 1  \nK=2\n; note\n"},
        WriteCase{"crlfNewKey", "[S]\r\nA=1\r\n\r\n[T]\r\n", "K", "v", true,
                  "[S]\r\nA=1\r\nK=v\r\n\r\n[T]\r\n"},
        WriteCase{"keyKeepsItsSpelling", "[S]\nWidth=1\n", "WIDTH", "2", true, "[S]\nWidth=2\n"},
        WriteCase{"utf8Bom", "\xEF\xBB\xBF[S]\nK=1\n", "K", "新", true, "\xEF\xBB\xBF[S]\nK=新\n"},
        WriteCase{"utf16le", utf16le("[S]\r\nName=中文\r\nK=1\r\n"), "K", "新", true,
                  utf16le("[S]\r\nName=中文\r\nK=新\r\n")},
        WriteCase{"utf16beNewKeyAfterLastLine", utf16be("[S]\nName=中文"), "K", "😀", true,
                  utf16be("[S]\nName=中文\nK=😀\n")},
        WriteCase{"utf16OddLastByteStaysLast", utf16le("[S]\nA=1\n") + "x", "K", "2", true,
                  utf16le("[S]\nA=1\nK=2\n") + "x"},
        WriteCase{"latin1BytesKept", "[S]\nName=caf\xE9\nK=1\n", "K", "2", true, "[S]\nName=caf\xE9\nK=2\n"},
        WriteCase{"gbk", "[S]\nName=\xD6\xD0\xCE\xC4\nK=1\n", "K", "新", true,
                  "[S]\nName=\xD6\xD0\xCE\xC4\nK=\xD0\xC2\n"},
        WriteCase{"gbkTurnsUtf8ForAValueItCannotHold", "[S]\r\nName=\xD6\xD0\xCE\xC4\r\n", "K", "😀", true,
                  "[S]\r\nName=中文\r\nK=😀\r\n"},
        WriteCase{"latin1CannotTurnUtf8", "[S]\nName=caf\xE9\nK=1\n", "K", "😀", false,
                  "[S]\nName=caf\xE9\nK=1\n"},
        WriteCase{"keyThatWouldReadBackAsAnother", "[S]\nK=1\n", "K=2", "3", false, "[S]\nK=1\n"}),
    [](const testing::TestParamInfo<WriteCase> &info) { return std::string(info.param.name); });

TEST(LinuxProfileFiles, ReplacesTheFileAtomicallyAndReportsFailures)
{
    QTemporaryDir dir;
    vexo::LinuxProfileFiles files;
    const QString ini = dir.filePath("VexoFile.ini");
    ASSERT_TRUE(files.writeString(ini, "S", "K", "v"));
    ASSERT_TRUE(files.writeString(ini, "S", "L", "w"));
    EXPECT_EQ(files.readString(ini, "S", "K", ""), "v");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"VexoFile.ini"});

    EXPECT_FALSE(files.writeString(dir.filePath("missing/VexoFile.ini"), "S", "K", "v"));
    // A folder where the file should be cannot be replaced; nothing is left behind.
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.ini"));
    EXPECT_FALSE(files.writeString(dir.filePath("taken.ini"), "S", "K", "v"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"VexoFile.ini"});
}

// Who may write what is decided for an ordinary user. The tests run as root in
// CI, where the kernel lets everything through: those cases run in a child that
// has dropped to nobody, and only read-only permissions are checked as root.
struct LockedCase {
    const char *name;
    mode_t folderMode;
    mode_t fileMode; // 0: no file yet
    bool asUser;     // written by an ordinary user rather than by this process
    bool fileOfUser; // the file belongs to that user, not to root
    bool folderOfUser;
    bool written;
};

void PrintTo(const LockedCase &c, std::ostream *os)
{
    *os << c.name;
}

class LockedFile : public testing::TestWithParam<LockedCase>
{
};

// The child's exit code: 0 refused, 1 written, 2 could not become nobody,
// 3 nobody cannot reach the folder.
int writeAsNobody(const QString &folder, const QString &ini)
{
    const passwd *nobody = ::getpwnam("nobody");
    if (!nobody)
        return 2;
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 ||
            ::setresgid(nobody->pw_gid, nobody->pw_gid, nobody->pw_gid) != 0 ||
            ::setresuid(nobody->pw_uid, nobody->pw_uid, nobody->pw_uid) != 0)
            ::_exit(2);
        if (::access(QFile::encodeName(folder).constData(), X_OK) != 0)
            ::_exit(3);
        vexo::LinuxProfileFiles files;
        ::_exit(files.writeString(ini, "S", "K", "2") ? 1 : 0);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return 2;
    return WEXITSTATUS(status);
}

TEST_P(LockedFile, IsNotWrittenAndStaysAsItWas)
{
    const LockedCase &c = GetParam();
    const bool root = ::geteuid() == 0;
    if (c.asUser && !(c.fileOfUser && c.folderOfUser) && !root)
        GTEST_SKIP() << "giving a file or folder to another user needs root";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    const QString folder = dir.filePath("cfg");
    const QString ini = folder + "/VexoFile.ini";
    const QByteArray before = "[S]\r\nK=1\r\n";
    ASSERT_TRUE(QDir().mkdir(folder));
    const passwd *nobody = ::getpwnam("nobody");
    if (c.fileMode != 0) {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(before);
        f.close();
        ASSERT_EQ(::chmod(QFile::encodeName(ini).constData(), c.fileMode), 0);
        if (c.asUser && c.fileOfUser && root) {
            ASSERT_NE(nobody, nullptr) << "no user nobody to drop to";
            ASSERT_EQ(::chown(QFile::encodeName(ini).constData(), nobody->pw_uid, nobody->pw_gid), 0);
        }
    }
    if (c.asUser && c.folderOfUser && root) {
        ASSERT_NE(nobody, nullptr) << "no user nobody to drop to";
        ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), nobody->pw_uid, nobody->pw_gid), 0);
    }
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), c.folderMode), 0);

    int result = 0;
    if (c.asUser && root) {
        result = writeAsNobody(folder, ini);
        ASSERT_NE(result, 2) << "could not drop to the user nobody";
        if (result == 3)
            GTEST_SKIP() << "nobody cannot reach " << qPrintable(dir.path())
                         << "; set TMPDIR to a shared folder";
    } else {
        vexo::LinuxProfileFiles files;
        result = files.writeString(ini, "S", "K", "2") ? 1 : 0;
    }
    ::chmod(QFile::encodeName(folder).constData(), 0755);

    EXPECT_EQ(result == 1, c.written);
    QFile f(ini);
    if (c.fileMode == 0) {
        EXPECT_EQ(f.exists(), c.written);
    } else {
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), c.written ? QByteArray("[S]\r\nK=2\r\n") : before);
        struct stat st {
        };
        ASSERT_EQ(::stat(QFile::encodeName(ini).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.fileMode);
        if (c.asUser && c.fileOfUser && root) {
            EXPECT_EQ(st.st_uid, nobody->pw_uid); // the file stays its owner's
        }
    }
    // No temporary file is left behind.
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden),
              c.written || c.fileMode != 0 ? QStringList{"VexoFile.ini"} : QStringList{});
}

INSTANTIATE_TEST_SUITE_P(
    Permissions, LockedFile,
    testing::Values(LockedCase{"readOnlyFile", 0755, 0444, false, false, false, false},
                    LockedCase{"readOnlyFolder", 0555, 0644, false, false, false, false},
                    LockedCase{"newFileInReadOnlyFolder", 0555, 0, false, false, false, false},
                    LockedCase{"userReadOnlyFile", 0755, 0444, true, true, true, false},
                    LockedCase{"anotherUsersFileInASharedFolder", 0777, 0644, true, false, false, false},
                    LockedCase{"anotherUsersFolder", 0755, 0666, true, true, false, false},
                    LockedCase{"userFile", 0755, 0644, true, true, true, true}),
    [](const testing::TestParamInfo<LockedCase> &info) { return std::string(info.param.name); });

} // namespace
