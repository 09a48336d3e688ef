// The free and total bytes the palmtop reports for its folder: those of the
// file system it lives on, or of a smaller pretended capacity, so that tests
// and demonstrations can have a small palmtop on a large disk.
#pragma once

#include <cstdint>
#include <string>

namespace vexo::deviced
{

class FolderSpace
{
public:
    // capacity 0: the file system's own size.
    FolderSpace(std::string root, uint64_t capacity);

    // False when the file system cannot be asked.
    bool measure(uint64_t &freeBytes, uint64_t &totalBytes) const;
    // Whether a new file of `size` bytes fits now; true when unknown, so a
    // failed question never refuses a file the disk would take.
    bool fits(uint64_t size) const;

private:
    // Bytes of the regular files in the folder, temporary ones included.
    uint64_t usedBytes() const;

    std::string m_root;
    uint64_t m_capacity;
};

} // namespace vexo::deviced
