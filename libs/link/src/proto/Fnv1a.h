#pragma once

#include <cstddef>
#include <cstdint>

namespace vexo::link
{

// 64-bit FNV-1a: the same value on every build and machine, as a hash that
// is sent or stored must be; no defence against a collision made on purpose.
class Fnv1a
{
public:
    void add(const void *data, size_t size)
    {
        for (size_t i = 0; i < size; ++i) {
            m_hash ^= static_cast<const uint8_t *>(data)[i];
            m_hash *= 0x100000001b3ull;
        }
    }
    uint64_t value() const { return m_hash; }

private:
    uint64_t m_hash = 0xcbf29ce484222325ull;
};

} // namespace vexo::link
