#include "OutgoingFile.h"

#include "Channel.h"
#include "Crc32.h"
#include "vexo/sys/FileIo.h"

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexo::link
{

OutgoingFile::OutgoingFile(uint16_t id, Codec codec, bool fileContext, bool hashed)
    : m_id(id), m_encoder(codec, fileContext), m_hashed(hashed)
{
}

bool OutgoingFile::open(const std::string &path, bool followLinks)
{
    m_fd.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | (followLinks ? 0 : O_NOFOLLOW)));
    struct stat st {
    };
    if (!m_fd || fstat(m_fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        m_fd.reset();
        return false;
    }
    m_size = static_cast<uint64_t>(st.st_size);
    m_sent = 0;
    m_crc = 0;
    m_mtimeMs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
    return true;
}

bool OutgoingFile::fillOpen(Message &open, size_t maxPayload)
{
    open.size = m_size;
    // A small file travels inside the open message: one frame per file.
    const size_t room = maxPayload - messageOverhead(open) - 5;
    if (m_size > room)
        return true;
    std::vector<uint8_t> raw(m_size);
    if (!sys::readAll(m_fd.get(), raw.data(), raw.size())) {
        m_fd.reset();
        return false;
    }
    auto parts = m_encoder.encode(raw.data(), raw.size(), room, true, crc32(raw.data(), raw.size()), true);
    open.hasPart = true;
    open.part = std::move(parts.front());
    m_sent = m_size;
    m_fd.reset();
    return true;
}

bool OutgoingFile::prefix(uint64_t count, FileDigest &digest) const
{
    return m_fd && count <= m_size && digest.addFrom(m_fd.get(), count);
}

bool OutgoingFile::startAt(const FileDigest &prefix)
{
    const uint64_t offset = prefix.length();
    if (!m_fd || offset > m_size || lseek(m_fd.get(), static_cast<off_t>(offset), SEEK_SET) < 0)
        return false;
    m_sent = offset;
    m_crc = prefix.crc();
    m_digest = prefix;
    return true;
}

bool OutgoingFile::sendBlock(Channel &channel)
{
    const size_t n = static_cast<size_t>(std::min<uint64_t>(kMaxBlockSize, m_size - m_sent));
    std::vector<uint8_t> raw(n);
    if (!sys::readAll(m_fd.get(), raw.data(), n)) {
        m_fd.reset();
        return false;
    }
    m_crc = crc32(raw.data(), n, m_crc);
    if (m_hashed)
        m_digest.add(raw.data(), n);
    m_sent += n;
    const bool last = complete();
    // FileData: type, id, flags and the stream CRC; smaller while the line
    // damages frames (Channel::dataPayload), and by the hash at the end.
    const size_t maxPartData = channel.dataPayload() - 8 - (m_hashed && last ? kHashSize : 0);
    auto parts = m_encoder.encode(raw.data(), n, maxPartData, last, m_crc);
    if (last && m_hashed && (parts.back().flags & kPartStreamCrc)) {
        parts.back().flags |= kPartStreamHash;
        parts.back().streamHash = m_digest.hash();
    }
    for (auto &part : parts)
        channel.send(encodePartMessage(MsgType::FileData, m_id, std::move(part)));
    if (last)
        m_fd.reset();
    return true;
}

} // namespace vexo::link
