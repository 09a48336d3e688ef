#include "BlockEncoder.h"

#include "BlockSplitter.h"
#include "FileContext.h"

namespace vexo::link
{

BlockEncoder::BlockEncoder(Codec codec, bool fileContext)
    : m_codec(codec), m_fileContext(fileContext && codec == Codec::Zstd)
{
}

BlockEncoder::~BlockEncoder() = default;

std::vector<DataPart> BlockEncoder::encode(const uint8_t *raw, size_t size, size_t maxPartData,
                                           bool endOfStream, uint32_t streamCrc, bool wholeStream)
{
    // A stream of one block gains nothing from a context, which only costs
    // the memory of its tables.
    if (!m_fileContext || wholeStream)
        return splitBlock(m_codec, raw, size, maxPartData, endOfStream, streamCrc, wholeStream);
    if (!m_context)
        m_context = std::make_unique<FileContext>();
    std::vector<uint8_t> packed;
    if (m_context->compress(raw, size, packed))
        return splitPacked(static_cast<uint8_t>(Codec::Zstd) | kPartContext, packed, maxPartData, endOfStream,
                           streamCrc);
    m_context->restart();
    packed.assign(raw, raw + size);
    return splitPacked(static_cast<uint8_t>(Codec::None), packed, maxPartData, endOfStream, streamCrc);
}

} // namespace vexo::link
