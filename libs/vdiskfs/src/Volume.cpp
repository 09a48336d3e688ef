#include "Volume.h"

#include "DirEntry.h"

#include <deque>
#include <vector>

namespace vexo
{

Volume::Volume(std::unique_ptr<BlockDevice> device) : m_device(std::move(device))
{
}

Volume::~Volume() = default;

VDiskError Volume::mount(std::unique_ptr<BlockDevice> device, std::unique_ptr<Volume> &out)
{
    if (!device)
        return VDiskError::NoImage;
    if (device->size() < BootSector::kSize)
        return VDiskError::BadImage;
    uint8_t sector[BootSector::kSize];
    VDiskError e = device->read(0, sector, sizeof sector);
    if (e != VDiskError::None)
        return e;
    std::unique_ptr<Volume> v(new Volume(std::move(device)));
    if ((e = BootSector::parse(sector, v->m_device->size(), v->m_boot)) != VDiskError::None)
        return e;
    if ((e = FatTable::load(*v->m_device, v->m_boot, v->m_fat)) != VDiskError::None)
        return e;
    if ((e = RootDirectory::load(*v->m_device, v->m_boot, v->m_codec, v->m_root)) != VDiskError::None)
        return e;
    out = std::move(v);
    return VDiskError::None;
}

VDiskError Volume::reload()
{
    VDiskError e = m_device->refresh();
    if (e != VDiskError::None)
        return e;
    if (m_device->size() < BootSector::kSize)
        return VDiskError::BadImage;
    uint8_t sector[BootSector::kSize];
    if ((e = m_device->read(0, sector, sizeof sector)) != VDiskError::None)
        return e;
    BootSector boot;
    FatTable fat;
    RootDirectory root;
    if ((e = BootSector::parse(sector, m_device->size(), boot)) != VDiskError::None ||
        (e = FatTable::load(*m_device, boot, fat)) != VDiskError::None ||
        (e = RootDirectory::load(*m_device, boot, m_codec, root)) != VDiskError::None)
        return e;
    m_boot = boot;
    m_fat = std::move(fat);
    m_root = std::move(root);
    // What the chains reach is learnt again when next needed.
    m_reach.clear();
    m_deferredFree.clear();
    return VDiskError::None;
}

VDiskError Volume::format(BlockDevice &device, uint32_t volumeId)
{
    BootSector boot;
    VDiskError e = BootSector::plan(device.size(), boot);
    if (e != VDiskError::None)
        return e;
    // Everything before the data area in one write: boot sector, reserved
    // sectors, both FATs and the empty root folder.
    std::vector<uint8_t> meta(boot.dataOffset(), 0);
    boot.encode(meta.data(), volumeId);
    for (uint32_t copy = 0; copy < boot.fatCount(); ++copy) {
        uint8_t *fat = meta.data() + boot.fatOffset(copy);
        // Entry 0 repeats the media byte, entry 1 is an end-of-chain mark.
        fat[0] = boot.media();
        fat[1] = 0xFF;
        fat[2] = 0xFF;
        if (boot.type() == FatType::Fat16)
            fat[3] = 0xFF;
    }
    if ((e = device.write(0, meta.data(), meta.size())) != VDiskError::None)
        return e;
    return device.sync();
}

const DirFile *Volume::lookup(std::string_view name)
{
    return m_root.find(nameKey(name, m_codec));
}

VDiskError Volume::checkNewName(std::string_view name, std::u16string &text)
{
    if (name.empty() || name.size() > 17)
        return VDiskError::BadName;
    std::string back;
    // Only names that come back byte for byte are stored: the name listed
    // later must be the name given now.
    if (!m_codec.toUtf16(name, text) || !m_codec.toCp936(text, back) || back != name)
        return VDiskError::BadName;
    for (char16_t c : text)
        if (c < 0x20 || c == 0x7F || std::u16string_view(u"/\\\"*:<>?|").find(c) != std::u16string_view::npos)
            return VDiskError::BadName;
    if (text.back() == u'.' || text.back() == u' ')
        return VDiskError::BadName;
    return VDiskError::None;
}

VDiskError Volume::mapChains()
{
    if (!m_reach.empty())
        return VDiskError::None;
    std::vector<uint8_t> reach(size_t(m_fat.lastCluster()) + 1, 0);
    // Marks a chain; gives how many clusters it reached first.
    auto walk = [&](uint32_t first) {
        uint32_t marked = 0;
        for (uint32_t c = first; m_fat.isDataCluster(c);) {
            if (reach[c] != 0) {
                reach[c] = 2;
                break;
            }
            reach[c] = 1;
            ++marked;
            c = m_fat.get(c);
        }
        return marked;
    };
    // Folders to read: first cluster and how many clusters are theirs alone.
    std::deque<std::pair<uint32_t, uint32_t>> folders;
    auto walkFolder = [&](uint32_t first) {
        const bool unseen = m_fat.isDataCluster(first) && reach[first] == 0;
        uint32_t marked = walk(first);
        if (unseen && marked > 0)
            folders.emplace_back(first, marked);
    };
    for (const DirFile *f = m_root.nextFile(0); f != nullptr; f = m_root.nextFile(f->shortSlot + 1))
        walk(f->entry.cluster);
    const RootDirectory::Findings findings = m_root.findings();
    for (const dirent::ShortEntry &entry : findings.unusable)
        walk(entry.cluster);
    for (const dirent::ShortEntry &entry : findings.folders)
        walkFolder(entry.cluster);
    // Sub-folders are read one cluster at a time: memory stays small
    // whatever their size. Their own chains were marked above, so a folder
    // reached twice is read once and a folder loop ends.
    const uint32_t clusterBytes = m_boot.clusterBytes();
    std::vector<uint8_t> buffer(clusterBytes);
    while (!folders.empty()) {
        uint32_t c = folders.front().first;
        uint32_t left = folders.front().second;
        folders.pop_front();
        bool ended = false;
        for (; left > 0 && !ended; --left, c = m_fat.get(c)) {
            VDiskError e = m_device->read(m_boot.clusterOffset(c), buffer.data(), buffer.size());
            if (e != VDiskError::None)
                return e;
            for (size_t at = 0; at < buffer.size() && !ended; at += dirent::kSize) {
                const uint8_t *slot = &buffer[at];
                ended = slot[0] == dirent::kEnd;
                if (ended || slot[0] == dirent::kFree || dirent::isLongName(slot))
                    continue;
                dirent::ShortEntry entry = dirent::ShortEntry::decode(slot);
                if (entry.attr & dirent::kAttrVolume)
                    continue;
                if (!(entry.attr & dirent::kAttrDirectory))
                    walk(entry.cluster);
                else if (entry.name[0] != '.')
                    walkFolder(entry.cluster);
            }
        }
    }
    m_reach = std::move(reach);
    for (uint32_t c = 2; c <= m_fat.lastCluster(); ++c)
        if (m_reach[c] != 0 && m_fat.get(c) == 0)
            m_fat.block(c);
    return VDiskError::None;
}

VDiskError Volume::checkChain(const dirent::ShortEntry &entry)
{
    VDiskError e = mapChains();
    if (e != VDiskError::None)
        return e;
    const uint64_t need = (uint64_t(entry.size) + m_boot.clusterBytes() - 1) / m_boot.clusterBytes();
    if (need == 0)
        return entry.cluster == 0 ? VDiskError::None : VDiskError::Corrupt;
    if (need > m_fat.clusterCount())
        return VDiskError::Corrupt;
    uint32_t c = entry.cluster;
    for (uint64_t i = 1;; ++i) {
        if (!m_fat.isDataCluster(c) || m_reach[c] != 1)
            return VDiskError::Corrupt;
        const uint32_t next = m_fat.get(c);
        if (i == need)
            return m_fat.isEndOfChain(next) ? VDiskError::None : VDiskError::Corrupt;
        c = next;
    }
}

void Volume::markChain(uint32_t first, uint8_t state)
{
    if (m_reach.empty())
        return;
    // Only sound chains come here; the bound merely guards against a loop.
    uint32_t c = first;
    for (uint32_t steps = 0; steps < m_fat.clusterCount() && m_fat.isDataCluster(c); ++steps) {
        m_reach[c] = state;
        c = m_fat.get(c);
    }
}

void Volume::chainTaken(uint32_t first)
{
    markChain(first, 1);
}

void Volume::chainDropped(uint32_t first)
{
    markChain(first, 0);
}

void Volume::begin()
{
    m_fat.beginUndo();
    m_root.beginUndo();
}

void Volume::finish(VDiskError result)
{
    if (result == VDiskError::None) {
        m_fat.endUndo();
        m_root.endUndo();
        return;
    }
    m_fat.undo();
    m_root.undo(m_codec);
    // What the chains reach is learnt again when next needed.
    m_reach.clear();
    m_fat.unblockAll();
    // Whatever of the change reached the image is written back now; if the
    // device still fails, the restored bytes stay due for the next flush.
    if (m_fat.flush(*m_device, m_boot) == VDiskError::None)
        (void)m_root.flush(*m_device, m_boot);
}

VDiskError Volume::changeableFile(std::string_view name, const DirFile *&file)
{
    if (!m_device->writable())
        return VDiskError::ReadOnly;
    file = lookup(name);
    if (file == nullptr)
        return VDiskError::NotFound;
    return isBeingWritten(file->key) ? VDiskError::Busy : VDiskError::None;
}

VDiskError Volume::remove(std::string_view name)
{
    const DirFile *file = nullptr;
    if (VDiskError e = changeableFile(name, file); e != VDiskError::None)
        return e;
    // Freeing a chain that another entry shares, or that holds clusters
    // it does not own, would destroy another file.
    VDiskError e = checkChain(file->entry);
    if (e != VDiskError::None)
        return e;
    const uint32_t first = file->entry.cluster;
    const uint32_t slot = file->shortSlot;
    m_modified = true;
    return transact([&] {
        // The entry goes first: if we stop halfway, the clusters are merely lost.
        m_root.remove(slot);
        VDiskError err = m_root.flush(*m_device, m_boot);
        if (err != VDiskError::None || !m_fat.isDataCluster(first))
            return err;
        return dropChain(first);
    });
}

VDiskError Volume::rename(std::string_view from, std::string_view to)
{
    if (!m_device->writable())
        return VDiskError::ReadOnly;
    const DirFile *file = lookup(from);
    if (file == nullptr)
        return VDiskError::NotFound;
    std::u16string text;
    VDiskError e = checkNewName(to, text);
    if (e != VDiskError::None)
        return e;
    std::u16string key = NameCodec::foldCase(text);
    if (isBeingWritten(file->key) || isBeingWritten(key))
        return VDiskError::Busy;
    if (key != file->key && (m_root.find(key) != nullptr || m_root.isFolderName(key)))
        return VDiskError::Exists;
    if (file->name == to)
        return VDiskError::None;
    RootDirectory::NamePlan plan = m_root.plan(to, text, file);
    const uint32_t slot = file->shortSlot;
    m_modified = true;
    return transact([&] {
        VDiskError err = m_root.rename(slot, plan, std::string(to), key);
        return err != VDiskError::None ? err : m_root.flush(*m_device, m_boot);
    });
}

VDiskError Volume::setTime(std::string_view name, int64_t seconds)
{
    const DirFile *file = nullptr;
    if (VDiskError e = changeableFile(name, file); e != VDiskError::None)
        return e;
    const uint32_t slot = file->shortSlot;
    m_modified = true;
    return transact([&] {
        m_root.setWritten(slot, FatTime::fromSeconds(seconds));
        return m_root.flush(*m_device, m_boot);
    });
}

VDiskError Volume::sync()
{
    if (!m_modified)
        return VDiskError::None;
    VDiskError e = m_fat.flush(*m_device, m_boot);
    if (e == VDiskError::None)
        e = m_root.flush(*m_device, m_boot);
    if (e == VDiskError::None)
        e = m_device->sync();
    if (e == VDiskError::None)
        m_modified = false;
    return e;
}

void Volume::retainChain(uint32_t first)
{
    ++m_readers[first];
}

void Volume::releaseChain(uint32_t first)
{
    auto it = m_readers.find(first);
    if (it == m_readers.end() || --it->second > 0)
        return;
    m_readers.erase(it);
    if (m_deferredFree.erase(first) != 0) {
        m_fat.freeChain(first);
        m_modified = true;
        (void)m_fat.flush(*m_device, m_boot); // failing leaves lost clusters only
    }
}

VDiskError Volume::dropChain(uint32_t first)
{
    chainDropped(first);
    if (m_readers.count(first) != 0) {
        m_deferredFree.insert(first);
        return VDiskError::None;
    }
    m_fat.freeChain(first);
    return m_fat.flush(*m_device, m_boot);
}

} // namespace vexo
