#include "Crc32.h"

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

} // namespace vexo::link
