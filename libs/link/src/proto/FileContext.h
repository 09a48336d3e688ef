// One zstd context across the blocks of a file, at the sending or the
// receiving end, so that a block may refer back to the ones before it
// instead of starting cold. Each end makes only the half it uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct ZSTD_CCtx_s;
struct ZSTD_DCtx_s;

namespace vexo::link
{

class FileContext
{
public:
    FileContext();
    ~FileContext();

    // Sending: compresses the next block, flushed so that the receiver
    // restores all of it from these bytes alone. False when that fails or is
    // not smaller than the block: the block then goes raw, after restart().
    bool compress(const uint8_t *raw, size_t size, std::vector<uint8_t> &out);
    // Receiving: restores the next block from all of its compressed bytes;
    // fails on damaged input, on a frame that wants a larger window than the
    // protocol allows, and on more than maxSize bytes of output.
    bool decompress(const uint8_t *data, size_t size, size_t maxSize, std::vector<uint8_t> &out);
    // A block went without the context: the next one begins a new zstd frame.
    void restart();

private:
    struct Free {
        void operator()(ZSTD_CCtx_s *context) const;
        void operator()(ZSTD_DCtx_s *context) const;
    };
    std::unique_ptr<ZSTD_CCtx_s, Free> m_compressor;
    std::unique_ptr<ZSTD_DCtx_s, Free> m_decompressor;
};

} // namespace vexo::link
