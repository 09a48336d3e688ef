#include "vexo/sys/FileIo.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexo::sys
{

namespace
{

// One loop for all four: `step` moves up to n bytes at the given offset.
template <typename Step> bool transferAll(size_t size, uint64_t offset, Step step)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = step(done, size - done, offset + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = EIO;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

bool writeAll(int fd, const void *data, size_t size)
{
    auto *p = static_cast<const uint8_t *>(data);
    return transferAll(size, 0, [&](size_t at, size_t n, uint64_t) { return ::write(fd, p + at, n); });
}

bool readAll(int fd, void *data, size_t size)
{
    auto *p = static_cast<uint8_t *>(data);
    return transferAll(size, 0, [&](size_t at, size_t n, uint64_t) { return ::read(fd, p + at, n); });
}

bool readSmallFile(const std::string &path, std::string &out, size_t limit)
{
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[16384];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 || out.size() + size_t(n) > limit) {
            ::close(fd);
            return false;
        }
        out.append(buffer, size_t(n));
    }
    ::close(fd);
    return true;
}

bool nextLine(const std::string &text, size_t &at, std::string &line)
{
    if (at >= text.size())
        return false;
    size_t end = text.find('\n', at);
    if (end == std::string::npos)
        end = text.size();
    line.assign(text, at, end - at);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    at = end + 1;
    return true;
}

bool writeAllAt(int fd, const void *data, size_t size, uint64_t offset)
{
    auto *p = static_cast<const uint8_t *>(data);
    return transferAll(size, offset, [&](size_t at, size_t n, uint64_t where) {
        return ::pwrite(fd, p + at, n, static_cast<off_t>(where));
    });
}

bool readAllAt(int fd, void *data, size_t size, uint64_t offset)
{
    auto *p = static_cast<uint8_t *>(data);
    return transferAll(size, offset, [&](size_t at, size_t n, uint64_t where) {
        return ::pread(fd, p + at, n, static_cast<off_t>(where));
    });
}

bool setNonBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

void setFileTime(int fd, int64_t mtimeMs)
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

} // namespace vexo::sys
