#include "BlockCodec.h"

#include <zlib.h>
#include <zstd.h>

namespace vexo::link
{

namespace
{
constexpr int kZlibLevel = 6;
} // namespace

uint8_t localCodecCaps()
{
    return kCapZstd | kCapZlib;
}

Codec chooseCodec(uint8_t capsA, uint8_t capsB)
{
    const uint8_t both = capsA & capsB;
    if (both & kCapZstd)
        return Codec::Zstd;
    if (both & kCapZlib)
        return Codec::Zlib;
    return Codec::None;
}

Codec compressBlock(Codec codec, const uint8_t *raw, size_t size, std::vector<uint8_t> &out)
{
    if (codec == Codec::Zstd && size > 0) {
        out.resize(ZSTD_compressBound(size));
        const size_t n = ZSTD_compress(out.data(), out.size(), raw, size, kZstdLevel);
        if (!ZSTD_isError(n) && n < size) {
            out.resize(n);
            return Codec::Zstd;
        }
    } else if (codec == Codec::Zlib && size > 0) {
        uLongf n = compressBound(static_cast<uLong>(size));
        out.resize(n);
        if (compress2(out.data(), &n, raw, static_cast<uLong>(size), kZlibLevel) == Z_OK && n < size) {
            out.resize(n);
            return Codec::Zlib;
        }
    }
    out.assign(raw, raw + size);
    return Codec::None;
}

bool decompressBlock(Codec codec, const uint8_t *data, size_t size, size_t maxSize, std::vector<uint8_t> &out)
{
    switch (codec) {
    case Codec::None:
        if (size > maxSize)
            return false;
        out.assign(data, data + size);
        return true;
    case Codec::Zstd: {
        out.resize(maxSize);
        const size_t n = ZSTD_decompress(out.data(), out.size(), data, size);
        if (ZSTD_isError(n))
            return false;
        out.resize(n);
        return true;
    }
    case Codec::Zlib: {
        uLongf n = static_cast<uLongf>(maxSize);
        out.resize(maxSize);
        if (uncompress(out.data(), &n, data, static_cast<uLong>(size)) != Z_OK)
            return false;
        out.resize(n);
        return true;
    }
    }
    return false;
}

} // namespace vexo::link
