#pragma once

#include "VDiskError.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace vexo
{

class Volume;

// Reads one file from its start to its end. The chain is followed lazily
// and checked link by link, loops included; it is never followed past the
// recorded size.
class FileReader
{
public:
    static VDiskError open(Volume &volume, std::string_view name, std::unique_ptr<FileReader> &out);
    ~FileReader();
    FileReader(const FileReader &) = delete;
    FileReader &operator=(const FileReader &) = delete;

    uint32_t size() const { return m_size; }
    // Copies up to `length` bytes; `done` says how many (0 at the end).
    // Fails with Corrupt when the chain ends early or leaves the volume.
    VDiskError read(void *buffer, size_t length, size_t &done);

private:
    FileReader(Volume &volume, uint32_t first, uint32_t size);
    // Reads the next stretch of consecutive clusters from the image, at
    // most `length` bytes.
    VDiskError fetch(uint8_t *to, size_t length, size_t &got);
    // Moves on to the next cluster of the chain; fails on a damaged link or
    // on a cluster already visited (a loop).
    VDiskError step();

    Volume &m_volume;
    uint32_t m_first;
    uint32_t m_size;
    uint32_t m_cluster; // holds the byte at m_diskPos
    uint32_t m_clusterOffset = 0;
    uint64_t m_diskPos = 0; // next file byte to fetch from the image
    std::vector<uint8_t> m_buffer;
    size_t m_bufferPos = 0;
    std::vector<uint64_t> m_visited; // one bit per cluster, made on the first step
    VDiskError m_failed = VDiskError::None;
};

} // namespace vexo
