#include "vexo/sys/Tty.h"

#include "vexo/sys/UniqueFd.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace vexo::sys
{

namespace
{
speed_t speedFor(int baud)
{
    static const struct {
        int rate;
        speed_t speed;
    } table[] = {{1200, B1200},     {2400, B2400},     {4800, B4800},    {9600, B9600},
                 {19200, B19200},   {38400, B38400},   {57600, B57600},  {115200, B115200},
                 {230400, B230400}, {460800, B460800}, {921600, B921600}};
    speed_t best = B1200;
    for (const auto &entry : table)
        if (entry.rate <= baud)
            best = entry.speed;
    return best;
}
} // namespace

bool makeRawTty(int fd, int baud)
{
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CSIZE | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (baud > 0) {
        cfsetispeed(&tio, speedFor(baud));
        cfsetospeed(&tio, speedFor(baud));
    }
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

int openSerialDevice(const std::string &path, int baud, std::string *error)
{
    UniqueFd fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        if (error)
            *error = path + ": " + std::strerror(errno);
        return -1;
    }
    if (!isatty(fd.get()) || !makeRawTty(fd.get(), baud)) {
        if (error)
            *error = path + ": not a serial device";
        return -1;
    }
    // Old input from an earlier session is garbage to us. Only input is
    // dropped: discarding output could eat a peer's last frame.
    tcflush(fd.get(), TCIFLUSH);
    return fd.release();
}

} // namespace vexo::sys
