#pragma once

#include "Frame.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexo::link
{

// Cuts frames out of a byte stream that may hold noise, damaged frames and
// lost bytes. Bytes that do not start a valid header are skipped one by one.
// The CRC work spent on headers found inside damaged frames is bounded by a
// small multiple of the bytes fed, so a stream of forged headers costs little
// more to scan than noise.
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
    // Stream offset of a frame whose header arrived but whose rest has not
    // (next() returned None waiting for it); 0 for none.
    uint64_t partialFrameAt() const { return m_partialAt; }
    // Gives up waiting for the rest of that frame, as after a pulled cable:
    // its bytes are searched again for headers, as those of a damaged frame.
    void dropPartialFrame();

    uint64_t skippedBytes() const { return m_skipped; }
    uint64_t damagedFrames() const { return m_damaged; }
    // Bytes run through a frame's trailing CRC-32 so far.
    uint64_t checkedBytes() const { return m_checked; }

private:
    void compact();

    std::vector<uint8_t> m_buf;
    size_t m_pos = 0;
    uint64_t m_base = 0;       // stream offset of m_buf[0]
    uint64_t m_damagedEnd = 0; // stream offset where the furthest damaged frame ends
    uint64_t m_budget = 0;     // CRC bytes allowed for headers inside damaged frames
    uint64_t m_skipped = 0;
    uint64_t m_damaged = 0;
    uint64_t m_checked = 0;
    uint64_t m_partialAt = 0; // stream offset + 1 of the incomplete frame, 0 for none
};

} // namespace vexo::link
