#include "Volume.h"

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

VDiskError Volume::remove(std::string_view name)
{
    if (!m_device->writable())
        return VDiskError::ReadOnly;
    const DirFile *file = lookup(name);
    if (file == nullptr)
        return VDiskError::NotFound;
    if (isBeingWritten(file->key))
        return VDiskError::Busy;
    uint32_t first = file->entry.cluster;
    m_modified = true;
    // The entry goes first: if we stop halfway, the clusters are merely lost.
    m_root.remove(file->shortSlot);
    VDiskError e = m_root.flush(*m_device, m_boot);
    if (e != VDiskError::None)
        return e;
    if (m_fat.isDataCluster(first))
        freeChainWhenUnused(first);
    return m_fat.flush(*m_device, m_boot);
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
    m_modified = true;
    if ((e = m_root.rename(file->shortSlot, plan, std::string(to), key)) != VDiskError::None)
        return e;
    return m_root.flush(*m_device, m_boot);
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

void Volume::freeChainWhenUnused(uint32_t first)
{
    if (m_readers.count(first) != 0)
        m_deferredFree.insert(first);
    else
        m_fat.freeChain(first);
}

} // namespace vexo
