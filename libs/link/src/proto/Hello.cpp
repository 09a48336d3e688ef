#include "Hello.h"

#include "ByteIO.h"

namespace vexo::link
{

std::vector<uint8_t> encodeHello(const Hello &hello)
{
    ByteWriter w;
    w.u8(hello.version);
    w.u8(hello.caps);
    w.u32(hello.nonce);
    w.u16(hello.maxPayload);
    w.u8(hello.window);
    w.u8(hello.protocol);
    // Without any bit the byte is left out, exactly as an older peer does.
    if (hello.moreCaps != 0)
        w.u8(hello.moreCaps);
    if (hello.moreCaps & kMoreCapIdentity)
        w.bytes(hello.identity.data(), hello.identity.size());
    return w.take();
}

bool decodeHello(const std::vector<uint8_t> &bytes, Hello &hello)
{
    // Later versions may append fields; what we know comes first.
    ByteReader r(bytes);
    if (!(r.u8(hello.version) && r.u8(hello.caps) && r.u32(hello.nonce) && r.u16(hello.maxPayload) &&
          r.u8(hello.window) && hello.nonce != 0))
        return false;
    // Version 1 ends here; version 0 does not exist.
    if (!r.u8(hello.protocol) || hello.protocol == 0)
        hello.protocol = 1;
    if (!r.u8(hello.moreCaps))
        hello.moreCaps = 0;
    hello.identity.fill(0);
    // An identity cut short is no identity: the bit goes with it.
    if ((hello.moreCaps & kMoreCapIdentity) && !r.bytes(hello.identity.data(), hello.identity.size()))
        hello.moreCaps &= static_cast<uint8_t>(~kMoreCapIdentity);
    return true;
}

uint8_t tagForNonce(uint32_t nonce)
{
    const uint8_t tag = static_cast<uint8_t>(nonce ^ (nonce >> 8) ^ (nonce >> 16) ^ (nonce >> 24));
    return tag == 0 ? 1 : tag;
}

} // namespace vexo::link
