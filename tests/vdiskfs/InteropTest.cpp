// Against independent tools: after random sequences of our operations
// fsck.fat finds nothing and mtools reads every file back; files mtools
// puts into an image are listed and read back by us.
#include "VDiskTestSupport.h"
#include "VexoVDisk.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <map>
#include <set>

namespace vexo
{
namespace
{

struct Name {
    std::string cp936;
    std::string utf8;
};

// ASCII names, names that need long entries, and GBK ones.
const Name kPool[] = {
    {"a.txt", "a.txt"},
    {"B.TXT", "B.TXT"},
    {"readme", "readme"},
    {"Mixed Case.Txt", "Mixed Case.Txt"},
    {"x", "x"},
    {"ABCDEFGH.IJK", "ABCDEFGH.IJK"},
    {"abcdefghijkl.txt", "abcdefghijkl.txt"},
    {"abcdefghijkm.txt", "abcdefghijkm.txt"},
    {".profile", ".profile"},
    {"with  spaces.d", "with  spaces.d"},
    {"seventeen-bytes-x", "seventeen-bytes-x"},
    {"\xB2\xE2\xCA\xD4.txt", "\xE6\xB5\x8B\xE8\xAF\x95.txt"},
    {"\xB3\xA4\xCE\xC4\xBC\xFE\xC3\xFB.doc", "\xE9\x95\xBF\xE6\x96\x87\xE4\xBB\xB6\xE5\x90\x8D.doc"},
    {"\xCA\xFD\xBE\xDD", "\xE6\x95\xB0\xE6\x8D\xAE"},
    {"n1.bin", "n1.bin"},
    {"n2.bin", "n2.bin"},
    {"N3.Bin", "N3.Bin"},
    {"n4.bin", "n4.bin"},
};

std::set<std::string> apiNames()
{
    std::vector<std::string> names = test::apiList();
    return std::set<std::string>(names.begin(), names.end());
}

std::string lower(std::string s)
{
    for (char &c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

class Interop : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (test::run("command -v fsck.fat && command -v mcopy && command -v mdir") != 0)
            GTEST_SKIP() << "dosfstools or mtools missing";
        ::setenv("MTOOLS_SKIP_CHECK", "1", 1);
        ::setenv("LC_ALL", "C.UTF-8", 1);
        DestoryFileSystem();
    }
    void TearDown() override
    {
        DestoryFileSystem();
        SetVdiskFile(nullptr);
    }

    static std::set<std::string> localFiles(const std::string &dir)
    {
        std::set<std::string> names;
        DIR *d = ::opendir(dir.c_str());
        while (struct ::dirent *e = d ? ::readdir(d) : nullptr)
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.insert(e->d_name);
        if (d)
            ::closedir(d);
        return names;
    }

    // The image as other tools see it must match the model exactly.
    void verifyWithTools(const std::string &image,
                         const std::map<std::string, std::pair<Name, std::string>> &model)
    {
        std::string output;
        EXPECT_EQ(test::run("fsck.fat -n " + test::quote(image), &output), 0) << output;
        const std::string out = m_dir.file("out");
        test::run("rm -rf " + test::quote(out) + " && mkdir " + test::quote(out));
        if (!model.empty()) {
            ASSERT_EQ(
                test::run("mcopy -n -i " + test::quote(image) + " '::*' " + test::quote(out + "/"), &output),
                0)
                << output;
        }
        std::set<std::string> expected;
        for (const auto &entry : model) {
            expected.insert(entry.second.first.utf8);
            EXPECT_TRUE(test::readLocal(out + "/" + entry.second.first.utf8) == entry.second.second)
                << entry.second.first.utf8;
        }
        EXPECT_EQ(localFiles(out), expected);
    }

    void randomSequence(size_t imageBytes, unsigned seed)
    {
        const std::string image = m_dir.file("seq.img");
        test::writeLocal(image, std::string(imageBytes, '\0'));
        SetVdiskFile(image.c_str());
        ASSERT_EQ(FormatFileSystem(), 0);
        ASSERT_EQ(InitFileSystem(), 0);
        std::mt19937 rng(seed);
        std::map<std::string, std::pair<Name, std::string>> model; // by lower-case name
        const size_t poolSize = sizeof kPool / sizeof kPool[0];
        for (int step = 1; step <= 240; ++step) {
            const Name &name = kPool[rng() % poolSize];
            const std::string key = lower(name.cp936);
            const unsigned op = rng() % 100;
            if (op < 50) {
                size_t length = rng() % 10 == 0 ? 150000 + rng() % 150000 : rng() % 9000;
                std::string data = test::randomBytes(rng, length);
                ASSERT_TRUE(test::apiPut(name.cp936, data)) << name.utf8;
                auto it = model.find(key);
                if (it == model.end())
                    model[key] = {name, data};
                else
                    it->second.second = data; // the older name's case stays
            } else if (op < 70) {
                EXPECT_EQ(zfdelete(name.cp936.c_str()), model.erase(key) ? 1 : 0);
            } else if (op < 98) {
                const Name &to = kPool[rng() % poolSize];
                auto from = model.find(key);
                const bool free = model.count(lower(to.cp936)) == 0 || lower(to.cp936) == key;
                const bool expected = from != model.end() && free;
                ASSERT_EQ(zrename(name.cp936.c_str(), to.cp936.c_str()), expected ? 1 : 0)
                    << name.utf8 << " -> " << to.utf8;
                if (expected) {
                    std::string data = from->second.second;
                    model.erase(from);
                    model[lower(to.cp936)] = {to, data};
                }
            } else {
                ASSERT_EQ(FormatFileSystem(), 0);
                model.clear();
            }
            if (step % 60 == 0) {
                std::set<std::string> names;
                for (const auto &entry : model)
                    names.insert(entry.second.first.cp936);
                EXPECT_EQ(apiNames(), names);
                for (const auto &entry : model)
                    EXPECT_TRUE(test::apiGet(entry.second.first.cp936) == entry.second.second);
                DestoryFileSystem();
                verifyWithTools(image, model);
                ASSERT_EQ(InitFileSystem(), 0);
            }
        }
        // And the other way round: a file mtools adds is ours to read.
        DestoryFileSystem();
        test::writeLocal(m_dir.file("from-mtools.bin"), std::string(5000, 'm'));
        ASSERT_EQ(test::run("mcopy -i " + test::quote(image) + " " +
                            test::quote(m_dir.file("from-mtools.bin")) + " ::From-Mtools.bin"),
                  0);
        ASSERT_EQ(InitFileSystem(), 0);
        EXPECT_EQ(test::apiGet("from-mtools.bin"), std::string(5000, 'm'));
    }

    test::TempDir m_dir;
};

TEST_F(Interop, RandomSequencesOnFat12PassFsckAndMcopy)
{
    randomSequence(4u << 20, 12);
}

TEST_F(Interop, RandomSequencesOnFat16PassFsckAndMcopy)
{
    randomSequence(24u << 20, 16);
}

TEST_F(Interop, FilesPutByMtoolsAreListedAndReadExactly)
{
    const struct {
        const char *utf8;
        const char *listedAs; // CP936
    } files[] = {
        {"a.txt", "a.txt"},
        {"UPPER.TXT", "UPPER.TXT"},
        {"lower", "lower"},
        {"Mixed Case.Txt", "Mixed Case.Txt"},
        {"\xE6\xB5\x8B\xE8\xAF\x95.txt", "\xB2\xE2\xCA\xD4.txt"},
        {"a_very_long_file_name_indeed.txt", "A_VERY~1.TXT"},
    };
    for (const char *format :
         {"mkfs.fat -C IMG 8192", "mkfs.fat -C IMG 1440", "mkfs.fat -C -r 4096 IMG 40000"}) {
        SCOPED_TRACE(format);
        const std::string image = m_dir.file("mtools.img");
        std::string command = format;
        command.replace(command.find("IMG"), 3, test::quote(image));
        ASSERT_EQ(test::run("rm -f " + test::quote(image) + " && " + command), 0);
        std::set<std::string> expected;
        std::mt19937 rng(5);
        std::map<std::string, std::string> contents;
        for (const auto &f : files) {
            std::string local = m_dir.file(f.utf8);
            contents[f.listedAs] = test::randomBytes(rng, rng() % 20000);
            test::writeLocal(local, contents[f.listedAs]);
            ASSERT_EQ(test::run("mcopy -i " + test::quote(image) + " " + test::quote(local) + " ::"), 0)
                << f.utf8;
            expected.insert(f.listedAs);
        }
        ASSERT_EQ(test::run("mmd -i " + test::quote(image) + " ::sub '::Long Folder' && mcopy -i " +
                            test::quote(image) + " " + test::quote(m_dir.file("a.txt")) + " ::sub/inner.txt"),
                  0);
        SetVdiskFile(image.c_str());
        ASSERT_EQ(InitFileSystem(), 0);
        EXPECT_EQ(apiNames(), expected) << "folders are not listed";
        for (const auto &c : contents)
            EXPECT_TRUE(test::apiGet(c.first) == c.second) << c.first;
        EXPECT_FALSE(test::apiPut("SUB", "x")) << "a folder's name is taken";
        EXPECT_EQ(zrename("a.txt", "long folder"), 0);
        EXPECT_TRUE(test::apiPut("ours.bin", "written by us"));
        EXPECT_EQ(zfdelete("lower"), 1);
        DestoryFileSystem();
        std::vector<uint8_t> bytes;
        std::string raw = test::readLocal(image);
        bytes.assign(raw.begin(), raw.end());
        EXPECT_EQ(test::checkProblems(bytes), std::vector<std::string>())
            << "sub-folder clusters count as used";
        std::string output;
        EXPECT_EQ(test::run("fsck.fat -n " + test::quote(image), &output), 0) << output;
        EXPECT_EQ(test::run("mtype -i " + test::quote(image) + " ::ours.bin", &output), 0);
        EXPECT_EQ(output, "written by us");
    }
}

} // namespace
} // namespace vexo
