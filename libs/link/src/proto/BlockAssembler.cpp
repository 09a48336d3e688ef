#include "BlockAssembler.h"

#include "BlockCodec.h"
#include "Crc32.h"

namespace vexo::link
{

bool BlockAssembler::add(const DataPart &part, std::vector<uint8_t> &block, bool &blockDone)
{
    blockDone = false;
    const int codec = part.flags & kPartCodecMask;
    if (m_finished || (m_codec >= 0 && codec != m_codec))
        return false;
    m_codec = codec;
    ++m_parts;
    if (m_pending.size() + part.data.size() > kMaxBlockSize)
        return false;
    m_pending.insert(m_pending.end(), part.data.begin(), part.data.end());
    if (!(part.flags & kPartEndOfBlock))
        return true;
    if (!decompressBlock(static_cast<Codec>(codec), m_pending.data(), m_pending.size(), kMaxBlockSize, block))
        return false;
    m_pending.clear();
    m_codec = -1;
    m_crc = crc32(block.data(), block.size(), m_crc);
    m_total += block.size();
    blockDone = true;
    if (part.flags & kPartEndOfStream) {
        m_finished = true;
        return (part.flags & kPartStreamCrc) ? m_crc == part.streamCrc : m_parts == 1;
    }
    return true;
}

} // namespace vexo::link
