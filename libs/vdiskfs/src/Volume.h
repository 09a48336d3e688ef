#pragma once

#include "BlockDevice.h"
#include "BootSector.h"
#include "FatTable.h"
#include "NameCodec.h"
#include "RootDirectory.h"
#include "VDiskError.h"

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace vexo
{

// A mounted image: its geometry, its FAT and root folder cached in memory,
// and the operations on whole files. Every change reaches the block device
// before the call returns (data, then FAT, then directory entries); sync()
// makes it durable. Not thread-safe: the C API serialises the calls.
class Volume
{
public:
    // Checks the boot sector and geometry and loads the FAT and root folder.
    static VDiskError mount(std::unique_ptr<BlockDevice> device, std::unique_ptr<Volume> &out);
    // Reads the geometry, the FAT and the root folder again, after another
    // writer changed them; only while no file is open. On failure the
    // volume stays as it was.
    VDiskError reload();
    // Writes an empty volume over the whole device and syncs it.
    static VDiskError format(BlockDevice &device, uint32_t volumeId);

    Volume(const Volume &) = delete;
    Volume &operator=(const Volume &) = delete;
    ~Volume();

    BlockDevice &device() { return *m_device; }
    const BootSector &boot() const { return m_boot; }
    FatTable &fat() { return m_fat; }
    RootDirectory &root() { return m_root; }
    NameCodec &codec() { return m_codec; }

    // The file shown under this name (compared without case), or nullptr.
    const DirFile *lookup(std::string_view name);
    // Checks a name for a new or renamed file and gives its UTF-16 form.
    VDiskError checkNewName(std::string_view name, std::u16string &text);

    // Learns which clusters the chains of all entries reach, sub-folders
    // made by other tools included, once per mount (a no-op later). Clusters
    // marked free but reached are kept from allocation from then on.
    VDiskError mapChains();
    // None when the entry's chain is its own (no other chain reaches any of
    // its clusters), is free of loops and bad links, and has exactly the
    // clusters its size needs; Corrupt otherwise. Maps the chains first.
    VDiskError checkChain(const dirent::ShortEntry &entry);
    // Records that a chain now belongs to an entry, or to none any more.
    void chainTaken(uint32_t first);
    void chainDropped(uint32_t first);

    // Runs a change: when it fails, the FAT and the root folder are put back
    // as they were, in memory and (as far as the device allows, else at the
    // next flush) on the image, so a reported failure changes nothing.
    template <typename F> VDiskError transact(F &&change)
    {
        begin();
        VDiskError e = change();
        finish(e);
        return e;
    }

    VDiskError remove(std::string_view name);
    VDiskError rename(std::string_view from, std::string_view to);
    // Sets a file's write time (wall-clock seconds, as listed).
    VDiskError setTime(std::string_view name, int64_t seconds);
    // Makes every change so far durable; a no-op when nothing changed.
    VDiskError sync();
    bool modified() const { return m_modified; }

    // Bookkeeping for open files.
    bool isBeingWritten(const std::u16string &key) const { return m_writing.count(key) != 0; }
    void startWriting(const std::u16string &key) { m_writing.insert(key); }
    void stopWriting(const std::u16string &key) { m_writing.erase(key); }
    // A reader holds the chain starting at `first` until released; a chain
    // freed meanwhile stays allocated until its last reader lets go.
    void retainChain(uint32_t first);
    void releaseChain(uint32_t first);
    // Frees a sound chain that no entry holds any more, now or, while a
    // reader holds it, once the last reader lets go. The last step of a
    // change: nothing after it may fail.
    VDiskError dropChain(uint32_t first);
    void markModified() { m_modified = true; }

private:
    explicit Volume(std::unique_ptr<BlockDevice> device);
    void begin();
    void finish(VDiskError result);
    void markChain(uint32_t first, uint8_t state);
    // The file of that name, when a change to it may start now: the image
    // is writable and the file exists and is not being written.
    VDiskError changeableFile(std::string_view name, const DirFile *&file);

    std::unique_ptr<BlockDevice> m_device;
    BootSector m_boot;
    FatTable m_fat;
    NameCodec m_codec;
    RootDirectory m_root;
    std::unordered_set<std::u16string> m_writing;
    std::unordered_map<uint32_t, uint32_t> m_readers;
    std::unordered_set<uint32_t> m_deferredFree;
    // Per cluster: 0 reached by no chain, 1 by exactly one, 2 by several (or
    // twice by one: a loop). Empty until mapChains().
    std::vector<uint8_t> m_reach;
    bool m_modified = false;
};

} // namespace vexo
