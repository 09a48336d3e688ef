// Whole-file operations on an in-memory image: contents, the replace rule,
// full disk and full root, names, and what a crash at any write leaves.
#include "FileReader.h"
#include "FileWriter.h"
#include "VDiskTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace vexo
{
namespace
{

using test::readFile;
using test::writeFile;

TEST(Volume, StoresContentsOfEveryLengthAndKeepsThemAfterRemount)
{
    std::vector<uint8_t> bytes;
    auto volume = test::formatAndMount(bytes, 8u << 20);
    ASSERT_TRUE(volume);
    std::mt19937 rng(1);
    const size_t lengths[] = {0, 1, 1023, 1024, 1025, 2047, 2048, 2049, 3u << 20};
    std::map<std::string, std::string> files;
    for (size_t length : lengths) {
        std::string name = "f" + std::to_string(length) + ".bin";
        files[name] = test::randomBytes(rng, length);
        ASSERT_EQ(writeFile(*volume, name, files[name]), VDiskError::None) << name;
    }
    // Written in one piece, read back in odd pieces (readFile uses 3000).
    volume.reset();
    volume = test::mountBytes(bytes);
    ASSERT_TRUE(volume);
    for (const auto &f : files) {
        std::string back;
        ASSERT_EQ(readFile(*volume, f.first, back), VDiskError::None);
        EXPECT_TRUE(back == f.second) << f.first;
        EXPECT_EQ(volume->lookup(f.first)->entry.size, f.second.size());
    }
    EXPECT_EQ(volume->lookup("F1023.BIN")->name, "f1023.bin") << "found without case, shown with it";
    EXPECT_TRUE(test::checkProblems(bytes).empty());
}

TEST(Volume, WritesAndReadsFragmentedChains)
{
    std::vector<uint8_t> bytes;
    auto volume = test::formatAndMount(bytes, 1u << 20);
    for (int i = 0; i < 60; ++i)
        ASSERT_EQ(writeFile(*volume, "h" + std::to_string(i), std::string(2048 * (1 + i % 3), 'h')),
                  VDiskError::None);
    for (int i = 0; i < 60; i += 2)
        ASSERT_EQ(volume->remove("h" + std::to_string(i)), VDiskError::None);
    // Fills the holes first: a chain of many short stretches, written in
    // pieces that end mid-cluster.
    std::mt19937 rng(4);
    const std::string data = test::randomBytes(rng, 400000);
    std::unique_ptr<FileWriter> writer;
    ASSERT_EQ(FileWriter::open(*volume, "frag.bin", writer), VDiskError::None);
    for (size_t at = 0; at < data.size(); at += 70001)
        ASSERT_EQ(writer->write(data.data() + at, std::min<size_t>(70001, data.size() - at)),
                  VDiskError::None);
    ASSERT_EQ(writer->commit(), VDiskError::None);
    std::string back;
    ASSERT_EQ(readFile(*volume, "frag.bin", back), VDiskError::None);
    EXPECT_TRUE(back == data);
    std::unique_ptr<FileReader> reader;
    ASSERT_EQ(FileReader::open(*volume, "frag.bin", reader), VDiskError::None);
    back.assign(data.size(), '\0');
    size_t got = 0;
    ASSERT_EQ(reader->read(&back[0], back.size(), got), VDiskError::None)
        << "one large read across stretches";
    EXPECT_EQ(got, data.size());
    EXPECT_TRUE(back == data);
    EXPECT_TRUE(test::checkProblems(bytes).empty());
}

TEST(Volume, ReplacesAFileOnlyWhenTheNewContentsAreComplete)
{
    std::vector<uint8_t> bytes;
    auto volume = test::formatAndMount(bytes, 1u << 20);
    ASSERT_EQ(writeFile(*volume, "Data.txt", "old contents"), VDiskError::None);
    const uint32_t freeBefore = volume->fat().freeClusters();

    std::unique_ptr<FileWriter> writer;
    ASSERT_EQ(FileWriter::open(*volume, "DATA.TXT", writer), VDiskError::None);
    ASSERT_EQ(writer->write("new", 3), VDiskError::None);
    std::string seen;
    ASSERT_EQ(readFile(*volume, "data.txt", seen), VDiskError::None);
    EXPECT_EQ(seen, "old contents") << "while the new one is written";
    std::unique_ptr<FileWriter> second;
    EXPECT_EQ(FileWriter::open(*volume, "data.TXT", second), VDiskError::Busy);
    EXPECT_EQ(volume->remove("data.txt"), VDiskError::Busy);
    EXPECT_EQ(volume->rename("data.txt", "other.txt"), VDiskError::Busy);
    writer->abandon();
    ASSERT_EQ(readFile(*volume, "data.txt", seen), VDiskError::None);
    EXPECT_EQ(seen, "old contents") << "an abandoned write leaves it alone";
    EXPECT_EQ(volume->fat().freeClusters(), freeBefore);

    ASSERT_EQ(writeFile(*volume, "DATA.TXT", "new"), VDiskError::None);
    ASSERT_EQ(readFile(*volume, "data.txt", seen), VDiskError::None);
    EXPECT_EQ(seen, "new");
    EXPECT_EQ(volume->lookup("data.txt")->name, "Data.txt") << "the older file's name is kept";
    EXPECT_EQ(volume->fat().freeClusters(), freeBefore) << "the old chain was freed";
    EXPECT_TRUE(test::checkProblems(bytes).empty());
}

TEST(Volume, FullDiskAndFullRootFailCleanly)
{
    std::vector<uint8_t> bytes;
    auto volume = test::formatAndMount(bytes, 128 * 1024);
    ASSERT_EQ(writeFile(*volume, "keep.bin", "precious"), VDiskError::None);
    const uint32_t freeClusters = volume->fat().freeClusters();
    const size_t tooBig = size_t(freeClusters + 1) * volume->boot().clusterBytes();
    EXPECT_EQ(writeFile(*volume, "keep.bin", std::string(tooBig, 'x')), VDiskError::DiskFull);
    EXPECT_EQ(writeFile(*volume, "huge.bin", std::string(tooBig, 'x')), VDiskError::DiskFull);
    std::string back;
    ASSERT_EQ(readFile(*volume, "keep.bin", back), VDiskError::None);
    EXPECT_EQ(back, "precious");
    EXPECT_EQ(volume->lookup("huge.bin"), nullptr);
    EXPECT_EQ(volume->fat().freeClusters(), freeClusters);

    // 512 root entries: fill them with empty files.
    int made = 1;
    while (writeFile(*volume, "e" + std::to_string(made) + ".x", "") == VDiskError::None)
        ++made;
    EXPECT_EQ(made, 512);
    EXPECT_EQ(writeFile(*volume, "one.more", ""), VDiskError::RootFull);
    EXPECT_EQ(writeFile(*volume, "e7.x", "still replaceable"), VDiskError::None);
    EXPECT_EQ(volume->rename("e8.x", "a longer name.txt"), VDiskError::RootFull);
    EXPECT_NE(volume->lookup("e8.x"), nullptr) << "a failed rename keeps the old name";
    EXPECT_TRUE(test::checkProblems(bytes).empty());
}

TEST(Volume, RefusesBadNamesAndRenamesOnlyToFreeNames)
{
    std::vector<uint8_t> bytes;
    auto volume = test::formatAndMount(bytes, 1u << 20);
    const std::string nineChinese(18, '\xB0'); // 9 characters of 2 bytes each
    const char *bad[] = {
        "",       "a/b", "a\\b", "tab\there",          "what?", "a*b", "x:y", "q\"", "<", "|", "dot.",
        "space ", ".",   "..",   "eighteen-bytes-xyz", "\x81"};
    for (const char *name : bad)
        EXPECT_EQ(writeFile(*volume, name, "x"), VDiskError::BadName) << name;
    EXPECT_EQ(writeFile(*volume, nineChinese, "x"), VDiskError::BadName);
    const std::string seventeen = nineChinese.substr(0, 16) + "x";
    EXPECT_EQ(writeFile(*volume, seventeen, "x"), VDiskError::None);
    EXPECT_EQ(writeFile(*volume, "seventeen-bytes-x", "x"), VDiskError::None);
    EXPECT_NE(volume->lookup(seventeen), nullptr);

    ASSERT_EQ(writeFile(*volume, "a.txt", "A"), VDiskError::None);
    ASSERT_EQ(writeFile(*volume, "b.txt", "B"), VDiskError::None);
    EXPECT_EQ(volume->rename("a.txt", "B.TXT"), VDiskError::Exists);
    EXPECT_EQ(volume->rename("a.txt", "bad/name"), VDiskError::BadName);
    EXPECT_EQ(volume->rename("nothing", "c.txt"), VDiskError::NotFound);
    EXPECT_EQ(volume->rename("a.txt", "A Long Name.txt"), VDiskError::None);
    EXPECT_EQ(volume->rename("a long name.TXT", "A LONG NAME.TXT"), VDiskError::None) << "case only";
    volume.reset();
    volume = test::mountBytes(bytes);
    EXPECT_EQ(volume->lookup("a.txt"), nullptr);
    ASSERT_NE(volume->lookup("a long name.txt"), nullptr);
    EXPECT_EQ(volume->lookup("a long name.txt")->name, "A LONG NAME.TXT");
    std::string back;
    ASSERT_EQ(readFile(*volume, "A LONG NAME.TXT", back), VDiskError::None);
    EXPECT_EQ(back, "A");
    EXPECT_TRUE(test::checkProblems(bytes).empty());
}

TEST(Volume, AReaderKeepsReadingAFileDeletedUnderIt)
{
    std::vector<uint8_t> bytes;
    auto volume = test::formatAndMount(bytes, 1u << 20);
    std::mt19937 rng(2);
    const std::string data = test::randomBytes(rng, 100000);
    ASSERT_EQ(writeFile(*volume, "doomed.bin", data), VDiskError::None);
    const uint32_t freeBefore = volume->fat().freeClusters();
    std::unique_ptr<FileReader> reader;
    ASSERT_EQ(FileReader::open(*volume, "doomed.bin", reader), VDiskError::None);
    EXPECT_EQ(volume->remove("doomed.bin"), VDiskError::None);
    // New files must not take its clusters while it is still being read.
    ASSERT_EQ(writeFile(*volume, "filler.bin", std::string(200000, 'z')), VDiskError::None);
    std::string back(data.size() + 10, '\0');
    size_t got = 0, total = 0;
    while (reader->read(&back[total], back.size() - total, got) == VDiskError::None && got > 0)
        total += got;
    back.resize(total);
    EXPECT_TRUE(back == data);
    reader.reset();
    EXPECT_EQ(volume->fat().freeClusters(), freeBefore + 49 - 98) << "freed once the reader let go";
    EXPECT_TRUE(test::checkProblems(bytes).empty());
}

// Kills the "process" at every write of a sequence in turn: the image must
// hold every file committed before, each with old or new contents in full,
// and nothing worse than lost clusters.
TEST(Volume, ACrashAtAnyWriteLeavesEarlierFilesIntact)
{
    std::vector<uint8_t> pristine;
    {
        auto volume = test::formatAndMount(pristine, 1u << 20);
        ASSERT_EQ(writeFile(*volume, "keep.txt", std::string(5000, 'k')), VDiskError::None);
        ASSERT_EQ(writeFile(*volume, "Replace Me.txt", std::string(3000, 'o')), VDiskError::None);
        ASSERT_EQ(writeFile(*volume, "gone.txt", "g"), VDiskError::None);
    }
    auto script = [](Volume &v) {
        (void)writeFile(v, "Replace Me.txt", std::string(9000, 'n'));
        (void)v.remove("gone.txt");
        (void)writeFile(v, "A New File.txt", std::string(4100, 'w'));
        (void)v.rename("keep.txt", "Kept Under A.txt");
    };
    long total = 0;
    {
        std::vector<uint8_t> bytes = pristine;
        auto volume = test::mountBytes(bytes);
        script(*volume);
        total = static_cast<test::FaultyBlockDevice &>(volume->device()).writes();
    }
    ASSERT_GT(total, 8);
    const std::map<std::string, std::vector<std::string>> allowed = {
        {"keep.txt", {std::string(5000, 'k')}},
        {"Kept Under A.txt", {std::string(5000, 'k')}},
        {"Replace Me.txt", {std::string(3000, 'o'), std::string(9000, 'n')}},
        {"gone.txt", {"g"}},
        {"A New File.txt", {std::string(4100, 'w')}},
    };
    for (long budget = 0; budget <= total; ++budget) {
        SCOPED_TRACE("crash after write " + std::to_string(budget));
        std::vector<uint8_t> bytes = pristine;
        {
            auto volume = test::mountBytes(bytes, budget);
            script(*volume);
        }
        auto volume = test::mountBytes(bytes);
        ASSERT_TRUE(volume);
        int kept = 0;
        for (const DirFile *f = volume->root().nextFile(0); f;
             f = volume->root().nextFile(f->shortSlot + 1)) {
            auto it = allowed.find(f->name);
            ASSERT_NE(it, allowed.end()) << f->name;
            std::string back;
            ASSERT_EQ(readFile(*volume, f->name, back), VDiskError::None);
            EXPECT_NE(std::find(it->second.begin(), it->second.end(), back), it->second.end()) << f->name;
            kept += f->name == "keep.txt" || f->name == "Kept Under A.txt";
        }
        EXPECT_EQ(kept, 1);
        EXPECT_NE(volume->lookup("Replace Me.txt"), nullptr);
        EXPECT_EQ(test::checkProblems(bytes, true), std::vector<std::string>());
    }
}

// The last free cluster is the one an off-by-one loses: a file that takes
// every free cluster reads back whole after a remount, and deleting it
// gives every cluster back.
TEST(Volume, AFileFillingTheVolumeToItsLastClusterComesBackWhole)
{
    // FAT12 with an odd and an even last cluster (they sit in different
    // halves of a 3-byte pair), and FAT16; the file ends on a cluster
    // boundary or within its last cluster.
    for (size_t imageBytes : {size_t(64 * 1024), size_t(130 * 1024), size_t(9u << 20)})
        for (size_t shortBy : {size_t(0), size_t(100)}) {
            SCOPED_TRACE(std::to_string(imageBytes) + " bytes, file short by " + std::to_string(shortBy));
            std::vector<uint8_t> bytes;
            auto volume = test::formatAndMount(bytes, imageBytes);
            ASSERT_TRUE(volume);
            ASSERT_EQ(writeFile(*volume, "first.txt", "first"), VDiskError::None);
            const uint32_t last = volume->fat().lastCluster();
            const size_t fill =
                size_t(volume->fat().freeClusters()) * volume->boot().clusterBytes() - shortBy;
            std::mt19937 rng(static_cast<uint32_t>(imageBytes + shortBy));
            const std::string data = test::randomBytes(rng, fill);
            ASSERT_EQ(writeFile(*volume, "fill.bin", data), VDiskError::None);
            EXPECT_EQ(volume->fat().freeClusters(), 0u);
            EXPECT_EQ(writeFile(*volume, "one more.bin", "x"), VDiskError::DiskFull);
            volume.reset();
            volume = test::mountBytes(bytes);
            ASSERT_TRUE(volume);
            EXPECT_TRUE(volume->fat().isEndOfChain(volume->fat().get(last)))
                << "the file ends in the last cluster";
            std::string back;
            ASSERT_EQ(readFile(*volume, "fill.bin", back), VDiskError::None);
            EXPECT_TRUE(back == data);
            EXPECT_EQ(test::checkProblems(bytes), std::vector<std::string>());
            ASSERT_EQ(volume->remove("fill.bin"), VDiskError::None);
            volume.reset();
            volume = test::mountBytes(bytes);
            EXPECT_EQ(volume->fat().freeClusters(), volume->fat().clusterCount() - 1);
            EXPECT_EQ(volume->fat().get(last), 0u);
            EXPECT_EQ(test::checkProblems(bytes), std::vector<std::string>());
            ASSERT_EQ(readFile(*volume, "first.txt", back), VDiskError::None);
            EXPECT_EQ(back, "first");
        }
}

// An I/O error at any write of a put, a replace, a remove or a rename, for
// one write or for the rest of the call: the call fails, and once the
// device works again (at the latest when the image is unmounted) the image
// is as it was, byte for byte outside the clusters that were free.
TEST(Volume, AFailedWriteChangesNothingEvenAfterUnmount)
{
    std::vector<uint8_t> pristine;
    {
        auto volume = test::formatAndMount(pristine, 256 * 1024);
        ASSERT_EQ(writeFile(*volume, "keep.txt", std::string(5000, 'k')), VDiskError::None);
        ASSERT_EQ(writeFile(*volume, "Replace Me.txt", std::string(3000, 'o')), VDiskError::None);
        ASSERT_EQ(writeFile(*volume, "short.txt", "s"), VDiskError::None);
    }
    BootSector boot;
    ASSERT_EQ(BootSector::parse(pristine.data(), pristine.size(), boot), VDiskError::None);
    const FatTable fat(boot.type(), boot.clusterCount(),
                       std::vector<uint8_t>(pristine.begin() + long(boot.fatOffset(0)),
                                            pristine.begin() + long(boot.fatOffset(1))));
    auto unchanged = [&](const std::vector<uint8_t> &bytes) {
        if (!std::equal(pristine.begin(), pristine.begin() + long(boot.dataOffset()), bytes.begin()))
            return false;
        for (uint32_t c = 2; c <= fat.lastCluster(); ++c) {
            const auto at = long(boot.clusterOffset(c));
            if (fat.get(c) != 0 &&
                !std::equal(pristine.begin() + at, pristine.begin() + at + long(boot.clusterBytes()),
                            bytes.begin() + at))
                return false;
        }
        return true;
    };
    struct Op {
        const char *what;
        std::function<VDiskError(Volume &)> run;
    };
    const Op ops[] = {
        {"put a new file", [](Volume &v) { return writeFile(v, "A New File.txt", std::string(9000, 'w')); }},
        {"replace with more",
         [](Volume &v) { return writeFile(v, "replace me.txt", std::string(9000, 'n')); }},
        {"replace with nothing", [](Volume &v) { return writeFile(v, "Replace Me.txt", ""); }},
        {"remove", [](Volume &v) { return v.remove("keep.txt"); }},
        {"rename to a long name", [](Volume &v) { return v.rename("short.txt", "A Longer Name.txt"); }},
        {"rename to a short name", [](Volume &v) { return v.rename("Replace Me.txt", "r.txt"); }},
    };
    for (const Op &op : ops) {
        long total = 0;
        {
            std::vector<uint8_t> bytes = pristine;
            auto volume = test::mountBytes(bytes);
            ASSERT_EQ(op.run(*volume), VDiskError::None) << op.what;
            total = static_cast<test::FaultyBlockDevice &>(volume->device()).attempts();
        }
        ASSERT_GT(total, 0) << op.what;
        for (long first = 0; first < total; ++first)
            for (long count : {1L, 1000L}) {
                SCOPED_TRACE(std::string(op.what) + ", write " + std::to_string(first) + " fails" +
                             (count > 1 ? " with all later ones" : ""));
                std::vector<uint8_t> bytes = pristine;
                auto volume = test::mountBytes(bytes);
                auto &device = static_cast<test::FaultyBlockDevice &>(volume->device());
                device.failWrites(first, count);
                EXPECT_NE(op.run(*volume), VDiskError::None);
                device.failWrites(-1, 0);
                EXPECT_EQ(volume->sync(), VDiskError::None);
                volume.reset();
                EXPECT_TRUE(unchanged(bytes));
            }
    }
}

} // namespace
} // namespace vexo
