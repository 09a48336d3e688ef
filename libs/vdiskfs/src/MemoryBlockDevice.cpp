#include "MemoryBlockDevice.h"

#include <cstring>

namespace vexo
{

VDiskError MemoryBlockDevice::read(uint64_t offset, void *buffer, size_t length)
{
    if (offset > m_bytes.size() || length > m_bytes.size() - offset)
        return VDiskError::Io;
    if (length > 0)
        std::memcpy(buffer, m_bytes.data() + offset, length);
    return VDiskError::None;
}

VDiskError MemoryBlockDevice::write(uint64_t offset, const void *buffer, size_t length)
{
    if (offset > m_bytes.size() || length > m_bytes.size() - offset)
        return VDiskError::Io;
    if (length > 0)
        std::memcpy(m_bytes.data() + offset, buffer, length);
    return VDiskError::None;
}

} // namespace vexo
