#pragma once

#include "Frame.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexo::link
{

// Cuts frames out of a byte stream that may hold noise, damaged frames and
// lost bytes. Bytes that do not start a valid header are skipped one by one.
class FrameDecoder
{
public:
    enum class Result {
        None,    // need more bytes
        Frame,   // a whole, checked frame
        Damaged, // header intact, payload or trailer damaged: type, tag and seq are known, payload empty
    };

    void feed(const uint8_t *data, size_t size);
    Result next(Frame &frame);
    void clear();

    uint64_t skippedBytes() const { return m_skipped; }
    uint64_t damagedFrames() const { return m_damaged; }

private:
    void compact();

    std::vector<uint8_t> m_buf;
    size_t m_pos = 0;
    uint64_t m_skipped = 0;
    uint64_t m_damaged = 0;
};

} // namespace vexo::link
