// The on-disk structures: boot sector geometry and entry times. (FAT
// entries and chains are covered through whole volumes elsewhere.)
#include "BootSector.h"
#include "FatTime.h"
#include "LittleEndian.h"

#include <gtest/gtest.h>

#include <functional>

namespace vexo
{
namespace
{

TEST(BootSector, PlansFat12AndFat16LikeMkfsWithRoomForThousandsOfFiles)
{
    struct Case {
        uint64_t bytes;
        FatType type;
        uint32_t clusterBytes;
        uint32_t rootEntries;
    };
    const Case cases[] = {
        {64 * 1024, FatType::Fat12, 2048, 512},   {4u << 20, FatType::Fat12, 2048, 4096},
        {16u << 20, FatType::Fat16, 2048, 4096},  {64u << 20, FatType::Fat16, 2048, 4096},
        {256u << 20, FatType::Fat16, 4096, 4096}, {(2048u << 20) - 512, FatType::Fat16, 32768, 4096},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.bytes);
        BootSector b;
        ASSERT_EQ(BootSector::plan(c.bytes, b), VDiskError::None);
        EXPECT_EQ(b.type(), c.type);
        EXPECT_EQ(b.clusterBytes(), c.clusterBytes);
        EXPECT_EQ(b.rootEntries(), c.rootEntries);
        EXPECT_EQ(b.dataOffset() % b.clusterBytes(), 0u) << "data area aligned to clusters";
        EXPECT_LE(b.volumeBytes(), c.bytes);
        EXPECT_LE(b.dataOffset() + uint64_t(b.clusterCount()) * b.clusterBytes(), b.volumeBytes());
        // What we write must read back as the same geometry.
        uint8_t sector[BootSector::kSize];
        b.encode(sector, 1);
        BootSector back;
        ASSERT_EQ(BootSector::parse(sector, c.bytes, back), VDiskError::None);
        EXPECT_EQ(back.clusterCount(), b.clusterCount());
        EXPECT_EQ(back.dataOffset(), b.dataOffset());
    }
    BootSector b;
    EXPECT_EQ(BootSector::plan(64 * 1024 - 512, b), VDiskError::TooSmall);
    EXPECT_EQ(BootSector::plan(4ull << 30, b), VDiskError::TooLarge);
}

TEST(BootSector, RefusesMissingOrInconsistentFields)
{
    BootSector good;
    ASSERT_EQ(BootSector::plan(16u << 20, good), VDiskError::None);
    const uint64_t size = 16u << 20;
    const std::pair<const char *, std::function<void(uint8_t *)>> damage[] = {
        {"no signature", [](uint8_t *s) { s[510] = 0; }},
        {"no jump", [](uint8_t *s) { s[0] = 0; }},
        {"sector size 0", [](uint8_t *s) { le::put16(s + 11, 0); }},
        {"sector size 513", [](uint8_t *s) { le::put16(s + 11, 513); }},
        {"sector size 8192", [](uint8_t *s) { le::put16(s + 11, 8192); }},
        {"3 sectors per cluster", [](uint8_t *s) { s[13] = 3; }},
        {"0 sectors per cluster", [](uint8_t *s) { s[13] = 0; }},
        {"no reserved sector", [](uint8_t *s) { le::put16(s + 14, 0); }},
        {"no FAT", [](uint8_t *s) { s[16] = 0; }},
        {"three FATs", [](uint8_t *s) { s[16] = 3; }},
        {"no root (FAT32)", [](uint8_t *s) { le::put16(s + 17, 0); }},
        {"root entries not filling whole sectors", [](uint8_t *s) { le::put16(s + 17, 4095); }},
        {"no sectors", [](uint8_t *s) { le::put16(s + 19, 0), le::put32(s + 32, 0); }},
        {"bad media", [](uint8_t *s) { s[21] = 0x12; }},
        {"no FAT sectors", [](uint8_t *s) { le::put16(s + 22, 0); }},
        {"FAT too small for its clusters", [](uint8_t *s) { le::put16(s + 22, 2); }},
        {"metadata larger than the volume", [](uint8_t *s) { le::put16(s + 22, 0xFFFF); }},
        {"larger than the image", [](uint8_t *s) { le::put16(s + 19, 0), le::put32(s + 32, 40000); }},
        {"FAT32-sized cluster count",
         [](uint8_t *s) { s[13] = 1, le::put16(s + 19, 0), le::put32(s + 32, 0x7FFFFFFF); }},
    };
    for (const auto &d : damage) {
        SCOPED_TRACE(d.first);
        uint8_t sector[BootSector::kSize];
        good.encode(sector, 1);
        d.second(sector);
        BootSector out;
        EXPECT_EQ(BootSector::parse(sector, size, out), VDiskError::BadImage);
    }
}

TEST(FatTime, ReadsStoredWallClockAndClampsNonsense)
{
    FatTime t;
    t.date = static_cast<uint16_t>(((2024 - 1980) << 9) | (2 << 5) | 29);
    t.time = static_cast<uint16_t>((13 << 11) | (45 << 5) | (58 / 2));
    EXPECT_EQ(t.toSeconds(), 1709214358); // 2024-02-29 13:45:58
    FatTime back = FatTime::fromSeconds(1709214358);
    EXPECT_EQ(back.date, t.date);
    EXPECT_EQ(back.time, t.time);
    FatTime zero;                           // month and day 0, as left by some tools
    EXPECT_EQ(zero.toSeconds(), 315532800); // 1980-01-01
    FatTime wild;
    wild.date = 0xFFFF;
    wild.time = 0xFFFF;
    EXPECT_GT(wild.toSeconds(), 0);
    EXPECT_EQ(FatTime::fromSeconds(0).toSeconds(), 315532800);
}

} // namespace
} // namespace vexo
