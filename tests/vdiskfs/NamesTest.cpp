// Names: how they are stored (8.3 with case flags, or long name plus
// alias), how stored entries written by any tool are read back, and how
// lookups compare them.
#include "DirEntry.h"
#include "NameCodec.h"
#include "RootDirectory.h"
#include "ShortName.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vexo
{
namespace
{

std::string n83(const dirent::ShortName &n)
{
    return std::string(reinterpret_cast<const char *>(n.data()), 11);
}

TEST(ShortName, StoresPlainNamesAsWindowsDoes)
{
    struct Case {
        const char *name;
        const char *stored; // nullptr: needs a long name
        uint8_t flags;
    };
    const Case cases[] = {
        {"a.txt", "A       TXT", 0x18},
        {"A.TXT", "A       TXT", 0},
        {"a.TXT", "A       TXT", 0x08},
        {"README", "README     ", 0},
        {"readme", "README     ", 0x08},
        {"12345678.123", "12345678123", 0},
        {"f0001.bin", "F0001   BIN", 0x18},
        {"x_$~1.a", "X_$~1   A  ", 0x18},
        {"Abc.txt", nullptr, 0},
        {"abcdefghi.txt", nullptr, 0},
        {"a.text", nullptr, 0},
        {"a b.txt", nullptr, 0},
        {".bashrc", nullptr, 0},
        {"a.b.c", nullptr, 0},
        {"x+y.txt", nullptr, 0},
        {"\xB2\xE2.txt", nullptr, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        dirent::ShortName stored;
        uint8_t flags = 0xFF;
        ASSERT_EQ(shortname::plainForm(c.name, stored, flags), c.stored != nullptr);
        if (c.stored != nullptr) {
            EXPECT_EQ(n83(stored), c.stored);
            EXPECT_EQ(flags, c.flags);
            EXPECT_EQ(shortname::display(stored, flags), c.name) << "reads back as given";
        }
    }
}

TEST(ShortName, MakesAliasBasesAndShowsStoredNames)
{
    struct Case {
        const char *name;
        const char *base;
        const char *ext;
        bool lossy;
    };
    const Case cases[] = {
        {"Abc.txt", "ABC", "TXT", false}, {"abcdefghijkl.txt", "ABCDEFGH", "TXT", true},
        {"a b.txt", "AB", "TXT", true},   {".bashrc", "BASHRC", "", true},
        {"x+y.html", "X_Y", "HTM", true}, {"\xB2\xE2\xCA\xD4.txt", "__", "TXT", true}, // two GBK characters
        {"a.b.c", "AB", "C", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        shortname::Basis b = shortname::basis(c.name);
        EXPECT_EQ(b.base, c.base);
        EXPECT_EQ(b.ext, c.ext);
        EXPECT_EQ(b.lossy, c.lossy);
    }
    shortname::Basis b = shortname::basis("abcdefghijkl.txt");
    EXPECT_EQ(n83(shortname::withTail(b, 1)), "ABCDEF~1TXT");
    EXPECT_EQ(n83(shortname::withTail(b, 12345)), "AB~12345TXT");
    // The lower-case flag never touches the second byte of a GBK character
    // ("\xC4\x41" is one character whose trail byte looks like 'A').
    dirent::ShortName stored = shortname::compose("\xC4\x41"
                                                  "B",
                                                  "TXT");
    EXPECT_EQ(shortname::display(stored, 0x18), "\xC4\x41"
                                                "b.txt");
    EXPECT_EQ(shortname::display(shortname::compose("\xE5"
                                                    "AB",
                                                    ""),
                                 0),
              "\xE5"
              "AB")
        << "0x05 stands for 0xE5";
}

TEST(NameCodec, ConvertsGbkAndFoldsCaseLikeWindows)
{
    NameCodec codec;
    std::u16string text;
    ASSERT_TRUE(codec.toUtf16("\xB2\xE2\xCA\xD4.txt", text)); // 测试.txt
    EXPECT_EQ(text, u"\u6D4B\u8BD5.txt");
    std::string back;
    ASSERT_TRUE(codec.toCp936(text, back));
    EXPECT_EQ(back, "\xB2\xE2\xCA\xD4.txt");
    EXPECT_FALSE(codec.toUtf16("\xB2", text)) << "a lone lead byte";
    EXPECT_FALSE(codec.toCp936(u"\U0001F600", back)) << "no GBK form";
    EXPECT_EQ(NameCodec::foldCase(u"ReadMe.\u00e9\u03b1\u0436z"), u"README.\u00c9\u0391\u0416Z");
}

// Builds raw root slots from a list of pieces.
struct RawDir {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(64 * 32, 0);
    size_t next = 0;
    uint8_t *slot() { return &bytes[32 * next++]; }
    void file(const char *name11, uint32_t size, uint8_t flags = 0, uint8_t attr = dirent::kAttrArchive)
    {
        dirent::ShortEntry e;
        std::memcpy(e.name.data(), name11, 11);
        e.attr = attr;
        e.caseFlags = flags;
        e.size = size;
        e.cluster = size > 0 ? 2 : 0;
        e.encode(slot());
    }
    // A file under its long name: the name's pieces, then the short entry.
    void longFile(const std::u16string &text, const char *name11, uint32_t size, int damage = 0)
    {
        longName(text, name11, damage);
        file(name11, size);
    }
    void longName(const std::u16string &text, const char *name11, int damage = 0)
    {
        dirent::ShortName n;
        std::memcpy(n.data(), name11, 11);
        const int pieces = int((text.size() + 12) / 13);
        for (int k = pieces; k >= 1; --k) {
            dirent::LfnEntry e;
            e.ordinal = static_cast<uint8_t>(k | (k == pieces ? dirent::kLfnLast : 0));
            e.checksum = static_cast<uint8_t>(dirent::checksum(n) + (damage == 1 ? 1 : 0));
            for (size_t i = 0; i < 13; ++i) {
                size_t at = size_t(k - 1) * 13 + i;
                e.chars[i] = at < text.size() ? text[at] : at == text.size() ? u'\0' : u'\xFFFF';
            }
            if (damage == 2 && k == 1)
                e.ordinal = 3; // out of sequence
            e.encode(slot());
        }
    }
};

std::vector<std::string> listed(RootDirectory &dir)
{
    std::vector<std::string> names;
    for (const DirFile *f = dir.nextFile(0); f; f = dir.nextFile(f->shortSlot + 1))
        names.push_back(f->name);
    return names;
}

TEST(RootDirectory, ReadsEveryFormOtherToolsWrite)
{
    RawDir raw;
    raw.file("NO NAME    ", 0, 0, dirent::kAttrVolume | dirent::kAttrArchive);
    raw.file("A       TXT", 3, 0x18);
    raw.longFile(u"Mixed Case.Txt", "MIXEDC~1TXT", 5);
    raw.longFile(u"\u6D4B\u8BD5.txt", "__~1    TXT", 7);
    raw.longFile(u"a name much longer than seventeen.txt", "ANAMEM~1TXT", 9);
    raw.longFile(u"bad sum.txt", "BADSUM~1TXT", 1, 1);
    raw.longFile(u"out of order name.txt", "OUTOFO~1TXT", 1, 2);
    raw.longFile(u"../escape", "ESCAPE~1   ", 1);
    raw.longFile(u".", "DOT~1      ", 1);
    raw.longFile(u"..", "DOTDOT~1   ", 1);
    raw.file(".          ", 1); // files named like a folder's own entries
    raw.file("..         ", 1);
    raw.file("SUBDIR     ", 0, 0, dirent::kAttrDirectory);
    raw.file("\xE5"
             "ELETEDTXT",
             4);
    raw.file("\x05"
             "ABC    TXT",
             2);
    raw.file("CTRL\x01    TXT", 2);
    raw.longName(u"orphan piece", "NOBODY     ");
    raw.slot()[0] = dirent::kEnd;
    raw.file("AFTEREND   ", 1); // behind the end marker: not a file, and blanked
    NameCodec codec;
    RootDirectory dir;
    dir.parse(raw.bytes, codec);
    EXPECT_EQ(listed(dir),
              (std::vector<std::string>{"a.txt", "Mixed Case.Txt", "\xB2\xE2\xCA\xD4.txt", "ANAMEM~1.TXT",
                                        "BADSUM~1.TXT", "OUTOFO~1.TXT", "ESCAPE~1", "DOT~1", "DOTDOT~1",
                                        "\xE5"
                                        "ABC.TXT"}));
    EXPECT_EQ(dir.find(u"."), nullptr) << "neither listed nor found, so never removed";
    EXPECT_EQ(dir.find(u".."), nullptr);
    EXPECT_NE(dir.find(NameCodec::foldCase(u"MIXED CASE.TXT")), nullptr);
    EXPECT_NE(dir.find(NameCodec::foldCase(u"anamem~1.txt")), nullptr);
    RootDirectory::Findings f = dir.findings();
    EXPECT_EQ(f.folders.size(), 1u);
    EXPECT_EQ(f.unusableEntries, 3u);
    EXPECT_EQ(f.orphanSlots, 4u); // bad sum, out of order (2 pieces), orphan
    EXPECT_EQ(f.staleSlots, 1u);
    EXPECT_TRUE(dir.dirty()) << "the stale slot is blanked on the next write";
}

TEST(RootDirectory, ShowsAnEqualNameOnlyOnceAndTheOtherByItsShortName)
{
    RawDir raw;
    raw.file("README  TXT", 1);
    raw.longFile(u"readme.txt", "README~1TXT", 2);
    NameCodec codec;
    RootDirectory dir;
    dir.parse(raw.bytes, codec);
    EXPECT_EQ(listed(dir), (std::vector<std::string>{"README.TXT", "README~1.TXT"}));
}

TEST(RootDirectory, PlansAliasesThatNeverClash)
{
    NameCodec codec;
    RootDirectory dir;
    dir.parse(std::vector<uint8_t>(16 * 32, 0), codec);
    auto add = [&](const std::string &name, const std::u16string &text) {
        RootDirectory::NamePlan plan = dir.plan(name, text);
        uint32_t first = 0;
        EXPECT_EQ(dir.reserve(plan, first), VDiskError::None) << name;
        dir.create(plan, first, name, NameCodec::foldCase(text), dirent::ShortEntry());
        return plan;
    };
    RootDirectory::NamePlan p = add("a.txt", u"a.txt");
    EXPECT_EQ(p.slots, 1u);
    p = add("Abc.txt", u"Abc.txt");
    EXPECT_EQ(n83(p.shortName), "ABC     TXT") << "case alone needs no tail";
    EXPECT_EQ(p.slots, 2u);
    EXPECT_EQ(n83(add("abcdefghijkl.txt", u"abcdefghijkl.txt").shortName), "ABCDEF~1TXT");
    EXPECT_EQ(n83(add("abcdefghijkm.txt", u"abcdefghijkm.txt").shortName), "ABCDEF~2TXT");
    p = add("ABCDEF~1.TXT", u"ABCDEF~1.TXT");
    EXPECT_EQ(p.slots, 2u) << "a plain name equal to another file's alias gets a long name";
    EXPECT_EQ(n83(p.shortName), "ABCDEF~3TXT");
    // 16 slots: 1 + 2 + 3 + 3 + 2 used, then 3 more; a 17-character name
    // needs 3 again.
    EXPECT_EQ(add("seventeen chars.x", u"seventeen chars.x").slots, 3u);
    RootDirectory::NamePlan full = dir.plan("seventeen chars.z", u"seventeen chars.z");
    uint32_t first = 0;
    EXPECT_EQ(dir.reserve(full, first), VDiskError::RootFull);
    EXPECT_EQ(dir.reserve(dir.plan("b.txt", u"b.txt"), first), VDiskError::None) << "a bare entry still fits";
}

} // namespace
} // namespace vexo
