#include "vexo/sys/AtomicFile.h"

#include <cerrno>
#include <unistd.h>

namespace vexo::sys
{

AtomicFile::~AtomicFile()
{
    discard();
}

AtomicFile &AtomicFile::operator=(AtomicFile &&other) noexcept
{
    if (this != &other) {
        discard();
        m_fd = std::move(other.m_fd);
        m_target = std::move(other.m_target);
        m_temporary = std::move(other.m_temporary);
        other.m_temporary.clear();
    }
    return *this;
}

int AtomicFile::open(const std::string &target, const char *tag)
{
    discard();
    const auto slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    m_fd = createUniqueFile(dir + "." + base + tag, m_temporary);
    if (!m_fd) {
        const int error = errno;
        m_temporary.clear();
        return error;
    }
    m_target = target;
    return 0;
}

int AtomicFile::commit(Placement how)
{
    if (m_temporary.empty())
        return EBADF;
    const std::string temporary = std::move(m_temporary);
    m_temporary.clear();
    if (!m_fd.close()) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return error;
    }
    const int error = placeFile(temporary, m_target, how);
    if (error != 0)
        ::unlink(temporary.c_str());
    return error;
}

void AtomicFile::discard()
{
    m_fd.reset();
    if (!m_temporary.empty())
        ::unlink(m_temporary.c_str());
    m_temporary.clear();
}

} // namespace vexo::sys
