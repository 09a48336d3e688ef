#include "BlockSplitter.h"

#include <algorithm>

namespace vexo::link
{

std::vector<DataPart> splitBlock(Codec codec, const uint8_t *raw, size_t size, size_t maxPartData,
                                 bool endOfStream, uint32_t streamCrc, bool wholeStream)
{
    std::vector<uint8_t> packed;
    const Codec used = compressBlock(codec, raw, size, packed);
    return splitPacked(static_cast<uint8_t>(used), packed, maxPartData, endOfStream, streamCrc, wholeStream);
}

std::vector<DataPart> splitPacked(uint8_t coding, const std::vector<uint8_t> &packed, size_t maxPartData,
                                  bool endOfStream, uint32_t streamCrc, bool wholeStream)
{
    std::vector<DataPart> parts;
    size_t offset = 0;
    do {
        const size_t n = std::min(maxPartData, packed.size() - offset);
        DataPart part;
        part.flags = coding;
        part.data.assign(packed.begin() + static_cast<std::ptrdiff_t>(offset),
                         packed.begin() + static_cast<std::ptrdiff_t>(offset + n));
        offset += n;
        if (offset == packed.size())
            part.flags |= kPartEndOfBlock | (endOfStream ? kPartEndOfStream : 0);
        parts.push_back(std::move(part));
    } while (offset < packed.size());
    if (endOfStream && !(wholeStream && parts.size() == 1)) {
        parts.back().flags |= kPartStreamCrc;
        parts.back().streamCrc = streamCrc;
    }
    return parts;
}

} // namespace vexo::link
