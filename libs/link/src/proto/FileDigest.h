// The checks of a file's bytes taken in one pass: the CRC-32 every session
// uses, and the BLAKE2b hash of sessions that share kMoreCapHash. CRC-32
// catches line damage but not bytes chosen to keep it (four patched bytes
// restore any CRC-32); the hash catches those too.
#pragma once

#include <array>
#include <blake2.h>
#include <cstddef>
#include <cstdint>

namespace vexo::link
{

constexpr size_t kHashSize = 32;
using Hash = std::array<uint8_t, kHashSize>;

class FileDigest
{
public:
    FileDigest();

    void add(const uint8_t *data, size_t size);
    // Reads the next `count` bytes of fd from offset length() on, without
    // moving its position, and adds them. False on a read error or a file
    // that ends before them.
    bool addFrom(int fd, uint64_t count);

    uint64_t length() const { return m_length; }
    uint32_t crc() const { return m_crc; }
    // BLAKE2b (32 bytes) of everything added so far; more may be added after.
    Hash hash() const;

private:
    blake2b_state m_state;
    uint32_t m_crc = 0;
    uint64_t m_length = 0;
};

} // namespace vexo::link
