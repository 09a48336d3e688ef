#include "BootSector.h"

#include "LittleEndian.h"

#include <cstring>

namespace vexo
{

namespace
{

bool isPowerOfTwo(uint32_t v)
{
    return v != 0 && (v & (v - 1)) == 0;
}

uint32_t fatBytesFor(FatType type, uint32_t clusters)
{
    uint32_t entries = clusters + 2;
    return type == FatType::Fat12 ? (entries * 3 + 1) / 2 : entries * 2;
}

} // namespace

bool BootSector::derive()
{
    m_rootSectors = (m_rootEntries * 32 + m_bytesPerSector - 1) / m_bytesPerSector;
    uint64_t meta = uint64_t(m_reservedSectors) + uint64_t(m_fatCount) * m_sectorsPerFat + m_rootSectors;
    if (meta >= m_totalSectors)
        return false;
    uint64_t clusters = (m_totalSectors - meta) / m_sectorsPerCluster;
    if (clusters < 1 || clusters > kMaxFat16Clusters)
        return false;
    m_clusterCount = static_cast<uint32_t>(clusters);
    m_type = m_clusterCount <= kMaxFat12Clusters ? FatType::Fat12 : FatType::Fat16;
    return uint64_t(fatBytesFor(m_type, m_clusterCount)) <= uint64_t(m_sectorsPerFat) * m_bytesPerSector;
}

VDiskError BootSector::parse(const uint8_t *s, uint64_t imageSize, BootSector &out)
{
    if (imageSize < kSize)
        return VDiskError::BadImage;
    if (s[510] != 0x55 || s[511] != 0xAA)
        return VDiskError::BadImage;
    if (s[0] != 0xEB && s[0] != 0xE9)
        return VDiskError::BadImage;
    BootSector b;
    b.m_bytesPerSector = le::get16(s + 11);
    b.m_sectorsPerCluster = s[13];
    b.m_reservedSectors = le::get16(s + 14);
    b.m_fatCount = s[16];
    b.m_rootEntries = le::get16(s + 17);
    uint32_t total16 = le::get16(s + 19);
    b.m_media = s[21];
    b.m_sectorsPerFat = le::get16(s + 22);
    uint32_t total32 = le::get32(s + 32);
    b.m_totalSectors = total16 != 0 ? total16 : total32;

    if (b.m_bytesPerSector < 512 || b.m_bytesPerSector > 4096 || !isPowerOfTwo(b.m_bytesPerSector))
        return VDiskError::BadImage;
    if (!isPowerOfTwo(b.m_sectorsPerCluster) || b.clusterBytes() > 65536)
        return VDiskError::BadImage;
    if (b.m_reservedSectors < 1 || b.m_fatCount < 1 || b.m_fatCount > 2)
        return VDiskError::BadImage;
    // A zero root size or FAT size means FAT32, which we do not handle.
    if (b.m_rootEntries == 0 || b.m_sectorsPerFat == 0 || b.m_totalSectors == 0)
        return VDiskError::BadImage;
    // Like fsck.fat: a root folder ending mid-sector is not one we trust.
    if (b.m_rootEntries * 32 % b.m_bytesPerSector != 0)
        return VDiskError::BadImage;
    if (b.m_media != 0xF0 && b.m_media < 0xF8)
        return VDiskError::BadImage;
    if (!b.derive())
        return VDiskError::BadImage;
    if (b.volumeBytes() > imageSize)
        return VDiskError::BadImage;
    out = b;
    return VDiskError::None;
}

VDiskError BootSector::plan(uint64_t imageSize, BootSector &out)
{
    if (imageSize < kMinFormatBytes)
        return VDiskError::TooSmall;
    uint64_t sectors = imageSize / 512;
    if (sectors > 0xFFFFFFFFu)
        return VDiskError::TooLarge;
    for (uint32_t spc = 4; spc <= 64; spc *= 2) {
        BootSector b;
        b.m_bytesPerSector = 512;
        b.m_sectorsPerCluster = spc;
        b.m_fatCount = 2;
        b.m_rootEntries = imageSize >= 1024 * 1024 ? kRootEntries : kSmallRootEntries;
        b.m_totalSectors = static_cast<uint32_t>(sectors);
        b.m_media = 0xF8;
        uint32_t rootSectors = b.m_rootEntries * 32 / 512;
        if (uint64_t(rootSectors) + 3 >= sectors)
            return VDiskError::TooSmall;
        // Size the FAT for the clusters there would be without it: an upper
        // bound, so the FAT always covers every cluster.
        uint64_t guess = (sectors - 1 - rootSectors) / spc;
        if (guess > 0xFFFFFFu)
            continue;
        FatType guessType = guess <= kMaxFat12Clusters ? FatType::Fat12 : FatType::Fat16;
        uint32_t fatBytes = fatBytesFor(guessType, static_cast<uint32_t>(guess));
        b.m_sectorsPerFat = (fatBytes + 511) / 512;
        // Like mkfs.fat, start the data area on a cluster boundary.
        uint32_t meta = 1 + 2 * b.m_sectorsPerFat + rootSectors;
        b.m_reservedSectors = 1 + (spc - meta % spc) % spc;
        if (b.m_sectorsPerFat > 0xFFFF)
            continue;
        if (!b.derive())
            continue;
        out = b;
        return VDiskError::None;
    }
    // Either everything went to metadata or FAT16 cannot address it.
    return sectors < 4096 ? VDiskError::TooSmall : VDiskError::TooLarge;
}

void BootSector::encode(uint8_t *s, uint32_t volumeId) const
{
    std::memset(s, 0, kSize);
    s[0] = 0xEB;
    s[1] = 0x3C;
    s[2] = 0x90;
    std::memcpy(s + 3, "MSWIN4.1", 8);
    le::put16(s + 11, static_cast<uint16_t>(m_bytesPerSector));
    s[13] = static_cast<uint8_t>(m_sectorsPerCluster);
    le::put16(s + 14, static_cast<uint16_t>(m_reservedSectors));
    s[16] = static_cast<uint8_t>(m_fatCount);
    le::put16(s + 17, static_cast<uint16_t>(m_rootEntries));
    if (m_totalSectors <= 0xFFFF)
        le::put16(s + 19, static_cast<uint16_t>(m_totalSectors));
    else
        le::put32(s + 32, m_totalSectors);
    s[21] = m_media;
    le::put16(s + 22, static_cast<uint16_t>(m_sectorsPerFat));
    le::put16(s + 24, 32); // sectors per track
    le::put16(s + 26, 64); // heads
    s[36] = 0x80;          // drive number: a fixed disk
    s[38] = 0x29;          // the next three fields are present
    le::put32(s + 39, volumeId);
    std::memcpy(s + 43, "NO NAME    ", 11);
    std::memcpy(s + 54, m_type == FatType::Fat12 ? "FAT12   " : "FAT16   ", 8);
    // Not bootable: int 18h hands over to the next boot device, then halt.
    static const uint8_t code[] = {0xCD, 0x18, 0xF4, 0xEB, 0xFD};
    std::memcpy(s + 62, code, sizeof code);
    s[510] = 0x55;
    s[511] = 0xAA;
}

uint64_t BootSector::fatOffset(uint32_t copy) const
{
    return (uint64_t(m_reservedSectors) + uint64_t(copy) * m_sectorsPerFat) * m_bytesPerSector;
}

uint32_t BootSector::fatUsedBytes() const
{
    return fatBytesFor(m_type, m_clusterCount);
}

uint64_t BootSector::rootOffset() const
{
    return fatOffset(m_fatCount);
}

uint64_t BootSector::dataOffset() const
{
    return rootOffset() + uint64_t(m_rootSectors) * m_bytesPerSector;
}

uint64_t BootSector::clusterOffset(uint32_t cluster) const
{
    return dataOffset() + uint64_t(cluster - 2) * clusterBytes();
}

} // namespace vexo
