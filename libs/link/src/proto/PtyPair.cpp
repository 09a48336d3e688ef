#include "PtyPair.h"

#include "SerialDevice.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace vexo::link
{

PtyPair::~PtyPair()
{
    if (m_master >= 0)
        close(m_master);
    if (m_slave >= 0)
        close(m_slave);
}

int PtyPair::releaseMaster()
{
    const int fd = m_master;
    m_master = -1;
    return fd;
}

bool PtyPair::open(std::string *error)
{
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        if (error)
            *error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    char name[128];
    if (ptsname_r(m_master, name, sizeof name) != 0) {
        if (error)
            *error = "cannot name the pseudo-terminal";
        return false;
    }
    m_slavePath = name;
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0 || !makeRawTty(m_slave, 0)) {
        if (error)
            *error = m_slavePath + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

} // namespace vexo::link
