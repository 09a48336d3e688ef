#include "FileContext.h"

#include "BlockCodec.h"

#include <new>
#include <zstd.h>

namespace vexo::link
{

void FileContext::Free::operator()(ZSTD_CCtx_s *context) const
{
    ZSTD_freeCCtx(context);
}

void FileContext::Free::operator()(ZSTD_DCtx_s *context) const
{
    ZSTD_freeDCtx(context);
}

FileContext::FileContext() = default;
FileContext::~FileContext() = default;

bool FileContext::compress(const uint8_t *raw, size_t size, std::vector<uint8_t> &out)
{
    if (!m_compressor) {
        m_compressor.reset(ZSTD_createCCtx());
        if (!m_compressor)
            throw std::bad_alloc();
        // The level of single blocks, searching as that level does for inputs
        // of a few blocks; the tables sized to the window rather than to the
        // level's defaults for large inputs, which take megabytes.
        ZSTD_CCtx *c = m_compressor.get();
        ZSTD_CCtx_setParameter(c, ZSTD_c_compressionLevel, kZstdLevel);
        ZSTD_CCtx_setParameter(c, ZSTD_c_windowLog, kContextWindowLog);
        ZSTD_CCtx_setParameter(c, ZSTD_c_hashLog, kContextWindowLog);
        ZSTD_CCtx_setParameter(c, ZSTD_c_chainLog, kContextWindowLog);
        ZSTD_CCtx_setParameter(c, ZSTD_c_searchLog, 5);
        ZSTD_CCtx_setParameter(c, ZSTD_c_minMatch, 4);
        ZSTD_CCtx_setParameter(c, ZSTD_c_targetLength, 8);
    }
    // Room for less than the block only: a flush that does not fit there is
    // not worth finishing.
    out.resize(size);
    ZSTD_inBuffer in{raw, size, 0};
    ZSTD_outBuffer dst{out.data(), out.size(), 0};
    const size_t left = ZSTD_compressStream2(m_compressor.get(), &dst, &in, ZSTD_e_flush);
    if (ZSTD_isError(left) || left != 0 || dst.pos >= size)
        return false;
    out.resize(dst.pos);
    return true;
}

bool FileContext::decompress(const uint8_t *data, size_t size, size_t maxSize, std::vector<uint8_t> &out)
{
    if (!m_decompressor) {
        m_decompressor.reset(ZSTD_createDCtx());
        if (!m_decompressor)
            throw std::bad_alloc();
        ZSTD_DCtx_setParameter(m_decompressor.get(), ZSTD_d_windowLogMax, kContextWindowLog);
    }
    // One byte more than allowed: output that reaches it is too long. A
    // flushed block leaves nothing behind once all its input is taken, as
    // long as the output had room to spare.
    out.resize(maxSize + 1);
    ZSTD_inBuffer in{data, size, 0};
    ZSTD_outBuffer dst{out.data(), out.size(), 0};
    while (in.pos < in.size)
        if (ZSTD_isError(ZSTD_decompressStream(m_decompressor.get(), &dst, &in)) || dst.pos > maxSize)
            return false;
    out.resize(dst.pos);
    return true;
}

void FileContext::restart()
{
    if (m_compressor)
        ZSTD_CCtx_reset(m_compressor.get(), ZSTD_reset_session_only);
    if (m_decompressor)
        ZSTD_DCtx_reset(m_decompressor.get(), ZSTD_reset_session_only);
}

} // namespace vexo::link
