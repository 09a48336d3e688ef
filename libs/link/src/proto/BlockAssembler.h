#pragma once

#include "Message.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace vexo::link
{

class FileContext;

// Collects the data parts of one stream (a file or a listing) and restores
// its raw blocks, keeping the CRC-32 and length of everything restored.
class BlockAssembler
{
public:
    // fileContext: blocks may continue the file's compression context
    // (kPartContext), as the session agreed; otherwise such a block is malformed.
    explicit BlockAssembler(bool fileContext = false);
    ~BlockAssembler();
    BlockAssembler(BlockAssembler &&) noexcept;
    BlockAssembler &operator=(BlockAssembler &&) noexcept;

    // Feeds the next part. Returns false when the stream is malformed: mixed
    // codecs within a block, an oversized or undecodable block, a part after
    // the end, a CRC-32 that does not match at the end, or a missing CRC-32
    // on a stream of more than one part. When the part
    // completes a block, its raw bytes are in `block` and blockDone is true.
    bool add(const DataPart &part, std::vector<uint8_t> &block, bool &blockDone);

    bool finished() const { return m_finished; }
    uint64_t total() const { return m_total; }
    // CRC-32 of everything restored so far (with startAt: of the whole file so far).
    uint32_t crc() const { return m_crc; }
    // A resumed stream: `total` bytes of CRC-32 `crc` are already in place,
    // and the stream CRC at its end covers them as well.
    void startAt(uint64_t total, uint32_t crc)
    {
        m_total = total;
        m_crc = crc;
    }

private:
    bool restore(int coding, std::vector<uint8_t> &block);

    std::vector<uint8_t> m_pending;
    int m_coding = -1; // codec and context bits of the block being collected
    uint32_t m_crc = 0;
    uint64_t m_total = 0;
    uint64_t m_parts = 0;
    bool m_finished = false;
    bool m_fileContext = false;
    std::unique_ptr<FileContext> m_context; // made with the first block that uses it
};

} // namespace vexo::link
