// Turns the raw blocks of one stream into data parts: each block compressed
// on its own, or, with a file context, as the next piece of one zstd stream.
#pragma once

#include "BlockCodec.h"
#include "Message.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace vexo::link
{

class FileContext;

class BlockEncoder
{
public:
    // fileContext: the session shares kCapZstdContext; used with zstd only.
    BlockEncoder(Codec codec, bool fileContext);
    ~BlockEncoder();
    BlockEncoder(const BlockEncoder &) = delete;
    BlockEncoder &operator=(const BlockEncoder &) = delete;

    // The parts of the next block (see splitBlock). A block that the context
    // would not make smaller goes raw, and the context starts over after it.
    std::vector<DataPart> encode(const uint8_t *raw, size_t size, size_t maxPartData, bool endOfStream,
                                 uint32_t streamCrc, bool wholeStream = false);

private:
    Codec m_codec;
    bool m_fileContext;
    std::unique_ptr<FileContext> m_context; // made with the first block that uses it
};

} // namespace vexo::link
