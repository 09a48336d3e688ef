#pragma once

#include "RootDirectory.h"
#include "VDiskError.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vexo
{

class Volume;

// Writes a file from its start into a new cluster chain. The file appears,
// or replaces an older one of that name, only at commit(); until then the
// older file stays as it was. A writer destroyed without commit() leaves
// no trace but, at worst, lost clusters after a crash.
class FileWriter
{
public:
    // Refuses bad names (BadName), names already being written (Busy), a
    // read-only image (ReadOnly) and, for a new name, a full root (RootFull).
    static VDiskError open(Volume &volume, std::string_view name, std::unique_ptr<FileWriter> &out);
    ~FileWriter();
    FileWriter(const FileWriter &) = delete;
    FileWriter &operator=(const FileWriter &) = delete;

    // Appends bytes. After a failure (DiskFull, TooLarge, Io) the writer is
    // void: later calls fail and commit() reports the error.
    VDiskError write(const void *data, size_t length);
    // Writes the rest of the data, then the FAT, then the directory entry,
    // then frees the older file's chain.
    VDiskError commit();
    // Drops the new contents.
    void abandon();
    // Makes the writer void, as a failed write does (the caller's data was
    // not all taken, so the file must not be completed).
    void fail(VDiskError error);

private:
    FileWriter(Volume &volume, std::string name, std::u16string key);
    VDiskError writeClusters(const uint8_t *data, size_t length);
    // commit()'s changes to the FAT and the folder, undone on failure.
    VDiskError completeEntry();

    Volume &m_volume;
    std::string m_name;
    std::u16string m_key;
    bool m_replace = false;
    uint32_t m_replaceSlot = 0;
    RootDirectory::NamePlan m_plan;
    uint32_t m_firstSlot = 0;
    bool m_reserved = false;
    uint32_t m_first = 0; // first cluster of the new chain, 0 while empty
    uint32_t m_last = 0;
    uint64_t m_size = 0;
    std::vector<uint8_t> m_buffer;
    VDiskError m_failed = VDiskError::None;
    bool m_finished = false;
};

} // namespace vexo
