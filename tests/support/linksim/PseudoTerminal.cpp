#include "PseudoTerminal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace vexo::test
{

namespace
{

bool fail(std::string *error, const char *what)
{
    if (error) {
        *error = std::string(what) + ": " + std::strerror(errno);
    }
    return false;
}

speed_t speedFor(long baud)
{
    static const struct {
        long baud;
        speed_t speed;
    } kSpeeds[] = {{9600, B9600},       {19200, B19200},     {38400, B38400},    {57600, B57600},
                   {115200, B115200},   {230400, B230400},   {460800, B460800},  {921600, B921600},
                   {1000000, B1000000}, {2000000, B2000000}, {4000000, B4000000}};
    for (const auto &entry : kSpeeds) {
        if (baud <= entry.baud) {
            return entry.speed;
        }
    }
    return B4000000;
}

bool makeRaw(int fd, long nominalBaud)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (nominalBaud > 0) {
        cfsetspeed(&tio, speedFor(nominalBaud));
    }
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

} // namespace

PseudoTerminal::~PseudoTerminal()
{
    close();
}

bool PseudoTerminal::open(long nominalBaud, std::string *error)
{
    close();
    m_master = posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0) {
        return fail(error, "posix_openpt");
    }
    // Children started by tests must not inherit the relay's ends.
    if (fcntl(m_master, F_SETFD, FD_CLOEXEC) != 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        const bool result = fail(error, "setting up the pseudo-terminal");
        close();
        return result;
    }
    char name[128];
    if (ptsname_r(m_master, name, sizeof name) != 0) {
        const bool result = fail(error, "ptsname_r");
        close();
        return result;
    }
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0) {
        const bool result = fail(error, "opening the pseudo-terminal slave");
        close();
        return result;
    }
    // The master side gets raw settings too, so nothing the sender writes is
    // ever translated on its way into the relay.
    if (!makeRaw(m_slave, nominalBaud) || !makeRaw(m_master, 0)) {
        const bool result = fail(error, "setting raw mode");
        close();
        return result;
    }
    const int flags = fcntl(m_master, F_GETFL);
    if (flags < 0 || fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0) {
        const bool result = fail(error, "making the master non-blocking");
        close();
        return result;
    }
    m_slavePath = name;
    return true;
}

void PseudoTerminal::close()
{
    if (m_slave >= 0) {
        ::close(m_slave);
        m_slave = -1;
    }
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
    m_slavePath.clear();
}

} // namespace vexo::test
