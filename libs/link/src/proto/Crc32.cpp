#include "Crc32.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace vexo::link
{

uint32_t crc32(const void *data, size_t size, uint32_t crc)
{
    const auto *p = static_cast<const Bytef *>(data);
    // zlib takes uInt lengths; feed big buffers in slices.
    while (size > 0) {
        const uInt n = size > (1u << 30) ? (1u << 30) : static_cast<uInt>(size);
        crc = static_cast<uint32_t>(::crc32(crc, p, n));
        p += n;
        size -= n;
    }
    return crc;
}

bool crc32OfFile(int fd, uint32_t &crc)
{
    crc = 0;
    std::vector<uint8_t> buffer(64 * 1024);
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0;
        crc = crc32(buffer.data(), static_cast<size_t>(n), crc);
    }
}

bool crc32OfRange(int fd, uint64_t size, uint32_t &crc)
{
    crc = 0;
    std::vector<uint8_t> buffer(64 * 1024);
    for (uint64_t at = 0; at < size;) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), size - at));
        const ssize_t n = ::pread(fd, buffer.data(), want, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        crc = crc32(buffer.data(), static_cast<size_t>(n), crc);
        at += static_cast<uint64_t>(n);
    }
    return true;
}

} // namespace vexo::link
