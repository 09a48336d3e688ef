// Hostile images: every failure is a clean error, never a crash, a hang or
// damage beyond the damaged file.
#include "FileReader.h"
#include "LittleEndian.h"
#include "VDiskTestSupport.h"
#include "VolumeChecker.h"

#include <gtest/gtest.h>

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
        EXPECT_EQ(volume->remove(name), VDiskError::None) << name;
    EXPECT_EQ(writeFile(*volume, "after.bin", std::string(100000, 'a')), VDiskError::None);
    ASSERT_EQ(readFile(*volume, "after.bin", data), VDiskError::None);
    EXPECT_EQ(data, std::string(100000, 'a'));
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
