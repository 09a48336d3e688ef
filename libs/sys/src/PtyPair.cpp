#include "vexo/sys/PtyPair.h"

#include "vexo/sys/Tty.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace vexo::sys
{

namespace
{
bool fail(std::string *error, const std::string &what)
{
    if (error)
        *error = what + ": " + std::strerror(errno);
    return false;
}
} // namespace

bool PtyPair::open(std::string *error, int nominalBaud)
{
    close();
    m_master.reset(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!m_master || grantpt(m_master.get()) != 0 || unlockpt(m_master.get()) != 0) {
        const bool result = fail(error, "cannot create a pseudo-terminal");
        close();
        return result;
    }
    char name[128];
    if (ptsname_r(m_master.get(), name, sizeof name) != 0) {
        const bool result = fail(error, "cannot name the pseudo-terminal");
        close();
        return result;
    }
    m_slave.reset(::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (!m_slave || !makeRawTty(m_slave.get(), nominalBaud)) {
        const bool result = fail(error, name);
        close();
        return result;
    }
    m_slavePath = name;
    return true;
}

void PtyPair::close()
{
    m_slave.reset();
    m_master.reset();
    m_slavePath.clear();
}

} // namespace vexo::sys
