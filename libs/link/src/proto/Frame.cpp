#include "Frame.h"

#include "ByteIO.h"
#include "Crc32.h"

namespace vexo::link
{

bool isKnownFrameType(uint8_t type)
{
    return type >= static_cast<uint8_t>(FrameType::Hello) && type <= static_cast<uint8_t>(FrameType::Reset);
}

void appendFrame(std::vector<uint8_t> &out, FrameType type, uint8_t tag, uint16_t seq, const uint8_t *payload,
                 size_t size)
{
    const size_t start = out.size();
    out.resize(start + kFrameHeaderSize);
    uint8_t *h = out.data() + start;
    h[0] = kFrameMagic;
    h[1] = static_cast<uint8_t>(type);
    h[2] = tag;
    putLe16(h + 3, seq);
    putLe16(h + 5, static_cast<uint16_t>(size));
    putLe16(h + 7, static_cast<uint16_t>(crc32(h, 7)));
    if (size > 0)
        out.insert(out.end(), payload, payload + size);
    const uint32_t crc = crc32(out.data() + start, kFrameHeaderSize + size);
    uint8_t t[4];
    putLe32(t, crc);
    out.insert(out.end(), t, t + 4);
}

std::vector<uint8_t> encodeFrame(const Frame &frame)
{
    std::vector<uint8_t> out;
    out.reserve(kFrameOverhead + frame.payload.size());
    appendFrame(out, frame.type, frame.tag, frame.seq, frame.payload.data(), frame.payload.size());
    return out;
}

} // namespace vexo::link
