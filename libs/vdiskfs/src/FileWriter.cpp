#include "FileWriter.h"

#include "FatTime.h"
#include "Volume.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace vexo
{

namespace
{
// Data is gathered up to this size and written as one stretch.
constexpr size_t kGather = 1024 * 1024;
// The largest file the C API can report (its sizes are signed 32-bit).
constexpr uint64_t kMaxFileSize = std::numeric_limits<int32_t>::max();
} // namespace

FileWriter::FileWriter(Volume &volume, std::string name, std::u16string key)
    : m_volume(volume), m_name(std::move(name)), m_key(std::move(key))
{
    m_volume.startWriting(m_key);
}

FileWriter::~FileWriter()
{
    abandon();
}

VDiskError FileWriter::open(Volume &volume, std::string_view name, std::unique_ptr<FileWriter> &out)
{
    if (!volume.device().writable())
        return VDiskError::ReadOnly;
    std::u16string text;
    VDiskError e = volume.checkNewName(name, text);
    if (e != VDiskError::None)
        return e;
    std::u16string key = NameCodec::foldCase(text);
    if (volume.isBeingWritten(key))
        return VDiskError::Busy;
    // New clusters must be ones no chain reaches, and an older file's chain
    // is freed at commit only when it is its own.
    if ((e = volume.mapChains()) != VDiskError::None)
        return e;
    if (const DirFile *existing = volume.root().find(key))
        if ((e = volume.checkChain(existing->entry)) != VDiskError::None)
            return e;
    std::unique_ptr<FileWriter> w(new FileWriter(volume, std::string(name), key));
    if (const DirFile *existing = volume.root().find(key)) {
        // The older file keeps its entry and its name's case; only its
        // chain, size and time change at commit.
        w->m_replace = true;
        w->m_replaceSlot = existing->shortSlot;
    } else if (volume.root().isFolderName(key)) {
        return VDiskError::Exists;
    } else {
        w->m_plan = volume.root().plan(name, text);
        if ((e = volume.root().reserve(w->m_plan, w->m_firstSlot)) != VDiskError::None)
            return e;
        w->m_reserved = true;
    }
    out = std::move(w);
    return VDiskError::None;
}

void FileWriter::fail(VDiskError error)
{
    m_failed = error;
    if (m_first != 0)
        m_volume.fat().freeChain(m_first);
    m_first = m_last = 0;
    m_buffer.clear();
    m_buffer.shrink_to_fit();
}

VDiskError FileWriter::writeClusters(const uint8_t *data, size_t length)
{
    FatTable &fat = m_volume.fat();
    const uint32_t clusterBytes = m_volume.boot().clusterBytes();
    const size_t count = (length + clusterBytes - 1) / clusterBytes;
    if (count > fat.freeClusters())
        return VDiskError::DiskFull;
    // Take the clusters first, then write each stretch of adjacent ones
    // with a single call. The FAT reaches the image only later, so it never
    // points at clusters whose data is not there yet.
    size_t runStart = 0;
    uint32_t runFirst = 0;
    for (size_t i = 0; i < count; ++i) {
        uint32_t c = 0;
        VDiskError e = fat.allocate(c);
        if (e != VDiskError::None)
            return e;
        if (m_first == 0)
            m_first = c;
        else
            fat.set(m_last, c);
        bool adjacent = i > 0 && c == m_last + 1;
        m_last = c;
        if (!adjacent) {
            if (i > 0) {
                e = m_volume.device().write(m_volume.boot().clusterOffset(runFirst),
                                            data + runStart * clusterBytes, (i - runStart) * clusterBytes);
                if (e != VDiskError::None)
                    return e;
            }
            runStart = i;
            runFirst = c;
        }
    }
    m_volume.markModified();
    return m_volume.device().write(m_volume.boot().clusterOffset(runFirst), data + runStart * clusterBytes,
                                   length - runStart * clusterBytes);
}

VDiskError FileWriter::write(const void *data, size_t length)
{
    if (m_finished)
        return VDiskError::BadHandle;
    if (m_failed != VDiskError::None)
        return m_failed;
    if (length > kMaxFileSize - m_size) {
        fail(VDiskError::TooLarge);
        return m_failed;
    }
    const auto *in = static_cast<const uint8_t *>(data);
    const size_t clusterBytes = m_volume.boot().clusterBytes();
    const size_t gather = std::max(kGather / clusterBytes, size_t(1)) * clusterBytes;
    m_size += length;
    while (length > 0) {
        VDiskError e = VDiskError::None;
        if (m_buffer.empty() && length >= clusterBytes) {
            // Whole clusters straight from the caller's memory.
            size_t whole = std::min(length / clusterBytes * clusterBytes, gather);
            e = writeClusters(in, whole);
            in += whole;
            length -= whole;
        } else {
            size_t n = std::min(length, gather - m_buffer.size());
            m_buffer.insert(m_buffer.end(), in, in + n);
            in += n;
            length -= n;
            if (m_buffer.size() == gather) {
                e = writeClusters(m_buffer.data(), m_buffer.size());
                m_buffer.clear();
            }
        }
        if (e != VDiskError::None) {
            fail(e);
            return e;
        }
    }
    return VDiskError::None;
}

VDiskError FileWriter::commit()
{
    if (m_finished)
        return VDiskError::BadHandle;
    VDiskError e = m_failed;
    if (e == VDiskError::None && !m_buffer.empty()) {
        e = writeClusters(m_buffer.data(), m_buffer.size());
        m_buffer.clear();
    }
    if (e != VDiskError::None) {
        if (m_failed == VDiskError::None)
            fail(e);
        abandon();
        return e;
    }
    Volume &v = m_volume;
    v.markModified();
    e = v.transact([&] { return completeEntry(); });
    if (e != VDiskError::None) {
        // The FAT and the folder are back as they were; the new chain and
        // any reservation go with the writer.
        abandon();
        return e;
    }
    m_finished = true;
    m_volume.stopWriting(m_key);
    return VDiskError::None;
}

VDiskError FileWriter::completeEntry()
{
    Volume &v = m_volume;
    VDiskError e = v.fat().flush(v.device(), v.boot());
    if (e != VDiskError::None)
        return e;
    const FatTime now = FatTime::now();
    const auto first = static_cast<uint16_t>(m_first);
    const auto size = static_cast<uint32_t>(m_size);
    uint32_t oldFirst = 0;
    if (m_replace) {
        oldFirst = v.root().fileAt(m_replaceSlot)->entry.cluster;
        v.root().update(m_replaceSlot, first, size, now);
    } else {
        dirent::ShortEntry fields;
        fields.attr = dirent::kAttrArchive;
        fields.created = now;
        fields.written = now;
        fields.accessDate = now.date;
        fields.cluster = first;
        fields.size = size;
        v.root().create(m_plan, m_firstSlot, m_name, m_key, fields);
        m_reserved = false;
    }
    if ((e = v.root().flush(v.device(), v.boot())) != VDiskError::None)
        return e;
    if (m_replace && v.fat().isDataCluster(oldFirst) && (e = v.dropChain(oldFirst)) != VDiskError::None)
        return e;
    if (m_first != 0)
        v.chainTaken(m_first);
    return VDiskError::None;
}

void FileWriter::abandon()
{
    if (m_finished)
        return;
    m_finished = true;
    if (m_first != 0) {
        m_volume.fat().freeChain(m_first);
        m_first = m_last = 0;
        // Clusters already flushed by another file's commit are given back
        // on the image as well; if that fails they are merely lost.
        (void)m_volume.fat().flush(m_volume.device(), m_volume.boot());
    }
    if (m_reserved)
        m_volume.root().release(m_plan, m_firstSlot);
    m_reserved = false;
    m_volume.stopWriting(m_key);
}

} // namespace vexo
