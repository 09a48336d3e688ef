#include "Message.h"

#include "BlockCodec.h"
#include "ByteIO.h"

namespace vexo::link
{

namespace
{
// Requests whose only field is a name.
bool takesOnlyAName(MsgType type)
{
    return type == MsgType::Lookup || type == MsgType::Delete || type == MsgType::Get ||
           type == MsgType::Checksum || type == MsgType::Hash;
}

// The hash of a resume's kept bytes, which a session sharing kMoreCapHash adds.
bool optionalKeptHash(ByteReader &r, Message &m)
{
    m.hasHash = r.remaining() == kHashSize;
    return (!m.hasHash || r.bytes(m.hash.data(), m.hash.size())) && r.remaining() == 0;
}

bool carriesPart(MsgType type)
{
    return type == MsgType::ListPart || type == MsgType::ListChanges || type == MsgType::FileData;
}

void writePart(ByteWriter &w, const DataPart &part)
{
    w.u8(part.flags);
    if (part.flags & kPartStreamCrc)
        w.u32(part.streamCrc);
    if (part.flags & kPartStreamHash)
        w.bytes(part.streamHash.data(), part.streamHash.size());
    w.bytes(part.data.data(), part.data.size());
}

bool readPart(ByteReader &r, DataPart &part)
{
    constexpr uint8_t known =
        kPartCodecMask | kPartEndOfBlock | kPartEndOfStream | kPartStreamCrc | kPartContext | kPartStreamHash;
    if (!r.u8(part.flags) || (part.flags & ~known) || (part.flags & kPartCodecMask) == kPartCodecMask)
        return false;
    if ((part.flags & kPartContext) && (part.flags & kPartCodecMask) != static_cast<uint8_t>(Codec::Zstd))
        return false;
    if ((part.flags & kPartEndOfStream) && !(part.flags & kPartEndOfBlock))
        return false;
    if ((part.flags & kPartStreamCrc) && (!(part.flags & kPartEndOfStream) || !r.u32(part.streamCrc)))
        return false;
    if ((part.flags & kPartStreamHash) &&
        (!(part.flags & kPartStreamCrc) || !r.bytes(part.streamHash.data(), part.streamHash.size())))
        return false;
    part.data = r.rest();
    return true;
}
// PutNext flags: bit 0 overwrite, bit 1 time follows, bit 2 size follows
// (without it the file is the data, sent raw), bits 3-4 the codec of the
// data, which is the whole stream in one block.
constexpr uint8_t kNextSize = 0x04;
constexpr int kNextCodecShift = 3;

void encodePutNext(ByteWriter &w, const Message &m)
{
    const uint8_t codec = m.part.flags & kPartCodecMask;
    const bool rawWhole = codec == 0 && m.part.data.size() == m.size;
    w.u8(static_cast<uint8_t>((m.overwrite ? 1 : 0) | (m.hasTime ? 2 : 0) | (rawWhole ? 0 : kNextSize) |
                              codec << kNextCodecShift));
    w.u8(static_cast<uint8_t>(m.sharedHead << 4 | m.sharedTail));
    w.shortString(m.name);
    if (!rawWhole)
        w.varint(m.size);
    if (m.hasTime)
        w.svarint(m.mtimeMs);
    w.bytes(m.part.data.data(), m.part.data.size());
}

bool decodePutNext(ByteReader &r, Message &m)
{
    m = Message{};
    m.type = MsgType::PutNext;
    uint8_t flags, shared;
    if (!r.u8(flags) || flags >= 3 << kNextCodecShift || !r.u8(shared) || !r.shortString(m.name))
        return false;
    m.overwrite = (flags & 1) != 0;
    m.hasTime = (flags & 2) != 0;
    m.sharedHead = static_cast<uint8_t>(shared >> 4);
    m.sharedTail = static_cast<uint8_t>(shared & 0x0F);
    if ((flags & kNextSize) && !r.varint(m.size))
        return false;
    if (m.hasTime && !r.svarint(m.mtimeMs))
        return false;
    const uint8_t codec = flags >> kNextCodecShift;
    m.hasPart = true;
    m.part.flags = static_cast<uint8_t>(codec | kPartEndOfBlock | kPartEndOfStream);
    m.part.data = r.rest();
    if (flags & kNextSize)
        return true;
    m.size = m.part.data.size();
    return codec == 0;
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
    if (m.type == MsgType::PutNext) {
        encodePutNext(w, m);
        return w.take();
    }
    w.u16(m.id);
    if (takesOnlyAName(m.type))
        w.shortString(m.name);
    switch (m.type) {
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
    case MsgType::Space:
        break;
    case MsgType::DeleteMany:
        for (const std::string &name : m.names)
            w.shortString(name);
        break;
    case MsgType::Outcomes:
        for (const WireStatus status : m.statuses)
            w.u8(static_cast<uint8_t>(status));
        break;
    case MsgType::PutOpen:
        w.u8(static_cast<uint8_t>((m.overwrite ? 1 : 0) | (m.hasTime ? 2 : 0) | (m.resumable ? 4 : 0)));
        w.varint(m.size);
        w.shortString(m.name);
        if (m.hasTime)
            w.svarint(m.mtimeMs);
        if (m.hasPart)
            writePart(w, m.part);
        break;
    case MsgType::GetOpen:
    case MsgType::GetOpenFrom:
        w.varint(m.size);
        w.svarint(m.mtimeMs);
        if (m.type == MsgType::GetOpenFrom)
            w.varint(m.offset);
        if (m.hasPart)
            writePart(w, m.part);
        break;
    case MsgType::Result:
        w.u8(static_cast<uint8_t>(m.status));
        if (m.hasInfo) {
            w.varint(m.size);
            w.svarint(m.mtimeMs);
            if (m.hasHash)
                w.bytes(m.hash.data(), m.hash.size());
            else if (m.hasCrc)
                w.u32(m.crc);
        }
        break;
    case MsgType::ListPart:
    case MsgType::ListChanges:
    case MsgType::FileData:
        writePart(w, m.part);
        break;
    case MsgType::Working:
        w.varint(m.offset);
        break;
    case MsgType::GetFrom:
        w.shortString(m.name);
        w.varint(m.size);
        w.svarint(m.mtimeMs);
        w.varint(m.offset);
        w.u32(m.crc);
        if (m.hasHash)
            w.bytes(m.hash.data(), m.hash.size());
        break;
    case MsgType::PutFrom:
        w.varint(m.offset);
        break;
    case MsgType::ResumeOffer:
        w.varint(m.offset);
        w.u32(m.crc);
        if (m.hasHash)
            w.bytes(m.hash.data(), m.hash.size());
        break;
    default: // only a name, written above
        break;
    }
    return w.take();
}

std::vector<uint8_t> encodePartMessage(MsgType type, uint16_t id, DataPart part)
{
    Message m;
    m.type = type;
    m.id = id;
    m.hasPart = true;
    m.part = std::move(part);
    return encodeMessage(m);
}

bool decodeMessage(const std::vector<uint8_t> &bytes, Message &m)
{
    ByteReader r(bytes);
    uint8_t type;
    uint16_t id;
    if (r.u8(type) && type == static_cast<uint8_t>(MsgType::PutNext))
        return decodePutNext(r, m);
    if (!r.u16(id))
        return false;
    m = Message{};
    m.type = static_cast<MsgType>(type);
    m.id = id;
    if (takesOnlyAName(m.type))
        return r.shortString(m.name) && r.remaining() == 0;
    switch (m.type) {
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
    case MsgType::Space:
        return r.remaining() == 0;
    case MsgType::DeleteMany:
        while (r.remaining() > 0) {
            std::string name;
            if (!r.shortString(name))
                return false;
            m.names.push_back(std::move(name));
        }
        return !m.names.empty();
    case MsgType::Outcomes:
        while (r.remaining() > 0) {
            uint8_t status;
            if (!r.u8(status) || status > static_cast<uint8_t>(WireStatus::CheckFailed))
                return false;
            m.statuses.push_back(static_cast<WireStatus>(status));
        }
        return !m.statuses.empty();
    case MsgType::PutOpen: {
        uint8_t flags;
        if (!r.u8(flags) || flags > 7 || !r.varint(m.size) || !r.shortString(m.name))
            return false;
        m.overwrite = (flags & 1) != 0;
        m.hasTime = (flags & 2) != 0;
        m.resumable = (flags & 4) != 0;
        if (m.hasTime && !r.svarint(m.mtimeMs))
            return false;
        m.hasPart = r.remaining() > 0;
        return !m.hasPart || readPart(r, m.part);
    }
    case MsgType::GetOpen:
    case MsgType::GetOpenFrom:
        if (!r.varint(m.size) || !r.svarint(m.mtimeMs) ||
            (m.type == MsgType::GetOpenFrom && !r.varint(m.offset)))
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
        // What follows the time tells the two answers apart by its length.
        m.hasHash = r.remaining() == kHashSize;
        if (m.hasHash)
            return r.bytes(m.hash.data(), m.hash.size());
        m.hasCrc = r.remaining() > 0;
        return (!m.hasCrc || r.u32(m.crc)) && r.remaining() == 0;
    }
    case MsgType::ListPart:
    case MsgType::ListChanges:
    case MsgType::FileData:
        m.hasPart = true;
        return carriesPart(m.type) && readPart(r, m.part);
    case MsgType::Working:
        return r.varint(m.offset) && r.remaining() == 0;
    case MsgType::GetFrom:
        return r.shortString(m.name) && r.varint(m.size) && r.svarint(m.mtimeMs) && r.varint(m.offset) &&
               r.u32(m.crc) && optionalKeptHash(r, m);
    case MsgType::PutFrom:
        return r.varint(m.offset) && r.remaining() == 0;
    case MsgType::ResumeOffer:
        return r.varint(m.offset) && r.u32(m.crc) && optionalKeptHash(r, m);
    default: // unknown; only a name was read above
        return false;
    }
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
