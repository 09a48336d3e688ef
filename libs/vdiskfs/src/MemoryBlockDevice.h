#pragma once

#include "BlockDevice.h"

#include <vector>

namespace vexo
{

// An image held in memory (tests, fuzzing).
class MemoryBlockDevice : public BlockDevice
{
public:
    explicit MemoryBlockDevice(std::vector<uint8_t> bytes) : m_bytes(std::move(bytes)) {}
    explicit MemoryBlockDevice(size_t size) : m_bytes(size, 0) {}

    uint64_t size() const override { return m_bytes.size(); }
    VDiskError read(uint64_t offset, void *buffer, size_t length) override;
    VDiskError write(uint64_t offset, const void *buffer, size_t length) override;
    VDiskError sync() override { return VDiskError::None; }

    std::vector<uint8_t> &bytes() { return m_bytes; }
    const std::vector<uint8_t> &bytes() const { return m_bytes; }

private:
    std::vector<uint8_t> m_bytes;
};

} // namespace vexo
