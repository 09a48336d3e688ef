#pragma once

#include <cstddef>
#include <cstdint>

namespace vexo::link
{

// CRC-32 (IEEE 802.3, reflected, as zlib and Ethernet compute it). Pass the
// previous result as `crc` to continue over several pieces; start with 0.
uint32_t crc32(const void *data, size_t size, uint32_t crc = 0);

// CRC-32 of what is left to read from `fd`. False on a read error (the
// descriptor stays open either way).
bool crc32OfFile(int fd, uint32_t &crc);
// CRC-32 of the first `size` bytes of `fd`, read without moving its
// position. False on a read error or a file shorter than that.
bool crc32OfRange(int fd, uint64_t size, uint32_t &crc);

} // namespace vexo::link
