#pragma once

#include "BlockCodec.h"
#include "Message.h"

#include <cstdint>
#include <vector>

namespace vexo::link
{

// Turns a raw block (at most kMaxBlockSize) into data parts of at most
// maxPartData bytes each: compressed as a unit when that is smaller, the last
// part marked end of block, and with endOfStream also end of stream with the
// stream's CRC-32. wholeStream: this block is the entire stream, so a single
// part goes without the stream CRC (the frame's CRC-32 covers it).
std::vector<DataPart> splitBlock(Codec codec, const uint8_t *raw, size_t size, size_t maxPartData,
                                 bool endOfStream, uint32_t streamCrc, bool wholeStream = false);
// The same for a block already in its wire form, whose parts carry `coding`
// (codec and kPartContext bits).
std::vector<DataPart> splitPacked(uint8_t coding, const std::vector<uint8_t> &packed, size_t maxPartData,
                                  bool endOfStream, uint32_t streamCrc, bool wholeStream = false);

} // namespace vexo::link
