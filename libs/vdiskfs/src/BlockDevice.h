#pragma once

#include "VDiskError.h"

#include <cstddef>
#include <cstdint>

namespace vexo
{

// The storage under an image: byte-addressed, fixed size. Reads and writes
// either move all bytes or fail; ranges outside size() fail with Io.
class BlockDevice
{
public:
    virtual ~BlockDevice() = default;

    virtual uint64_t size() const = 0;
    virtual bool writable() const { return true; }
    virtual VDiskError read(uint64_t offset, void *buffer, size_t length) = 0;
    virtual VDiskError write(uint64_t offset, const void *buffer, size_t length) = 0;
    // Makes every write so far durable on the medium.
    virtual VDiskError sync() = 0;
    // Learns the size again after another program changed it.
    virtual VDiskError refresh() { return VDiskError::None; }
};

} // namespace vexo
