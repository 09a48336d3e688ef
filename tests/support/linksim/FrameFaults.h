#pragma once

#include "FaultInjector.h"

#include <cstddef>
#include <cstdint>

namespace vexo::test
{

// Loses or damages whole frames of the device link, every n-th frame of one
// direction, for measuring how the link recovers from each kind on its own.
// It follows the frames by their headers (magic byte, payload length), so it
// is meant for a stream that holds only the link's frames.
class FrameFaults
{
public:
    // Every `dropEvery`-th frame is lost whole; every `damageEvery`-th has a
    // bit of its last byte (the check) inverted, so the receiver still knows
    // which frame it was. 0 = never; a frame picked by both is lost.
    FrameFaults(unsigned dropEvery, unsigned damageEvery);

    FaultInjector::Fate apply(uint8_t &byte);
    bool active() const { return m_dropEvery > 0 || m_damageEvery > 0; }

private:
    static constexpr size_t kHeaderSize = 9;

    unsigned m_dropEvery;
    unsigned m_damageEvery;
    uint64_t m_frames = 0;
    bool m_inFrame = false;
    size_t m_pos = 0;   // bytes of the current frame seen so far
    size_t m_total = 0; // its size once its header is complete, else 0
    uint8_t m_header[kHeaderSize] = {};
    FaultInjector::Fate m_fate = FaultInjector::Fate::Intact;
};

} // namespace vexo::test
