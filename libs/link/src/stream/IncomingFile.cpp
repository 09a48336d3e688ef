#include "IncomingFile.h"

#include "FileIo.h"

#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace vexo::link
{

IncomingFile::IncomingFile(uint64_t size, bool fileContext) : m_size(size), m_assembler(fileContext)
{
}

IncomingFile::~IncomingFile()
{
    discard();
}

IncomingFile::IncomingFile(IncomingFile &&other) noexcept
    : m_size(other.m_size), m_assembler(std::move(other.m_assembler)), m_block(std::move(other.m_block)),
      m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path))
{
    other.m_path.clear();
}

IncomingFile &IncomingFile::operator=(IncomingFile &&other) noexcept
{
    if (this != &other) {
        discard();
        m_size = other.m_size;
        m_assembler = std::move(other.m_assembler);
        m_block = std::move(other.m_block);
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
        other.m_path.clear();
    }
    return *this;
}

void IncomingFile::attach(int fd, std::string path)
{
    discard();
    m_fd = fd;
    m_path = std::move(path);
}

IncomingFile::Fault IncomingFile::add(const DataPart &part)
{
    bool blockDone = false;
    if (!m_assembler.add(part, m_block, blockDone) || m_assembler.total() > m_size)
        return Fault::Check;
    if (blockDone && !writeAll(m_fd, m_block.data(), m_block.size()))
        return Fault::Io;
    if (m_assembler.finished() && m_assembler.total() != m_size)
        return Fault::Check;
    return Fault::None;
}

std::string IncomingFile::release(bool keepTime, int64_t mtimeMs, int mode)
{
    if (mode >= 0)
        fchmod(m_fd, static_cast<mode_t>(mode));
    if (keepTime)
        keepFileTime(m_fd, mtimeMs);
    const bool closed = ::close(m_fd) == 0;
    m_fd = -1;
    if (!closed) {
        discard();
        return {};
    }
    return std::exchange(m_path, std::string());
}

void IncomingFile::discard()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_path.empty())
        ::unlink(m_path.c_str());
    m_path.clear();
}

} // namespace vexo::link
