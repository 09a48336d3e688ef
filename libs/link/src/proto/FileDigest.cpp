#include "FileDigest.h"

#include "Crc32.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>
#include <vector>

namespace vexo::link
{

FileDigest::FileDigest()
{
    blake2b_init(&m_state, kHashSize);
}

void FileDigest::add(const uint8_t *data, size_t size)
{
    blake2b_update(&m_state, data, size);
    m_crc = crc32(data, size, m_crc);
    m_length += size;
}

bool FileDigest::addFrom(int fd, uint64_t count)
{
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(count, 64 * 1024)));
    for (uint64_t left = count; left > 0;) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(buffer.size(), left));
        const ssize_t n = ::pread(fd, buffer.data(), want, static_cast<off_t>(m_length));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        add(buffer.data(), static_cast<size_t>(n));
        left -= static_cast<uint64_t>(n);
    }
    return true;
}

Hash FileDigest::hash() const
{
    // The state is copied, so the digest may go on.
    blake2b_state done = m_state;
    Hash out{};
    blake2b_final(&done, out.data(), out.size());
    return out;
}

} // namespace vexo::link
