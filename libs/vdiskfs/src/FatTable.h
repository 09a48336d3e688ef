#pragma once

#include "BootSector.h"
#include "DirtyRange.h"
#include "VDiskError.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace vexo
{

class BlockDevice;

// The first FAT copy, held in memory while mounted. Changes are tracked as
// one dirty byte range and written to every copy by flush(), so the copies
// stay equal.
class FatTable
{
public:
    FatTable(FatType type, uint32_t clusterCount, std::vector<uint8_t> bytes);

    // Reads the used part of the first copy.
    static VDiskError load(BlockDevice &device, const BootSector &boot, FatTable &out);
    FatTable() = default;

    FatType type() const { return m_type; }
    uint32_t clusterCount() const { return m_clusterCount; }
    // Data clusters are numbered 2 .. lastCluster().
    uint32_t lastCluster() const { return m_clusterCount + 1; }
    bool isDataCluster(uint32_t c) const { return c >= 2 && c <= lastCluster(); }

    uint32_t get(uint32_t cluster) const;
    void set(uint32_t cluster, uint32_t value);
    uint32_t endOfChain() const { return m_type == FatType::Fat12 ? 0xFFF : 0xFFFF; }
    bool isEndOfChain(uint32_t value) const { return value >= (m_type == FatType::Fat12 ? 0xFF8u : 0xFFF8u); }

    // The cluster after `cluster` in its chain. Sets `end` at the end of the
    // chain; fails with Corrupt on a free, bad, reserved or out-of-range
    // entry.
    VDiskError next(uint32_t cluster, uint32_t &nextCluster, bool &end) const;
    // The same within a file's chain, which must go on: its end is Corrupt
    // too (the chain is shorter than the file's size).
    VDiskError following(uint32_t cluster, uint32_t &nextCluster) const;

    // Takes a free cluster (searching on from the last one taken) and marks
    // it end of chain. Fails with DiskFull.
    VDiskError allocate(uint32_t &cluster);
    // Frees a chain; stops at its end or at anything that is not a valid
    // link, so damaged chains and cycles end cleanly.
    void freeChain(uint32_t first);
    uint32_t freeClusters() const { return m_free; }

    // A cluster marked free but reached by some file's chain: allocate()
    // never hands it out. unblockAll() forgets every such mark.
    void block(uint32_t cluster);
    void unblockAll();

    // Between beginUndo() and endUndo() every set() is remembered, so that
    // undo() can put the table back as it was at beginUndo().
    void beginUndo();
    void undo();
    void endUndo();

    bool dirty() const { return !m_dirty.empty(); }
    // Writes the changed bytes to every FAT copy, first copy first.
    VDiskError flush(BlockDevice &device, const BootSector &boot);

    const std::vector<uint8_t> &bytes() const { return m_bytes; }

private:
    FatType m_type = FatType::Fat12;
    uint32_t m_clusterCount = 0;
    std::vector<uint8_t> m_bytes;
    uint32_t m_free = 0;
    uint32_t m_hint = 2;
    DirtyRange m_dirty;
    std::vector<bool> m_blocked;
    std::vector<std::pair<uint32_t, uint32_t>> m_undo; // cluster, value before
    bool m_recording = false;
};

} // namespace vexo
