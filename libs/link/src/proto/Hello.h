// The session handshake carried in Hello and HelloAck frames.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexo::link
{

// Byte 0 of the record: the frame and record layout. A peer answers any
// other value with an empty HelloAck, so it never changes.
constexpr uint8_t kFormatVersion = 1;
// Appended after the version-1 fields; a version-1 peer ignores it and sends
// none, and each side then speaks the lower of the two.
constexpr uint8_t kProtocolVersion = 2;

// Capability bit beside the codec bits: the server answers Checksum requests
// and keeps the time a PutOpen carries. An older server masks it out of its
// HelloAck, and is then sent neither.
constexpr uint8_t kCapSync = 0x04;
// Listings in the compact column form (ListingCodec.h), closed by a Result
// that names their content, and List requests that may carry the name of the
// listing the client holds so that an unchanged folder is answered with that
// Result alone. A peer without it gets the entry-by-entry listings.
constexpr uint8_t kCapCompactList = 0x08;
// With kCapCompactList: the server keeps the last listing it sent in the
// session, and answers a List carrying its token with only what changed
// (ListingDelta.h). A peer without it gets whole listings.
constexpr uint8_t kCapListDelta = 0x40;
// Kept partial files: a transfer that stopped early continues from the part
// the receiver kept (the PutOpen resumable flag, GetFrom, PutFrom,
// ResumeOffer, GetOpenFrom) instead of sending all of it again. A peer
// without it gets whole transfers, as before.
constexpr uint8_t kCapResume = 0x80;

// Byte 10 of the record, "more capabilities", once byte 1 had no bit left.
// An older peer sends no byte 10, which reads as 0.
// The server answers Space requests (free and total bytes of its folder).
constexpr uint8_t kMoreCapSpace = 0x01;
// Transfers are checked with a BLAKE2b hash of the whole file besides the
// CRC-32, the kept part of a resume as well, and the server answers Hash
// requests. A peer without it gets the CRC-32 alone.
constexpr uint8_t kMoreCapHash = 0x02;
// HelloAck: the palmtop's identity follows byte 10, so that a client that
// reconnects can tell whether the same palmtop answered.
constexpr uint8_t kMoreCapIdentity = 0x04;
constexpr size_t kIdentitySize = 16;
// The server takes DeleteMany requests.
constexpr uint8_t kMoreCapDeleteMany = 0x08;

// The smallest largest-message a Hello record may name: room for a
// message's header and a part.
constexpr uint16_t kMinPayload = 64;

struct Hello {
    uint8_t version = kFormatVersion;
    uint8_t caps = 0;   // kCap* bits: codecs offered (Hello) or shared (HelloAck)
    uint32_t nonce = 0; // names the session; a repeated Hello carries the same nonce
    uint16_t maxPayload = 0;
    uint8_t window = 0;
    uint8_t protocol = kProtocolVersion; // 1 when the peer sent none
    uint8_t moreCaps = 0;                // kMoreCap* bits; 0 when the peer sent none
    // With kMoreCapIdentity in a HelloAck: the palmtop's identity, random and
    // kept for good; all zero when none came.
    std::array<uint8_t, kIdentitySize> identity{};
};

std::vector<uint8_t> encodeHello(const Hello &hello);
bool decodeHello(const std::vector<uint8_t> &bytes, Hello &hello);

// The session tag that frames of a session carry: never 0.
uint8_t tagForNonce(uint32_t nonce);

} // namespace vexo::link
