#include "Message.h"

#include "ByteIO.h"

namespace vexo::link
{

namespace
{
bool carriesPart(MsgType type)
{
    return type == MsgType::ListPart || type == MsgType::FileData;
}

void writePart(ByteWriter &w, const DataPart &part)
{
    w.u8(part.flags);
    if (part.flags & kPartStreamCrc)
        w.u32(part.streamCrc);
    w.bytes(part.data.data(), part.data.size());
}

bool readPart(ByteReader &r, DataPart &part)
{
    constexpr uint8_t known = kPartCodecMask | kPartEndOfBlock | kPartEndOfStream | kPartStreamCrc;
    if (!r.u8(part.flags) || (part.flags & ~known) || (part.flags & kPartCodecMask) == kPartCodecMask)
        return false;
    if ((part.flags & kPartEndOfStream) && !(part.flags & kPartEndOfBlock))
        return false;
    if ((part.flags & kPartStreamCrc) && (!(part.flags & kPartEndOfStream) || !r.u32(part.streamCrc)))
        return false;
    part.data = r.rest();
    return true;
}
} // namespace

size_t messageOverhead(const Message &message)
{
    Message bare = message;
    bare.part.data.clear();
    return encodeMessage(bare).size();
}

std::vector<uint8_t> encodeMessage(const Message &m)
{
    ByteWriter w;
    w.u8(static_cast<uint8_t>(m.type));
    w.u16(m.id);
    switch (m.type) {
    case MsgType::Lookup:
    case MsgType::Delete:
    case MsgType::Get:
    case MsgType::Checksum:
        w.shortString(m.name);
        break;
    case MsgType::List:
        w.shortString(m.name);
        if (m.since != 0) {
            uint8_t token[8];
            putLe64(token, m.since);
            w.bytes(token, 8);
        }
        break;
    case MsgType::Rename:
        w.shortString(m.name);
        w.shortString(m.name2);
        break;
    case MsgType::Abort:
        break;
    case MsgType::PutOpen:
        w.u8(static_cast<uint8_t>((m.overwrite ? 1 : 0) | (m.hasTime ? 2 : 0)));
        w.varint(m.size);
        w.shortString(m.name);
        if (m.hasTime)
            w.svarint(m.mtimeMs);
        if (m.hasPart)
            writePart(w, m.part);
        break;
    case MsgType::GetOpen:
        w.varint(m.size);
        w.svarint(m.mtimeMs);
        if (m.hasPart)
            writePart(w, m.part);
        break;
    case MsgType::Result:
        w.u8(static_cast<uint8_t>(m.status));
        if (m.hasInfo) {
            w.varint(m.size);
            w.svarint(m.mtimeMs);
            if (m.hasCrc)
                w.u32(m.crc);
        }
        break;
    case MsgType::ListPart:
    case MsgType::FileData:
        writePart(w, m.part);
        break;
    }
    return w.take();
}

bool decodeMessage(const std::vector<uint8_t> &bytes, Message &m)
{
    ByteReader r(bytes);
    uint8_t type;
    uint16_t id;
    if (!r.u8(type) || !r.u16(id))
        return false;
    m = Message{};
    m.type = static_cast<MsgType>(type);
    m.id = id;
    switch (m.type) {
    case MsgType::Lookup:
    case MsgType::Delete:
    case MsgType::Get:
    case MsgType::Checksum:
        return r.shortString(m.name) && r.remaining() == 0;
    case MsgType::List: {
        if (!r.shortString(m.name))
            return false;
        if (r.remaining() == 0)
            return true;
        uint32_t low = 0, high = 0;
        m.since = r.u32(low) && r.u32(high) ? uint64_t{high} << 32 | low : 0;
        return m.since != 0 && r.remaining() == 0;
    }
    case MsgType::Rename:
        return r.shortString(m.name) && r.shortString(m.name2) && r.remaining() == 0;
    case MsgType::Abort:
        return r.remaining() == 0;
    case MsgType::PutOpen: {
        uint8_t flags;
        if (!r.u8(flags) || flags > 3 || !r.varint(m.size) || !r.shortString(m.name))
            return false;
        m.overwrite = (flags & 1) != 0;
        m.hasTime = (flags & 2) != 0;
        if (m.hasTime && !r.svarint(m.mtimeMs))
            return false;
        m.hasPart = r.remaining() > 0;
        return !m.hasPart || readPart(r, m.part);
    }
    case MsgType::GetOpen:
        if (!r.varint(m.size) || !r.svarint(m.mtimeMs))
            return false;
        m.hasPart = r.remaining() > 0;
        return !m.hasPart || readPart(r, m.part);
    case MsgType::Result: {
        uint8_t status;
        if (!r.u8(status) || status > static_cast<uint8_t>(WireStatus::CheckFailed))
            return false;
        m.status = static_cast<WireStatus>(status);
        m.hasInfo = r.remaining() > 0;
        if (!m.hasInfo)
            return true;
        if (!r.varint(m.size) || !r.svarint(m.mtimeMs))
            return false;
        m.hasCrc = r.remaining() > 0;
        return (!m.hasCrc || r.u32(m.crc)) && r.remaining() == 0;
    }
    case MsgType::ListPart:
    case MsgType::FileData:
        m.hasPart = true;
        return carriesPart(m.type) && readPart(r, m.part);
    }
    return false;
}

void appendEntry(std::vector<uint8_t> &block, const WireEntry &entry)
{
    ByteWriter w;
    w.shortString(entry.name);
    w.varint(entry.size);
    w.svarint(entry.mtimeMs);
    const auto &d = w.data();
    block.insert(block.end(), d.begin(), d.end());
}

bool decodeEntries(const std::vector<uint8_t> &block, std::vector<WireEntry> &entries)
{
    ByteReader r(block);
    while (r.remaining() > 0) {
        WireEntry e;
        if (!r.shortString(e.name) || !r.varint(e.size) || !r.svarint(e.mtimeMs) || e.name.empty())
            return false;
        entries.push_back(std::move(e));
    }
    return true;
}

} // namespace vexo::link
