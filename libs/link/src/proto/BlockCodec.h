// Compression of data blocks. A block is compressed as a unit and sent in
// its compressed form only when that is smaller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexo::link
{

enum class Codec : uint8_t { None = 0, Zstd = 1, Zlib = 2 };

// Capability bits of the hello.
constexpr uint8_t kCapZstd = 0x01;
constexpr uint8_t kCapZlib = 0x02;
// With zstd: the blocks of a file share one compression context (kPartContext).
constexpr uint8_t kCapZstdContext = 0x10;

// Largest block of file data or listing entries, before compression.
constexpr size_t kMaxBlockSize = 32 * 1024;

// Compression costs nothing next to a serial line; a higher level pays.
constexpr int kZstdLevel = 9;
// The window of a file's shared context: 64 KiB, past which hardly anything
// more is found in files, while the receiver's memory grows with it.
constexpr int kContextWindowLog = 16;

uint8_t localCodecCaps();
// The best codec both sides offer.
Codec chooseCodec(uint8_t capsA, uint8_t capsB);

// Compresses `raw` with `codec` into `out`; returns the codec actually used
// (None, with out = raw, when compression would not make it smaller).
Codec compressBlock(Codec codec, const uint8_t *raw, size_t size, std::vector<uint8_t> &out);
// Restores a block; fails on damaged input or on output beyond maxSize.
bool decompressBlock(Codec codec, const uint8_t *data, size_t size, size_t maxSize,
                     std::vector<uint8_t> &out);

} // namespace vexo::link
