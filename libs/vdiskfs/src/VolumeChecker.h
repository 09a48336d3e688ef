#pragma once

#include "VDiskError.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vexo
{

class BlockDevice;

// The outcome of a consistency check. Names in messages are CP936 as
// stored; the caller converts them for display.
struct CheckReport {
    std::vector<std::string> problems; // one line each; empty when consistent
    uint32_t files = 0;
    uint32_t folders = 0;
    uint32_t clusters = 0;     // data clusters on the volume
    uint32_t usedClusters = 0; // reached from some entry
    uint32_t freeClusters = 0;
    uint32_t lostClusters = 0; // allocated but reached from no entry
    uint32_t lostChains = 0;
    uint32_t clusterBytes = 0;
    bool fat16 = false;
};

// Reads an image without changing it and reports everything that fsck.fat
// would flag for the structures we use: differing FAT copies, chains that
// leave the volume, loop, are cross-linked or disagree with the size, lost
// clusters, orphan long-name pieces, duplicate 8.3 names. Folders made by
// other tools are followed so their clusters count as used.
class VolumeChecker
{
public:
    // Fails (BadImage, Io) only when the image cannot be read as a volume.
    static VDiskError check(BlockDevice &device, CheckReport &report);
};

} // namespace vexo
