#include "BlockAssembler.h"

#include "BlockCodec.h"
#include "Crc32.h"
#include "FileContext.h"

namespace vexo::link
{

BlockAssembler::BlockAssembler(bool fileContext) : m_fileContext(fileContext)
{
}

BlockAssembler::~BlockAssembler() = default;
BlockAssembler::BlockAssembler(BlockAssembler &&) noexcept = default;
BlockAssembler &BlockAssembler::operator=(BlockAssembler &&) noexcept = default;

bool BlockAssembler::add(const DataPart &part, std::vector<uint8_t> &block, bool &blockDone)
{
    blockDone = false;
    const int coding = part.flags & (kPartCodecMask | kPartContext);
    if (m_finished || (m_coding >= 0 && coding != m_coding))
        return false;
    m_coding = coding;
    ++m_parts;
    if (m_pending.size() + part.data.size() > kMaxBlockSize)
        return false;
    m_pending.insert(m_pending.end(), part.data.begin(), part.data.end());
    if (!(part.flags & kPartEndOfBlock))
        return true;
    if (!restore(coding, block))
        return false;
    m_pending.clear();
    m_coding = -1;
    m_crc = crc32(block.data(), block.size(), m_crc);
    m_total += block.size();
    blockDone = true;
    if (part.flags & kPartEndOfStream) {
        m_finished = true;
        return (part.flags & kPartStreamCrc) ? m_crc == part.streamCrc : m_parts == 1;
    }
    return true;
}

bool BlockAssembler::restore(int coding, std::vector<uint8_t> &block)
{
    if (coding & kPartContext) {
        if (!m_fileContext)
            return false;
        if (!m_context)
            m_context = std::make_unique<FileContext>();
        return m_context->decompress(m_pending.data(), m_pending.size(), kMaxBlockSize, block);
    }
    // The sender's context starts over after a block that went without it.
    if (m_context)
        m_context->restart();
    return decompressBlock(static_cast<Codec>(coding), m_pending.data(), m_pending.size(), kMaxBlockSize,
                           block);
}

} // namespace vexo::link
