// Hostile images: every failure is a clean error, never a crash, a hang or
// damage beyond the damaged file.
#include "FileReader.h"
#include "LittleEndian.h"
#include "VDiskTestSupport.h"
#include "VolumeChecker.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace vexo
{
namespace
{

using test::readFile;
using test::writeFile;

std::vector<uint8_t> populatedImage()
{
    std::vector<uint8_t> bytes;
    auto volume = test::formatAndMount(bytes, 1u << 20);
    std::mt19937 rng(6);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(
            writeFile(*volume, "File Number " + std::to_string(i), test::randomBytes(rng, rng() % 30000)),
            VDiskError::None);
    return bytes;
}

TEST(CorruptImage, TruncatedOrZeroedImagesDoNotMount)
{
    const std::vector<uint8_t> good = populatedImage();
    for (size_t length :
         {size_t(0), size_t(100), size_t(511), size_t(512), size_t(4096), good.size() / 2, good.size() - 1}) {
        std::vector<uint8_t> bytes(good.begin(), good.begin() + long(length));
        EXPECT_EQ(test::mountBytes(bytes), nullptr) << length;
    }
    std::vector<uint8_t> zeroed(good.size(), 0);
    EXPECT_EQ(test::mountBytes(zeroed), nullptr);
    std::vector<uint8_t> bytes = good;
    EXPECT_NE(test::mountBytes(bytes), nullptr);
}

TEST(CorruptImage, DamagedChainsFailReadsAndNeverHang)
{
    std::vector<uint8_t> bytes;
    {
        auto volume = test::formatAndMount(bytes, 1u << 20);
        for (const char *name : {"loop.bin", "away.bin", "short.bin", "cross.bin", "nostart.bin"})
            ASSERT_EQ(writeFile(*volume, name, std::string(5000, 'd')), VDiskError::None);
    }
    auto volume = test::mountBytes(bytes);
    FatTable &fat = volume->fat();
    const uint32_t loop = volume->lookup("loop.bin")->entry.cluster;
    fat.set(loop + 1, loop); // the second cluster leads back to the first
    fat.set(volume->lookup("away.bin")->entry.cluster + 1, 60000);
    const uint32_t shortStart = volume->lookup("short.bin")->entry.cluster;
    fat.set(shortStart + 1, fat.endOfChain()); // two clusters for 5000 bytes
    fat.set(shortStart + 2, 0);
    fat.set(volume->lookup("cross.bin")->entry.cluster + 2, loop + 1);
    ASSERT_EQ(fat.flush(volume->device(), volume->boot()), VDiskError::None);
    {
        const DirFile *f = volume->lookup("nostart.bin");
        volume->root().update(f->shortSlot, 0, 5000, f->entry.written);
        ASSERT_EQ(volume->root().flush(volume->device(), volume->boot()), VDiskError::None);
    }
    volume.reset();
    volume = test::mountBytes(bytes);
    ASSERT_TRUE(volume);
    std::string data;
    EXPECT_EQ(readFile(*volume, "loop.bin", data), VDiskError::Corrupt);
    EXPECT_EQ(readFile(*volume, "away.bin", data), VDiskError::Corrupt);
    EXPECT_EQ(readFile(*volume, "short.bin", data), VDiskError::Corrupt);
    EXPECT_EQ(readFile(*volume, "nostart.bin", data), VDiskError::Corrupt);
    std::vector<std::string> problems = test::checkProblems(bytes);
    auto mentions = [&](const std::string &what) {
        return std::any_of(problems.begin(), problems.end(),
                           [&](const std::string &p) { return p.find(what) != std::string::npos; });
    };
    EXPECT_TRUE(mentions("loop.bin: chain loops"));
    EXPECT_TRUE(mentions("away.bin: chain leaves the data area"));
    EXPECT_TRUE(mentions("short.bin: chain shorter"));
    EXPECT_TRUE(mentions("cross-linked"));
    EXPECT_TRUE(mentions("nostart.bin: starts outside"));
    EXPECT_TRUE(mentions("lost clusters"));
    for (const char *name : {"loop.bin", "away.bin", "short.bin", "cross.bin", "nostart.bin"})
        EXPECT_EQ(volume->remove(name), VDiskError::Corrupt) << name;
    EXPECT_EQ(writeFile(*volume, "after.bin", std::string(100000, 'a')), VDiskError::None);
    ASSERT_EQ(readFile(*volume, "after.bin", data), VDiskError::None);
    EXPECT_EQ(data, std::string(100000, 'a'));
}

// A file's chain as its entry starts it, cluster by cluster.
std::vector<uint32_t> chainOf(Volume &volume, const std::string &name)
{
    std::vector<uint32_t> chain;
    for (uint32_t c = volume.lookup(name)->entry.cluster; volume.fat().isDataCluster(c) && chain.size() < 8;
         c = volume.fat().get(c))
        chain.push_back(c);
    return chain;
}

uint32_t freeClusterAfter(Volume &volume, uint32_t from)
{
    for (uint32_t c = from + 1; c <= volume.fat().lastCluster(); ++c)
        if (volume.fat().get(c) == 0)
            return c;
    return 0;
}

// A sub-folder as other tools make it, holding one file whose chain starts
// at `inner`.
void addFolder(Volume &volume, uint32_t inner)
{
    uint32_t cluster = 0;
    ASSERT_EQ(volume.fat().allocate(cluster), VDiskError::None);
    std::vector<uint8_t> slots(volume.boot().clusterBytes(), 0);
    const auto entry = [&](size_t slot, const char *name, uint8_t attr, uint32_t first, uint32_t size) {
        dirent::ShortEntry e;
        std::memcpy(e.name.data(), name, 11);
        e.attr = attr;
        e.cluster = static_cast<uint16_t>(first);
        e.size = size;
        e.encode(&slots[slot * dirent::kSize]);
    };
    entry(0, ".          ", dirent::kAttrDirectory, cluster, 0);
    entry(1, "..         ", dirent::kAttrDirectory, 0, 0);
    entry(2, "INNER   BIN", dirent::kAttrArchive, inner, 1000);
    ASSERT_EQ(volume.device().write(volume.boot().clusterOffset(cluster), slots.data(), slots.size()),
              VDiskError::None);
    RootDirectory::NamePlan plan = volume.root().plan("SUB", u"SUB");
    uint32_t first = 0;
    ASSERT_EQ(volume.root().reserve(plan, first), VDiskError::None);
    dirent::ShortEntry fields;
    fields.attr = dirent::kAttrDirectory;
    fields.cluster = static_cast<uint16_t>(cluster);
    volume.root().create(plan, first, "SUB", u"SUB", fields);
}

// Damage of the kinds that made writes destroy other files: the chains
// involved are refused, new files take only clusters no chain reaches, and
// everything any chain reaches stays byte for byte as it was.
TEST(CorruptImage, WritesNeverTouchClustersAnotherChainReaches)
{
    struct Case {
        const char *what;
        std::vector<std::string> damaged;
        // Damages the volume; adds clusters marked free that a chain reaches.
        std::function<void(Volume &, std::vector<uint32_t> &)> apply;
    };
    const Case cases[] = {
        {"cross-linked",
         {"a.bin", "b.bin"},
         [](Volume &v, std::vector<uint32_t> &) {
             v.fat().set(chainOf(v, "a.bin")[0], chainOf(v, "b.bin")[1]);
         }},
        {"empty file with a cluster in use",
         {"empty.bin", "a.bin"},
         [](Volume &v, std::vector<uint32_t> &) {
             const DirFile *f = v.lookup("empty.bin");
             v.root().update(f->shortSlot, static_cast<uint16_t>(chainOf(v, "a.bin")[0]), 0,
                             f->entry.written);
         }},
        {"chain runs into a free cluster",
         {"a.bin"},
         [](Volume &v, std::vector<uint32_t> &reached) {
             reached.push_back(chainOf(v, "a.bin")[1]);
             v.fat().set(reached.back(), 0);
         }},
        {"start cluster marked free",
         {"b.bin"},
         [](Volume &v, std::vector<uint32_t> &reached) {
             reached.push_back(chainOf(v, "b.bin")[0]);
             v.fat().set(reached.back(), 0);
         }},
        {"loop",
         {"a.bin"},
         [](Volume &v, std::vector<uint32_t> &) {
             v.fat().set(chainOf(v, "a.bin")[2], chainOf(v, "a.bin")[0]);
         }},
        {"sub-folder file starts in a free cluster",
         {},
         [](Volume &v, std::vector<uint32_t> &reached) {
             reached.push_back(freeClusterAfter(v, freeClusterAfter(v, 2)));
             addFolder(v, reached.back());
         }},
    };
    std::mt19937 rng(11);
    const std::string bystander = test::randomBytes(rng, 5000);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes;
        std::vector<uint32_t> reached;
        {
            auto volume = test::formatAndMount(bytes, 256 * 1024);
            ASSERT_EQ(writeFile(*volume, "a.bin", std::string(5000, 'a')), VDiskError::None);
            ASSERT_EQ(writeFile(*volume, "bystander.bin", bystander), VDiskError::None);
            ASSERT_EQ(writeFile(*volume, "b.bin", std::string(5000, 'b')), VDiskError::None);
            ASSERT_EQ(writeFile(*volume, "empty.bin", ""), VDiskError::None);
            c.apply(*volume, reached);
            ASSERT_EQ(volume->fat().flush(volume->device(), volume->boot()), VDiskError::None);
            ASSERT_EQ(volume->root().flush(volume->device(), volume->boot()), VDiskError::None);
        }
        const std::vector<std::string> problems = test::checkProblems(bytes);
        ASSERT_FALSE(problems.empty());
        auto volume = test::mountBytes(bytes);
        ASSERT_TRUE(volume);
        const std::vector<uint8_t> before = bytes;
        std::string data;
        for (const std::string &name : c.damaged) {
            EXPECT_EQ(readFile(*volume, name, data), VDiskError::Corrupt) << name;
            EXPECT_EQ(volume->remove(name), VDiskError::Corrupt) << name;
            EXPECT_EQ(writeFile(*volume, name, "new"), VDiskError::Corrupt) << name;
            EXPECT_TRUE(bytes == before) << name << ": a refusal changes nothing";
        }
        // Fill every cluster that is free to take, then give them back.
        int made = 0;
        while (writeFile(*volume, "fill" + std::to_string(made), std::string(3000, 'f')) == VDiskError::None)
            ++made;
        EXPECT_GT(made, 20);
        const FatTable old(volume->fat().type(), volume->fat().clusterCount(),
                           std::vector<uint8_t>(before.begin() + long(volume->boot().fatOffset(0)),
                                                before.begin() + long(volume->boot().fatOffset(1))));
        for (uint32_t cl = 2; cl <= old.lastCluster(); ++cl) {
            if (old.get(cl) == 0 && std::find(reached.begin(), reached.end(), cl) == reached.end())
                continue;
            const auto at = long(volume->boot().clusterOffset(cl));
            const long n = long(volume->boot().clusterBytes());
            EXPECT_TRUE(std::equal(before.begin() + at, before.begin() + at + n, bytes.begin() + at))
                << "cluster " << cl;
        }
        for (int i = 0; i < made; ++i)
            ASSERT_EQ(volume->remove("fill" + std::to_string(i)), VDiskError::None);
        ASSERT_EQ(volume->sync(), VDiskError::None);
        volume = test::mountBytes(bytes);
        ASSERT_EQ(readFile(*volume, "bystander.bin", data), VDiskError::None);
        EXPECT_TRUE(data == bystander);
        EXPECT_EQ(test::checkProblems(bytes), problems) << "the damage is as it was, and no worse";
    }
}

TEST(CorruptImage, RandomDamageNeverCrashes)
{
    const std::vector<uint8_t> good = populatedImage();
    BootSector boot;
    ASSERT_EQ(BootSector::parse(good.data(), good.size(), boot), VDiskError::None);
    std::mt19937 rng(7);
    int mounted = 0;
    for (int round = 0; round < 400; ++round) {
        std::vector<uint8_t> bytes = good;
        // Mostly the metadata, where damage matters; sometimes the BPB only.
        const size_t span = round % 4 == 0 ? 64 : size_t(boot.dataOffset());
        for (unsigned n = 1 + rng() % 16; n > 0; --n)
            bytes[rng() % span] = static_cast<uint8_t>(rng());
        auto volume = test::mountBytes(bytes);
        CheckReport report;
        test::FaultyBlockDevice device(bytes);
        (void)VolumeChecker::check(device, report);
        if (!volume)
            continue;
        ++mounted;
        std::vector<std::string> names;
        for (const DirFile *f = volume->root().nextFile(0); f; f = volume->root().nextFile(f->shortSlot + 1))
            names.push_back(f->name);
        ASSERT_LE(names.size(), volume->root().slotCount());
        std::string data;
        for (const std::string &name : names)
            (void)readFile(*volume, name, data);
        (void)writeFile(*volume, "new.bin", std::string(9000, 'n'));
        if (!names.empty()) {
            (void)volume->rename(names.front(), "renamed.bin");
            (void)volume->remove(names.back());
        }
        (void)volume->sync();
    }
    EXPECT_GT(mounted, 100) << "enough damaged images mount to exercise the rest";
}

} // namespace
} // namespace vexo
