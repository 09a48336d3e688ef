#pragma once

#include "VDiskError.h"

#include <cstddef>
#include <cstdint>

namespace vexo
{

enum class FatType { Fat12, Fat16 };

// The geometry of a FAT12/FAT16 volume, read from or written to its boot
// sector, with the offsets derived from it. All offsets are in bytes from
// the start of the image.
class BootSector
{
public:
    static constexpr size_t kSize = 512;
    // Volumes with fewer clusters are FAT12, with more FAT32 (unsupported).
    static constexpr uint32_t kMaxFat12Clusters = 4084;
    static constexpr uint32_t kMaxFat16Clusters = 65524;
    static constexpr uint64_t kMinFormatBytes = 64 * 1024;
    static constexpr uint32_t kRootEntries = 4096;
    static constexpr uint32_t kSmallRootEntries = 512;

    // Checks the first kSize bytes of an image of imageSize bytes. Fails
    // with BadImage on anything missing or inconsistent.
    static VDiskError parse(const uint8_t *sector, uint64_t imageSize, BootSector &out);
    // Lays out a fresh volume on imageSize bytes, as mkfs.fat would: 512-byte
    // sectors, 2 KiB clusters (more when FAT16 would overflow), two FATs,
    // 4096 root entries (512 below 1 MiB), data aligned to the cluster size.
    static VDiskError plan(uint64_t imageSize, BootSector &out);
    // Writes the boot sector (kSize bytes) for this geometry.
    void encode(uint8_t *sector, uint32_t volumeId) const;

    uint32_t bytesPerSector() const { return m_bytesPerSector; }
    uint32_t sectorsPerCluster() const { return m_sectorsPerCluster; }
    uint32_t reservedSectors() const { return m_reservedSectors; }
    uint32_t fatCount() const { return m_fatCount; }
    uint32_t rootEntries() const { return m_rootEntries; }
    uint32_t totalSectors() const { return m_totalSectors; }
    uint32_t sectorsPerFat() const { return m_sectorsPerFat; }
    uint8_t media() const { return m_media; }

    FatType type() const { return m_type; }
    uint32_t clusterCount() const { return m_clusterCount; }
    uint32_t clusterBytes() const { return m_bytesPerSector * m_sectorsPerCluster; }
    uint64_t volumeBytes() const { return uint64_t(m_totalSectors) * m_bytesPerSector; }
    uint64_t fatOffset(uint32_t copy) const;
    // The part of each FAT copy that holds entries 0 .. clusterCount + 1.
    uint32_t fatUsedBytes() const;
    uint64_t rootOffset() const;
    uint32_t rootBytes() const { return m_rootEntries * 32; }
    uint64_t dataOffset() const;
    uint64_t clusterOffset(uint32_t cluster) const;

private:
    bool derive();

    uint32_t m_bytesPerSector = 0;
    uint32_t m_sectorsPerCluster = 0;
    uint32_t m_reservedSectors = 0;
    uint32_t m_fatCount = 0;
    uint32_t m_rootEntries = 0;
    uint32_t m_totalSectors = 0;
    uint32_t m_sectorsPerFat = 0;
    uint8_t m_media = 0;
    FatType m_type = FatType::Fat12;
    uint32_t m_clusterCount = 0;
    uint32_t m_rootSectors = 0;
};

} // namespace vexo
