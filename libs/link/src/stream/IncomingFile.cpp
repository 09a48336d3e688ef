#include "IncomingFile.h"

#include "vexo/sys/FileIo.h"

namespace vexo::link
{

IncomingFile::Fault IncomingFile::add(const DataPart &part, int fd)
{
    bool blockDone = false;
    if (!m_assembler.add(part, m_block, blockDone) || m_assembler.total() > m_size)
        return Fault::Check;
    if (blockDone && !sys::writeAll(fd, m_block.data(), m_block.size()))
        return Fault::Io;
    if (blockDone && m_hashed)
        m_digest.add(m_block.data(), m_block.size());
    if (m_assembler.finished() && m_assembler.total() != m_size)
        return Fault::Check;
    // A CRC-32 can be kept by chosen bytes (a forged partial file); the hash cannot.
    if (m_assembler.finished() && m_hashed && (part.flags & kPartStreamCrc) &&
        (!(part.flags & kPartStreamHash) || part.streamHash != m_digest.hash()))
        return Fault::Check;
    return Fault::None;
}

} // namespace vexo::link
