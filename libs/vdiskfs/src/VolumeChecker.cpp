#include "VolumeChecker.h"

#include "BlockDevice.h"
#include "BootSector.h"
#include "FatTable.h"
#include "NameCodec.h"
#include "RootDirectory.h"
#include "ShortName.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <unordered_set>

namespace vexo
{

namespace
{

constexpr int kMaxDepth = 8;
// A FAT folder holds at most 65536 entries; past that a chain is not read
// as entries, so a hostile chain costs no more memory than a full folder.
constexpr uint32_t kMaxFolderBytes = 65536 * 32;

class Walker
{
public:
    Walker(BlockDevice &device, const BootSector &boot, const FatTable &fat, CheckReport &report)
        : m_device(device), m_boot(boot), m_fat(fat), m_report(report), m_owner(fat.lastCluster() + 1, 0)
    {
    }

    // Marks a chain as owned by `owner`; returns its clusters (empty when
    // the start is not a data cluster).
    size_t walk(uint32_t first, uint32_t owner, const std::string &name)
    {
        size_t chain = 0;
        uint32_t c = first;
        while (true) {
            if (!m_fat.isDataCluster(c)) {
                m_report.problems.push_back(name + ": chain leaves the data area at cluster " +
                                            std::to_string(c));
                break;
            }
            if (m_owner[c] == owner) {
                m_report.problems.push_back(name + ": chain loops at cluster " + std::to_string(c));
                break;
            }
            if (m_owner[c] != 0) {
                m_report.problems.push_back(name + ": cluster " + std::to_string(c) +
                                            " is also used by another entry (cross-linked)");
                break;
            }
            m_owner[c] = owner;
            ++chain;
            uint32_t v = m_fat.get(c);
            if (m_fat.isEndOfChain(v))
                break;
            if (v == 0) {
                m_report.problems.push_back(name + ": chain runs into free cluster " + std::to_string(c));
                break;
            }
            c = v;
        }
        return chain;
    }

    void checkFile(const dirent::ShortEntry &entry, const std::string &name)
    {
        ++m_report.files;
        uint32_t owner = ++m_nextOwner;
        if (entry.size == 0) {
            if (entry.cluster != 0) {
                m_report.problems.push_back(name + ": empty file has clusters");
                walk(entry.cluster, owner, name);
            }
            return;
        }
        if (!m_fat.isDataCluster(entry.cluster)) {
            m_report.problems.push_back(name + ": starts outside the data area");
            return;
        }
        uint64_t have = walk(entry.cluster, owner, name);
        uint64_t need = (uint64_t(entry.size) + m_boot.clusterBytes() - 1) / m_boot.clusterBytes();
        if (have < need)
            m_report.problems.push_back(name + ": chain shorter than the file size");
        else if (have > need)
            m_report.problems.push_back(name + ": chain longer than the file size");
    }

    // Checks the root folder, then every sub-folder. A folder is queued
    // only once its chain is walked and found to start on a cluster of its
    // own, so the queue never holds more folders than there are clusters,
    // and only one folder's entries are in memory at a time.
    void checkFolders(const RootDirectory &root)
    {
        checkFolder(root, "", 0);
        while (!m_pending.empty()) {
            Pending folder = std::move(m_pending.front());
            m_pending.pop_front();
            const uint32_t clusterBytes = m_boot.clusterBytes();
            const uint32_t readable = std::max<uint32_t>(1, kMaxFolderBytes / clusterBytes);
            const uint32_t count = std::min(folder.clusters, readable);
            if (folder.clusters > readable)
                m_report.problems.push_back(folder.path + ": folder larger than " +
                                            std::to_string(kMaxFolderBytes / dirent::kSize) +
                                            " entries; only those are checked");
            std::vector<uint8_t> raw(size_t(count) * clusterBytes);
            bool ok = true;
            uint32_t c = folder.first;
            for (uint32_t i = 0; i < count && ok; ++i, c = m_fat.get(c))
                ok = m_device.read(m_boot.clusterOffset(c), raw.data() + size_t(i) * clusterBytes,
                                   clusterBytes) == VDiskError::None;
            if (!ok) {
                m_report.problems.push_back(folder.path + ": folder cannot be read");
                continue;
            }
            RootDirectory sub;
            sub.parse(std::move(raw), m_codec);
            checkFolder(sub, folder.path + "/", folder.depth);
        }
    }

    void checkFolder(const RootDirectory &dir, const std::string &prefix, int depth)
    {
        RootDirectory::Findings f = dir.findings();
        const std::string where =
            prefix.empty() ? std::string("root folder") : prefix.substr(0, prefix.size() - 1);
        if (f.orphanSlots > 0)
            m_report.problems.push_back(where + ": " + std::to_string(f.orphanSlots) +
                                        " long-name entries belong to no file");
        if (f.unusableEntries > 0)
            m_report.problems.push_back(where + ": " + std::to_string(f.unusableEntries) +
                                        " entries have invalid names");
        if (f.staleSlots > 0)
            m_report.problems.push_back(where + ": " + std::to_string(f.staleSlots) +
                                        " entries after the end of the folder are not blank");
        for (const std::string &n : f.duplicateShortNames)
            m_report.problems.push_back(where + ": duplicate 8.3 name \"" + n + "\"");
        for (const DirFile *file = dir.nextFile(0); file != nullptr;
             file = dir.nextFile(file->shortSlot + 1)) {
            const dirent::ShortName &n = file->entry.name;
            for (size_t i = 0; i < n.size(); ++i)
                if (!shortname::validStoredByte(n[i]) && !(i == 0 && n[i] == dirent::kKanjiE5)) {
                    m_report.problems.push_back(prefix + file->name + ": invalid character in its 8.3 name");
                    break;
                }
            checkFile(file->entry, prefix + file->name);
        }
        // Entries not shown as files still own their clusters.
        for (const dirent::ShortEntry &entry : f.unusable)
            if (m_fat.isDataCluster(entry.cluster))
                walk(entry.cluster, ++m_nextOwner, prefix + shortname::display(entry.name, entry.caseFlags));
        for (const dirent::ShortEntry &folder : f.folders) {
            ++m_report.folders;
            std::string name = prefix + shortname::display(folder.name, folder.caseFlags);
            const bool own = m_fat.isDataCluster(folder.cluster) && m_owner[folder.cluster] == 0;
            const auto clusters = static_cast<uint32_t>(walk(folder.cluster, ++m_nextOwner, name));
            if (own && clusters > 0 && depth < kMaxDepth)
                m_pending.push_back({folder.cluster, clusters, std::move(name), depth + 1});
        }
    }

    void countClusters()
    {
        std::vector<bool> pointedTo(m_owner.size(), false);
        const uint32_t bad = m_fat.type() == FatType::Fat12 ? 0xFF7 : 0xFFF7;
        for (uint32_t c = 2; c <= m_fat.lastCluster(); ++c) {
            uint32_t v = m_fat.get(c);
            if (v == 0) {
                ++m_report.freeClusters;
            } else if (m_owner[c] != 0) {
                ++m_report.usedClusters;
            } else if (v != bad) {
                ++m_report.lostClusters;
                if (m_fat.isDataCluster(v) && m_owner[v] == 0)
                    pointedTo[v] = true;
            }
        }
        for (uint32_t c = 2; c <= m_fat.lastCluster(); ++c) {
            uint32_t v = m_fat.get(c);
            if (v != 0 && v != bad && m_owner[c] == 0 && !pointedTo[c])
                ++m_report.lostChains;
        }
        if (m_report.lostClusters > 0)
            m_report.problems.push_back(std::to_string(m_report.lostClusters) + " lost clusters in " +
                                        std::to_string(m_report.lostChains) + " chains");
    }

    NameCodec &codec() { return m_codec; }

private:
    BlockDevice &m_device;
    const BootSector &m_boot;
    const FatTable &m_fat;
    CheckReport &m_report;
    struct Pending {
        uint32_t first;
        uint32_t clusters;
        std::string path;
        int depth;
    };

    std::vector<uint32_t> m_owner;
    uint32_t m_nextOwner = 0;
    std::deque<Pending> m_pending;
    NameCodec m_codec;
};

} // namespace

VDiskError VolumeChecker::check(BlockDevice &device, CheckReport &report)
{
    report = CheckReport();
    if (device.size() < BootSector::kSize)
        return VDiskError::BadImage;
    uint8_t sector[BootSector::kSize];
    BootSector boot;
    VDiskError e = device.read(0, sector, sizeof sector);
    if (e == VDiskError::None)
        e = BootSector::parse(sector, device.size(), boot);
    if (e != VDiskError::None)
        return e;
    report.clusters = boot.clusterCount();
    report.clusterBytes = boot.clusterBytes();
    report.fat16 = boot.type() == FatType::Fat16;

    std::vector<std::vector<uint8_t>> copies(boot.fatCount(), std::vector<uint8_t>(boot.fatUsedBytes()));
    for (uint32_t i = 0; i < boot.fatCount(); ++i)
        if ((e = device.read(boot.fatOffset(i), copies[i].data(), copies[i].size())) != VDiskError::None)
            return e;
    FatTable fat(boot.type(), boot.clusterCount(), copies[0]);
    for (uint32_t i = 1; i < boot.fatCount(); ++i) {
        FatTable other(boot.type(), boot.clusterCount(), copies[i]);
        uint32_t differ = 0;
        for (uint32_t c = 0; c <= fat.lastCluster(); ++c)
            differ += fat.get(c) != other.get(c);
        if (differ > 0)
            report.problems.push_back("FAT copy " + std::to_string(i + 1) + " differs from the first in " +
                                      std::to_string(differ) + " entries");
    }
    if ((fat.get(0) & 0xFF) != boot.media())
        report.problems.push_back("FAT entry 0 does not repeat the media byte");

    Walker walker(device, boot, fat, report);
    RootDirectory root;
    if ((e = RootDirectory::load(device, boot, walker.codec(), root)) != VDiskError::None)
        return e;
    walker.checkFolders(root);
    walker.countClusters();
    return VDiskError::None;
}

} // namespace vexo
