// A ByteStream decorator that damages what it reads: bit flips and lost
// bytes at fixed rates from a fixed seed, and optionally everything after a
// given number of bytes.
#pragma once

#include "ByteStream.h"

#include <cstdint>
#include <memory>
#include <random>

namespace vexo::link::test
{

class FaultyStream : public ByteStream
{
public:
    FaultyStream(std::shared_ptr<ByteStream> inner, double flipPerByte, double dropPerByte, uint32_t seed)
        : m_inner(std::move(inner)), m_flip(flipPerByte), m_drop(dropPerByte), m_rng(seed)
    {
    }

    int wait(bool wantWrite, int timeoutMs) override { return m_inner->wait(wantWrite, timeoutMs); }
    long writeSome(const uint8_t *data, size_t size) override { return m_inner->writeSome(data, size); }
    long readSome(uint8_t *buffer, size_t capacity) override
    {
        const long n = m_inner->readSome(buffer, capacity);
        if (n <= 0)
            return n;
        long kept = 0;
        for (long i = 0; i < n; ++i) {
            if (m_read++ >= m_cut || m_unit(m_rng) < m_drop) {
                ++dropped;
                continue;
            }
            uint8_t b = buffer[i];
            if (m_unit(m_rng) < m_flip) {
                b ^= static_cast<uint8_t>(1u << (m_rng() % 8));
                ++flipped;
            }
            buffer[kept++] = b;
        }
        return kept;
    }

    void setFlip(double flipPerByte) { m_flip = flipPerByte; }
    // Passes the first `bytes` read and loses everything after: a device
    // killed at that point, or a line that drops the rest.
    void cutAfter(uint64_t bytes) { m_cut = bytes; }

    uint64_t flipped = 0;
    uint64_t dropped = 0;

private:
    std::shared_ptr<ByteStream> m_inner;
    double m_flip;
    double m_drop;
    uint64_t m_cut = UINT64_MAX;
    uint64_t m_read = 0;
    std::mt19937 m_rng;
    std::uniform_real_distribution<double> m_unit{0.0, 1.0};
};

} // namespace vexo::link::test
