#include "FrameDecoder.h"

#include "ByteIO.h"
#include "Crc32.h"

#include <algorithm>

namespace vexo::link
{

namespace
{
// A header inside a damaged frame is real only after lost bytes, rarely more
// than one per damaged frame; each byte fed pays for this many bytes of such checks.
constexpr uint64_t kBudgetPerByte = 2;
constexpr uint64_t kBudgetMax = 8 * (kMaxFramePayload + kFrameOverhead);
} // namespace

void FrameDecoder::feed(const uint8_t *data, size_t size)
{
    compact();
    m_buf.insert(m_buf.end(), data, data + size);
    m_budget = std::min(kBudgetMax, m_budget + kBudgetPerByte * size);
}

void FrameDecoder::clear()
{
    m_base += m_buf.size();
    m_buf.clear();
    m_pos = 0;
}

void FrameDecoder::dropPartialFrame()
{
    if (m_partialAt == 0 || m_partialAt != m_base + m_pos + 1)
        return;
    m_damagedEnd = std::max(m_damagedEnd, m_base + m_buf.size());
    m_partialAt = 0;
    ++m_pos;
    ++m_damaged;
}

void FrameDecoder::compact()
{
    if (m_pos > 0) {
        m_buf.erase(m_buf.begin(), m_buf.begin() + static_cast<std::ptrdiff_t>(m_pos));
        m_base += m_pos;
        m_pos = 0;
    }
}

FrameDecoder::Result FrameDecoder::next(Frame &frame)
{
    for (;;) {
        const auto *begin = m_buf.data() + m_pos;
        const auto *end = m_buf.data() + m_buf.size();
        const auto *magic = std::find(begin, end, kFrameMagic);
        m_skipped += static_cast<uint64_t>(magic - begin);
        m_pos = static_cast<size_t>(magic - m_buf.data());
        if (static_cast<size_t>(end - magic) < kFrameHeaderSize)
            return Result::None;

        const uint8_t *h = magic;
        const uint16_t length = getLe16(h + 5);
        if (!isKnownFrameType(h[1]) || length > kMaxFramePayload ||
            getLe16(h + 7) != static_cast<uint16_t>(crc32(h, 7))) {
            ++m_pos;
            ++m_skipped;
            continue;
        }
        const size_t total = kFrameHeaderSize + length + kFrameTrailerSize;
        if (static_cast<size_t>(end - magic) < total) {
            m_partialAt = m_base + m_pos + 1;
            return Result::None;
        }
        m_partialAt = 0;
        // Forged headers back to back would each cost a full CRC: inside a
        // damaged frame, a header is checked only while the budget lasts.
        const uint64_t offset = m_base + m_pos;
        const bool nested = offset < m_damagedEnd;
        if (nested && m_budget < total) {
            ++m_pos;
            ++m_skipped;
            continue;
        }
        if (nested)
            m_budget -= total;
        m_checked += total - kFrameTrailerSize;

        frame.type = static_cast<FrameType>(h[1]);
        frame.tag = h[2];
        frame.seq = getLe16(h + 3);
        if (getLe32(h + kFrameHeaderSize + length) == crc32(h, kFrameHeaderSize + length)) {
            frame.payload.assign(h + kFrameHeaderSize, h + kFrameHeaderSize + length);
            m_pos += total;
            return Result::Frame;
        }
        // A lost byte makes a frame swallow the start of the next one: look
        // for headers inside the damaged frame again.
        frame.payload.clear();
        m_damagedEnd = std::max(m_damagedEnd, offset + total);
        ++m_pos;
        ++m_damaged;
        return Result::Damaged;
    }
}

} // namespace vexo::link
