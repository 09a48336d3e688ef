#include "FatTable.h"

#include "BlockDevice.h"
#include "LittleEndian.h"

#include <algorithm>

namespace vexo
{

FatTable::FatTable(FatType type, uint32_t clusterCount, std::vector<uint8_t> bytes)
    : m_type(type), m_clusterCount(clusterCount), m_bytes(std::move(bytes))
{
    size_t needed =
        type == FatType::Fat12 ? (size_t(clusterCount + 2) * 3 + 1) / 2 : size_t(clusterCount + 2) * 2;
    if (m_bytes.size() < needed)
        m_bytes.resize(needed, 0);
    for (uint32_t c = 2; c <= lastCluster(); ++c)
        if (get(c) == 0)
            ++m_free;
}

VDiskError FatTable::load(BlockDevice &device, const BootSector &boot, FatTable &out)
{
    std::vector<uint8_t> bytes(boot.fatUsedBytes());
    VDiskError e = device.read(boot.fatOffset(0), bytes.data(), bytes.size());
    if (e != VDiskError::None)
        return e;
    out = FatTable(boot.type(), boot.clusterCount(), std::move(bytes));
    return VDiskError::None;
}

uint32_t FatTable::get(uint32_t cluster) const
{
    if (m_type == FatType::Fat16)
        return le::get16(&m_bytes[size_t(cluster) * 2]);
    size_t at = size_t(cluster) + cluster / 2;
    uint32_t pair = le::get16(&m_bytes[at]);
    return (cluster & 1) ? pair >> 4 : pair & 0xFFF;
}

void FatTable::set(uint32_t cluster, uint32_t value)
{
    uint32_t before = get(cluster);
    if (m_recording)
        m_undo.emplace_back(cluster, before);
    if (before == 0 && value != 0 && cluster >= 2)
        --m_free;
    else if (before != 0 && value == 0 && cluster >= 2)
        ++m_free;
    if (m_type == FatType::Fat16) {
        le::put16(&m_bytes[size_t(cluster) * 2], static_cast<uint16_t>(value));
        m_dirty.add(size_t(cluster) * 2, size_t(cluster) * 2 + 2);
        return;
    }
    size_t at = size_t(cluster) + cluster / 2;
    uint32_t pair = le::get16(&m_bytes[at]);
    if (cluster & 1)
        pair = (pair & 0x000F) | ((value & 0xFFF) << 4);
    else
        pair = (pair & 0xF000) | (value & 0xFFF);
    le::put16(&m_bytes[at], static_cast<uint16_t>(pair));
    m_dirty.add(at, at + 2);
}

VDiskError FatTable::next(uint32_t cluster, uint32_t &nextCluster, bool &end) const
{
    end = false;
    if (!isDataCluster(cluster))
        return VDiskError::Corrupt;
    uint32_t v = get(cluster);
    if (isEndOfChain(v)) {
        end = true;
        return VDiskError::None;
    }
    if (!isDataCluster(v))
        return VDiskError::Corrupt;
    nextCluster = v;
    return VDiskError::None;
}

VDiskError FatTable::following(uint32_t cluster, uint32_t &nextCluster) const
{
    bool end = false;
    const VDiskError e = next(cluster, nextCluster, end);
    return e == VDiskError::None && end ? VDiskError::Corrupt : e;
}

VDiskError FatTable::allocate(uint32_t &cluster)
{
    if (m_free == 0)
        return VDiskError::DiskFull;
    uint32_t c = isDataCluster(m_hint) ? m_hint : 2;
    for (uint32_t tried = 0; tried < m_clusterCount; ++tried) {
        if (get(c) == 0 && (m_blocked.empty() || !m_blocked[c])) {
            set(c, endOfChain());
            cluster = c;
            m_hint = c < lastCluster() ? c + 1 : 2;
            return VDiskError::None;
        }
        c = c < lastCluster() ? c + 1 : 2;
    }
    return VDiskError::DiskFull;
}

void FatTable::freeChain(uint32_t first)
{
    uint32_t c = first;
    // A chain cannot be longer than the volume; a cycle ends at the first
    // cluster already freed.
    for (uint32_t steps = 0; steps < m_clusterCount && isDataCluster(c); ++steps) {
        uint32_t v = get(c);
        if (v == 0)
            break;
        set(c, 0);
        if (c < m_hint)
            m_hint = c;
        if (isEndOfChain(v))
            break;
        c = v;
    }
}

void FatTable::block(uint32_t cluster)
{
    if (!isDataCluster(cluster) || get(cluster) != 0)
        return;
    if (m_blocked.empty())
        m_blocked.assign(size_t(lastCluster()) + 1, false);
    if (!m_blocked[cluster]) {
        m_blocked[cluster] = true;
        --m_free;
    }
}

void FatTable::unblockAll()
{
    for (uint32_t c = 2; c < m_blocked.size(); ++c)
        if (m_blocked[c] && get(c) == 0)
            ++m_free;
    m_blocked.clear();
}

void FatTable::beginUndo()
{
    m_undo.clear();
    m_recording = true;
}

void FatTable::undo()
{
    m_recording = false;
    for (auto it = m_undo.rbegin(); it != m_undo.rend(); ++it)
        set(it->first, it->second);
    m_undo.clear();
}

void FatTable::endUndo()
{
    m_recording = false;
    m_undo.clear();
}

VDiskError FatTable::flush(BlockDevice &device, const BootSector &boot)
{
    if (!dirty())
        return VDiskError::None;
    const size_t length = m_dirty.size();
    for (uint32_t copy = 0; copy < boot.fatCount(); ++copy) {
        VDiskError e = device.write(boot.fatOffset(copy) + m_dirty.begin, &m_bytes[m_dirty.begin], length);
        if (e != VDiskError::None)
            return e;
    }
    m_dirty.clear();
    return VDiskError::None;
}

} // namespace vexo
