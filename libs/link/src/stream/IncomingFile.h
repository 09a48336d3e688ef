// A block stream arriving into a file, the same way at either end: parts are
// checked and restored, and blocks written as they complete. The file itself
// (a temporary one until the stream is complete) stays with the caller.
#pragma once

#include "BlockAssembler.h"
#include "Message.h"

#include <cstdint>
#include <vector>

namespace vexo::link
{

class IncomingFile
{
public:
    enum class Fault { None, Check, Io };

    // size: what the sender declared; fileContext as agreed in the session.
    IncomingFile(uint64_t size, bool fileContext) : m_size(size), m_assembler(fileContext) {}

    // Feeds the next part, writing a completed block to fd. Check: a
    // malformed stream, more bytes than declared, or a complete stream of
    // another size; Io: the write failed.
    Fault add(const DataPart &part, int fd);
    bool finished() const { return m_assembler.finished(); }
    uint64_t size() const { return m_size; }
    uint64_t received() const { return m_assembler.total(); }
    // CRC-32 of the first received() bytes of the file.
    uint32_t crc() const { return m_assembler.crc(); }
    // Continues a file whose first `offset` bytes (CRC-32 `crc`) are kept.
    void startAt(uint64_t offset, uint32_t crc) { m_assembler.startAt(offset, crc); }

private:
    uint64_t m_size;
    BlockAssembler m_assembler;
    std::vector<uint8_t> m_block;
};

} // namespace vexo::link
