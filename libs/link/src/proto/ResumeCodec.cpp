#include "ResumeCodec.h"

#include "ByteIO.h"

namespace vexo::link
{

void encodeResumeFields(ByteWriter &w, const Message &m)
{
    switch (m.type) {
    case MsgType::GetFrom:
        w.shortString(m.name);
        w.varint(m.size);
        w.svarint(m.mtimeMs);
        w.varint(m.offset);
        w.u32(m.crc);
        break;
    case MsgType::PutFrom:
        w.varint(m.offset);
        break;
    case MsgType::ResumeOffer:
        w.varint(m.offset);
        w.u32(m.crc);
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
               r.u32(m.crc) && r.remaining() == 0;
    case MsgType::PutFrom:
        return r.varint(m.offset) && r.remaining() == 0;
    case MsgType::ResumeOffer:
        return r.varint(m.offset) && r.u32(m.crc) && r.remaining() == 0;
    default:
        return false;
    }
}

} // namespace vexo::link
