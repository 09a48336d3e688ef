// Little-endian and varint helpers for everything that goes on the wire.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace vexo::link
{

inline void putLe16(uint8_t *p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline void putLe32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline void putLe64(uint8_t *p, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline uint16_t getLe16(const uint8_t *p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t getLe32(const uint8_t *p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t getLe64(const uint8_t *p)
{
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

// Appends wire fields to a growing buffer.
class ByteWriter
{
public:
    void u8(uint8_t v) { m_data.push_back(v); }
    void u16(uint16_t v)
    {
        uint8_t b[2];
        putLe16(b, v);
        bytes(b, 2);
    }
    void u32(uint32_t v)
    {
        uint8_t b[4];
        putLe32(b, v);
        bytes(b, 4);
    }
    // Unsigned LEB128: 7 bits per byte, low group first.
    void varint(uint64_t v)
    {
        while (v >= 0x80) {
            m_data.push_back(static_cast<uint8_t>(v | 0x80));
            v >>= 7;
        }
        m_data.push_back(static_cast<uint8_t>(v));
    }
    // Zigzag-mapped signed varint, so small negative numbers stay short.
    void svarint(int64_t v) { varint((static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63)); }
    void bytes(const void *p, size_t n)
    {
        const auto *b = static_cast<const uint8_t *>(p);
        m_data.insert(m_data.end(), b, b + n);
    }
    // A string of at most 255 bytes behind a one-byte length.
    void shortString(std::string_view s)
    {
        u8(static_cast<uint8_t>(s.size()));
        bytes(s.data(), s.size() > 255 ? 255 : s.size());
    }
    std::vector<uint8_t> &data() { return m_data; }
    std::vector<uint8_t> take() { return std::move(m_data); }

private:
    std::vector<uint8_t> m_data;
};

// Reads wire fields with bounds checks; every getter returns false instead of
// reading past the end, and the reader then stays failed.
class ByteReader
{
public:
    ByteReader(const uint8_t *data, size_t size) : m_p(data), m_end(data + size) {}
    explicit ByteReader(const std::vector<uint8_t> &v) : ByteReader(v.data(), v.size()) {}

    bool u8(uint8_t &v)
    {
        if (!need(1))
            return false;
        v = *m_p++;
        return true;
    }
    bool u16(uint16_t &v)
    {
        if (!need(2))
            return false;
        v = getLe16(m_p);
        m_p += 2;
        return true;
    }
    bool u32(uint32_t &v)
    {
        if (!need(4))
            return false;
        v = getLe32(m_p);
        m_p += 4;
        return true;
    }
    bool varint(uint64_t &v)
    {
        v = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            uint8_t b;
            if (!u8(b))
                return false;
            v |= static_cast<uint64_t>(b & 0x7F) << shift;
            if (!(b & 0x80))
                return true;
        }
        m_ok = false;
        return false;
    }
    bool svarint(int64_t &v)
    {
        uint64_t u;
        if (!varint(u))
            return false;
        v = static_cast<int64_t>((u >> 1) ^ (~(u & 1) + 1));
        return true;
    }
    bool shortString(std::string &s)
    {
        uint8_t n;
        if (!u8(n) || !need(n))
            return false;
        s.assign(reinterpret_cast<const char *>(m_p), n);
        m_p += n;
        return true;
    }
    bool bytes(void *out, size_t n)
    {
        if (!need(n))
            return false;
        std::memcpy(out, m_p, n);
        m_p += n;
        return true;
    }
    // Hands out the unread rest and consumes it.
    std::vector<uint8_t> rest()
    {
        std::vector<uint8_t> r(m_p, m_end);
        m_p = m_end;
        return r;
    }
    size_t remaining() const { return static_cast<size_t>(m_end - m_p); }
    bool ok() const { return m_ok; }

private:
    bool need(size_t n)
    {
        if (!m_ok || static_cast<size_t>(m_end - m_p) < n) {
            m_ok = false;
            return false;
        }
        return true;
    }
    const uint8_t *m_p;
    const uint8_t *m_end;
    bool m_ok = true;
};

} // namespace vexo::link
