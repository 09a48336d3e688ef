// The messages carried in Data frames; see PROTOCOL.md.
#pragma once

#include "FileDigest.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vexo::link
{

enum class MsgType : uint8_t {
    Lookup = 0x10,
    Delete = 0x11,
    Rename = 0x12,
    List = 0x13,
    PutOpen = 0x14,
    Get = 0x15,
    Abort = 0x16,
    Checksum = 0x17, // only to a peer whose HelloAck has kCapSync
    // A PutOpen with its whole file, coded against the open before it
    // (OpenChain); only in sessions that share kCapLeanBatch.
    PutNext = 0x18,
    Space = 0x19, // only to a peer whose HelloAck has kMoreCapSpace
    Hash = 0x1C,  // a Checksum answered with the BLAKE2b hash; only with kMoreCapHash
    // Resuming a kept partial file; only in sessions that share kCapResume.
    GetFrom = 0x1A,
    PutFrom = 0x1B,
    // Several deletes in one message, answered by one Outcomes; only to a
    // peer whose HelloAck has kMoreCapDeleteMany.
    DeleteMany = 0x1D,
    Outcomes = 0x27,
    ResumeOffer = 0x23,
    GetOpenFrom = 0x24,
    // The server is still reading a file for a request (offset: bytes read so
    // far), so that a client counts it as progress; only with kMoreCapHash.
    Working = 0x26,
    Result = 0x20,
    ListPart = 0x21,
    // A part of the changes since the listing the client holds (ListingDelta);
    // only in sessions that share kCapListDelta.
    ListChanges = 0x25,
    GetOpen = 0x22,
    FileData = 0x30,
};

enum class WireStatus : uint8_t {
    Ok = 0,
    NotFound = 1,
    BadName = 2,
    Exists = 3,
    IoError = 4,
    Stopped = 5,
    BadRequest = 6,
    CheckFailed = 7,
};

// Flags of a data part (file content or listing entries).
constexpr uint8_t kPartCodecMask = 0x03;
constexpr uint8_t kPartEndOfBlock = 0x04;  // last part of a (compressed) block
constexpr uint8_t kPartEndOfStream = 0x08; // last part of the file or listing
// With end of stream: the CRC-32 of the whole raw stream follows the flags. A
// stream of a single part leaves it out: the frame's own CRC-32 covers it all.
constexpr uint8_t kPartStreamCrc = 0x10;
// With codec zstd: the block continues the file's compression context instead
// of standing alone. A block without it ends the context, and the next block
// that has it begins a new one. Only in sessions that share kCapZstdContext.
constexpr uint8_t kPartContext = 0x20;
// With kPartStreamCrc, in sessions that share kMoreCapHash: the BLAKE2b hash
// of the whole file follows the stream CRC.
constexpr uint8_t kPartStreamHash = 0x40;

struct DataPart {
    uint8_t flags = 0;
    uint32_t streamCrc = 0; // CRC-32 of all raw bytes of the stream, with kPartStreamCrc
    Hash streamHash{};      // their BLAKE2b hash, with kPartStreamHash
    std::vector<uint8_t> data;
};

struct Message {
    MsgType type = MsgType::Result;
    uint16_t id = 0;
    std::string name;  // Lookup, Delete, Get, PutOpen: the name; Rename: old name; List: pattern
    std::string name2; // Rename: new name
    WireStatus status = WireStatus::Ok;
    bool overwrite = false; // PutOpen
    bool hasTime = false;   // PutOpen: mtimeMs is the time the stored file keeps
    bool resumable = false; // PutOpen: asks for a ResumeOffer before any data (kCapResume only)
    uint64_t offset = 0;    // GetFrom, PutFrom, ResumeOffer, GetOpenFrom: where the stream starts
    uint64_t size = 0;      // PutOpen, GetOpen, Result of a lookup
    int64_t mtimeMs = 0;    // GetOpen, Result of a lookup, PutOpen with hasTime
    bool hasInfo = false;   // Result carries size and time
    bool hasCrc = false;    // Result of a Checksum: the file's CRC-32 follows size and time
    uint32_t crc = 0;       // also GetFrom, ResumeOffer: CRC-32 of the kept first `offset` bytes
    // Result of a Hash: the file's BLAKE2b hash in place of the CRC-32;
    // GetFrom, ResumeOffer (kMoreCapHash): that of the kept first bytes.
    bool hasHash = false;
    Hash hash{};
    bool hasPart = false; // PutOpen, GetOpen: a first part follows; ListPart, FileData: always
    uint64_t since = 0;   // List: token of the listing the client holds, 0 for none (kCapCompactList only)
    // PutNext: bytes the name shares with the previous open's name at its
    // start and at its end (name holds the rest); mtimeMs is the difference
    // to that open's time and id is not on the wire.
    uint8_t sharedHead = 0;
    uint8_t sharedTail = 0;
    std::vector<std::string> names;   // DeleteMany: at least one
    std::vector<WireStatus> statuses; // Outcomes: one per name of its request, in order
    DataPart part;
};

// Bytes a message takes besides its part's data.
size_t messageOverhead(const Message &message);

std::vector<uint8_t> encodeMessage(const Message &message);
// A ListPart, ListChanges or FileData message of request `id` carrying `part`.
std::vector<uint8_t> encodePartMessage(MsgType type, uint16_t id, DataPart part);
// Parses one message; false for anything truncated, unknown or malformed.
bool decodeMessage(const std::vector<uint8_t> &bytes, Message &message);

// One listing entry inside a listing block.
struct WireEntry {
    std::string name;
    uint64_t size = 0;
    int64_t mtimeMs = 0;
};
void appendEntry(std::vector<uint8_t> &block, const WireEntry &entry);
bool decodeEntries(const std::vector<uint8_t> &block, std::vector<WireEntry> &entries);

} // namespace vexo::link
