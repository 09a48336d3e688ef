#pragma once

#include "FatTime.h"

#include <array>
#include <cstdint>

namespace vexo
{

// One 32-byte directory slot, in its two forms.
namespace dirent
{

constexpr size_t kSize = 32;
constexpr uint8_t kFree = 0xE5;    // first name byte of a deleted entry
constexpr uint8_t kEnd = 0x00;     // first name byte of the first never-used entry
constexpr uint8_t kKanjiE5 = 0x05; // stands for a real first byte 0xE5

constexpr uint8_t kAttrReadOnly = 0x01;
constexpr uint8_t kAttrHidden = 0x02;
constexpr uint8_t kAttrSystem = 0x04;
constexpr uint8_t kAttrVolume = 0x08;
constexpr uint8_t kAttrDirectory = 0x10;
constexpr uint8_t kAttrArchive = 0x20;
// No real file has all four of these bits: they mark a piece of a long name.
constexpr uint8_t kAttrLongName = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrVolume;
constexpr uint8_t kAttrLongNameMask = 0x3F;

using ShortName = std::array<uint8_t, 11>;

// Case flags kept by Windows NT and mtools in byte 12 for names that fit 8.3.
constexpr uint8_t kLowerBase = 0x08;
constexpr uint8_t kLowerExt = 0x10;

struct ShortEntry {
    ShortName name{};
    uint8_t attr = 0;
    uint8_t caseFlags = 0;
    uint8_t createTenths = 0;
    FatTime created;
    uint16_t accessDate = 0;
    uint16_t clusterHigh = 0;
    FatTime written;
    uint16_t cluster = 0;
    uint32_t size = 0;

    static ShortEntry decode(const uint8_t *slot);
    void encode(uint8_t *slot) const;
};

constexpr int kLfnChars = 13;
constexpr uint8_t kLfnLast = 0x40;
constexpr uint8_t kLfnOrdinalMask = 0x1F;

struct LfnEntry {
    uint8_t ordinal = 0; // 1-based piece number, kLfnLast on the final piece
    uint8_t checksum = 0;
    std::array<char16_t, kLfnChars> chars{};

    static LfnEntry decode(const uint8_t *slot);
    void encode(uint8_t *slot) const;
};

inline bool isLongName(const uint8_t *slot)
{
    return (slot[11] & kAttrLongNameMask) == kAttrLongName;
}

// The checksum of an 8.3 name that every piece of its long name carries.
uint8_t checksum(const ShortName &name);

} // namespace dirent

} // namespace vexo
