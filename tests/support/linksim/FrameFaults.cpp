#include "FrameFaults.h"

namespace vexo::test
{

namespace
{
constexpr uint8_t kMagic = 0xA7;
constexpr size_t kTrailerSize = 4;
} // namespace

FrameFaults::FrameFaults(unsigned dropEvery, unsigned damageEvery)
    : m_dropEvery(dropEvery), m_damageEvery(damageEvery)
{
}

FaultInjector::Fate FrameFaults::apply(uint8_t &byte)
{
    using Fate = FaultInjector::Fate;
    if (!m_inFrame) {
        if (byte != kMagic) {
            return Fate::Intact; // between frames: nothing to count
        }
        ++m_frames;
        m_inFrame = true;
        m_pos = 0;
        m_total = 0;
        m_fate = Fate::Intact;
        if (m_damageEvery > 0 && m_frames % m_damageEvery == 0) {
            m_fate = Fate::Flipped;
        }
        if (m_dropEvery > 0 && m_frames % m_dropEvery == 0) {
            m_fate = Fate::Dropped;
        }
    }
    if (m_pos < kHeaderSize) {
        m_header[m_pos] = byte;
        if (m_pos + 1 == kHeaderSize) {
            m_total = kHeaderSize + (m_header[5] | size_t{m_header[6]} << 8) + kTrailerSize;
        }
    }
    const bool last = m_total > 0 && m_pos + 1 == m_total;
    ++m_pos;
    if (last) {
        m_inFrame = false;
    }
    if (m_fate == Fate::Dropped) {
        return Fate::Dropped;
    }
    if (m_fate == Fate::Flipped && last) {
        byte ^= 0x01;
        return Fate::Flipped;
    }
    return Fate::Intact;
}

} // namespace vexo::test
