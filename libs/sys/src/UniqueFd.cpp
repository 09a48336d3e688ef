#include "vexo/sys/UniqueFd.h"

#include <unistd.h>

namespace vexo::sys
{

UniqueFd::~UniqueFd()
{
    reset();
}

UniqueFd &UniqueFd::operator=(UniqueFd &&other) noexcept
{
    if (this != &other)
        reset(other.release());
    return *this;
}

int UniqueFd::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

void UniqueFd::reset(int fd)
{
    if (m_fd >= 0 && m_fd != fd)
        ::close(m_fd);
    m_fd = fd;
}

bool UniqueFd::close()
{
    // Linux frees the descriptor even when close() fails; never retry it.
    const int fd = release();
    return fd < 0 || ::close(fd) == 0;
}

} // namespace vexo::sys
