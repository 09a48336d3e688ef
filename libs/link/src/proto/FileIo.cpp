#include "FileIo.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace vexo::link
{

bool writeAll(int fd, const uint8_t *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool readAll(int fd, uint8_t *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::read(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void keepFileTime(int fd, int64_t mtimeMs)
{
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(mtimeMs / 1000);
    times[1].tv_nsec = static_cast<long>(mtimeMs % 1000) * 1000000;
    if (times[1].tv_nsec < 0) {
        times[1].tv_sec -= 1;
        times[1].tv_nsec += 1000000000;
    }
    (void)futimens(fd, times);
}

} // namespace vexo::link
