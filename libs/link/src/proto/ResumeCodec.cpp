#include "ResumeCodec.h"

#include "ByteIO.h"

namespace vexo::link
{

namespace
{
// The hash of the kept bytes, which a session sharing kMoreCapHash adds.
bool optionalHash(ByteReader &r, Message &m)
{
    m.hasHash = r.remaining() == kHashSize;
    return (!m.hasHash || r.bytes(m.hash.data(), m.hash.size())) && r.remaining() == 0;
}
} // namespace

void encodeResumeFields(ByteWriter &w, const Message &m)
{
    switch (m.type) {
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
    default:
        break;
    }
}

bool decodeResumeFields(ByteReader &r, Message &m)
{
    switch (m.type) {
    case MsgType::GetFrom:
        return r.shortString(m.name) && r.varint(m.size) && r.svarint(m.mtimeMs) && r.varint(m.offset) &&
               r.u32(m.crc) && optionalHash(r, m);
    case MsgType::PutFrom:
        return r.varint(m.offset) && r.remaining() == 0;
    case MsgType::ResumeOffer:
        return r.varint(m.offset) && r.u32(m.crc) && optionalHash(r, m);
    default:
        return false;
    }
}

} // namespace vexo::link
