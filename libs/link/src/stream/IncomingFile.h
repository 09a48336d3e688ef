// A block stream arriving into a file, the same way at either end: parts are
// checked and restored, and blocks written as they complete. The file itself
// (a temporary one until the stream is complete) stays with the caller.
#pragma once

#include "BlockAssembler.h"
#include "FileDigest.h"
#include "Message.h"

#include <cstdint>
#include <vector>

namespace vexo::link
{

class IncomingFile
{
public:
    enum class Fault { None, Check, Io };

    // size: what the sender declared; fileContext as agreed in the session;
    // hashed: the session shares kMoreCapHash, so a stream with a CRC-32 at
    // its end must also carry the hash of the whole file, and match it.
    IncomingFile(uint64_t size, bool fileContext, bool hashed = false)
        : m_size(size), m_assembler(fileContext), m_hashed(hashed)
    {
    }

    // Feeds the next part, writing a completed block to fd. Check: a
    // malformed stream, more bytes than declared, or a complete stream of
    // another size; Io: the write failed.
    Fault add(const DataPart &part, int fd);
    bool finished() const { return m_assembler.finished(); }
    uint64_t size() const { return m_size; }
    uint64_t received() const { return m_assembler.total(); }
    // CRC-32 of the first received() bytes of the file.
    uint32_t crc() const { return m_assembler.crc(); }
    // Continues a file whose first bytes are kept, read back as `kept`
    // (the bytes stored, not what a record says of them).
    void startAt(const FileDigest &kept)
    {
        m_assembler.startAt(kept.length(), kept.crc());
        m_digest = kept;
    }

private:
    uint64_t m_size;
    BlockAssembler m_assembler;
    std::vector<uint8_t> m_block;
    bool m_hashed;
    FileDigest m_digest; // of every byte of the file stored so far, when hashed
};

} // namespace vexo::link
