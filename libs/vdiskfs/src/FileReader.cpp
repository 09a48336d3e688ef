#include "FileReader.h"

#include "Volume.h"

#include <algorithm>
#include <cstring>

namespace vexo
{

namespace
{
// Small reads are served from one read-ahead of this many bytes.
constexpr size_t kReadAhead = 64 * 1024;
} // namespace

FileReader::FileReader(Volume &volume, uint32_t first, uint32_t size)
    : m_volume(volume), m_first(first), m_size(size), m_cluster(first)
{
    m_volume.retainChain(m_first);
}

FileReader::~FileReader()
{
    m_volume.releaseChain(m_first);
}

VDiskError FileReader::open(Volume &volume, std::string_view name, std::unique_ptr<FileReader> &out)
{
    const DirFile *file = volume.lookup(name);
    if (file == nullptr)
        return VDiskError::NotFound;
    uint32_t first = file->entry.cluster;
    uint32_t size = file->entry.size;
    // A chain shared with another file, or not as long as the size says,
    // holds someone else's bytes or not all of its own: no read succeeds.
    VDiskError e = volume.checkChain(file->entry);
    if (e != VDiskError::None)
        return e;
    out.reset(new FileReader(volume, size > 0 ? first : 0, size));
    return VDiskError::None;
}

VDiskError FileReader::fetch(uint8_t *to, size_t length, size_t &got)
{
    got = 0;
    const FatTable &fat = m_volume.fat();
    const uint32_t clusterBytes = m_volume.boot().clusterBytes();
    length = static_cast<size_t>(std::min<uint64_t>(length, m_size - m_diskPos));
    if (length == 0)
        return VDiskError::None;
    // Extend the stretch while the chain runs through adjacent clusters.
    uint64_t run = clusterBytes - m_clusterOffset;
    uint32_t last = m_cluster;
    while (run < length) {
        uint32_t next = 0;
        if (VDiskError e = fat.following(last, next); e != VDiskError::None)
            return e;
        if (next != last + 1)
            break;
        last = next;
        run += clusterBytes;
    }
    size_t n = static_cast<size_t>(std::min<uint64_t>(length, run));
    VDiskError e = m_volume.device().read(m_volume.boot().clusterOffset(m_cluster) + m_clusterOffset, to, n);
    if (e != VDiskError::None)
        return e;
    m_diskPos += n;
    m_clusterOffset += static_cast<uint32_t>(n % clusterBytes);
    uint64_t whole = n / clusterBytes + (m_clusterOffset >= clusterBytes ? 1 : 0);
    if (m_clusterOffset >= clusterBytes)
        m_clusterOffset -= clusterBytes;
    // Step over the clusters consumed; none past the file's end.
    for (uint64_t i = 0; i < whole && m_diskPos < m_size; ++i)
        if ((e = step()) != VDiskError::None)
            return e;
    got = n;
    return VDiskError::None;
}

VDiskError FileReader::step()
{
    const FatTable &fat = m_volume.fat();
    if (m_visited.empty()) {
        m_visited.assign((size_t(fat.lastCluster()) + 64) / 64, 0);
        m_visited[m_cluster / 64] |= uint64_t(1) << (m_cluster % 64);
    }
    uint32_t next = 0;
    if (VDiskError e = fat.following(m_cluster, next); e != VDiskError::None)
        return e;
    uint64_t &word = m_visited[next / 64];
    const uint64_t bit = uint64_t(1) << (next % 64);
    if (word & bit)
        return VDiskError::Corrupt;
    word |= bit;
    m_cluster = next;
    return VDiskError::None;
}

VDiskError FileReader::read(void *buffer, size_t length, size_t &done)
{
    done = 0;
    if (m_failed != VDiskError::None)
        return m_failed;
    auto *out = static_cast<uint8_t *>(buffer);
    while (length > 0) {
        if (m_bufferPos < m_buffer.size()) {
            size_t n = std::min(length, m_buffer.size() - m_bufferPos);
            std::memcpy(out, m_buffer.data() + m_bufferPos, n);
            m_bufferPos += n;
            out += n;
            length -= n;
            done += n;
            continue;
        }
        if (m_diskPos >= m_size)
            break;
        size_t got = 0;
        VDiskError e;
        if (length >= kReadAhead) {
            // Large pieces go straight to the caller's buffer.
            e = fetch(out, length, got);
            out += got;
            length -= got;
            done += got;
        } else {
            m_buffer.resize(kReadAhead);
            e = fetch(m_buffer.data(), kReadAhead, got);
            m_buffer.resize(got);
            m_bufferPos = 0;
        }
        if (e != VDiskError::None) {
            m_failed = e;
            return done > 0 ? VDiskError::None : e;
        }
        if (got == 0)
            break;
    }
    return VDiskError::None;
}

} // namespace vexo
