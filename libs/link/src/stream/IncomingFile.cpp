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
    if (m_assembler.finished() && m_assembler.total() != m_size)
        return Fault::Check;
    return Fault::None;
}

} // namespace vexo::link
