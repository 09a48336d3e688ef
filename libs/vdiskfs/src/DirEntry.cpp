#include "DirEntry.h"

#include "LittleEndian.h"

#include <cstring>

namespace vexo::dirent
{

namespace
{

// Where the 13 UTF-16 characters of a long-name piece sit in the slot.
constexpr int kLfnOffsets[kLfnChars] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};

} // namespace

ShortEntry ShortEntry::decode(const uint8_t *s)
{
    ShortEntry e;
    std::memcpy(e.name.data(), s, 11);
    e.attr = s[11];
    e.caseFlags = s[12];
    e.createTenths = s[13];
    e.created.time = le::get16(s + 14);
    e.created.date = le::get16(s + 16);
    e.accessDate = le::get16(s + 18);
    e.clusterHigh = le::get16(s + 20);
    e.written.time = le::get16(s + 22);
    e.written.date = le::get16(s + 24);
    e.cluster = le::get16(s + 26);
    e.size = le::get32(s + 28);
    return e;
}

void ShortEntry::encode(uint8_t *s) const
{
    std::memcpy(s, name.data(), 11);
    s[11] = attr;
    s[12] = caseFlags;
    s[13] = createTenths;
    le::put16(s + 14, created.time);
    le::put16(s + 16, created.date);
    le::put16(s + 18, accessDate);
    le::put16(s + 20, clusterHigh);
    le::put16(s + 22, written.time);
    le::put16(s + 24, written.date);
    le::put16(s + 26, cluster);
    le::put32(s + 28, size);
}

LfnEntry LfnEntry::decode(const uint8_t *s)
{
    LfnEntry e;
    e.ordinal = s[0];
    e.checksum = s[13];
    for (int i = 0; i < kLfnChars; ++i)
        e.chars[size_t(i)] = static_cast<char16_t>(le::get16(s + kLfnOffsets[i]));
    return e;
}

void LfnEntry::encode(uint8_t *s) const
{
    std::memset(s, 0, kSize);
    s[0] = ordinal;
    s[11] = kAttrLongName;
    s[13] = checksum;
    for (int i = 0; i < kLfnChars; ++i)
        le::put16(s + kLfnOffsets[i], static_cast<uint16_t>(chars[size_t(i)]));
}

uint8_t checksum(const ShortName &name)
{
    uint8_t sum = 0;
    for (uint8_t c : name)
        sum = static_cast<uint8_t>(((sum & 1) << 7) + (sum >> 1) + c);
    return sum;
}

} // namespace vexo::dirent
