// A local file going out as one block stream, the same way from either end:
// inside the open message (PutOpen, GetOpen) when all of it fits there, else
// as FileData messages, one block at a time, as the window takes them.
#pragma once

#include "BlockCodec.h"
#include "BlockEncoder.h"
#include "FileDigest.h"
#include "Message.h"
#include "vexo/sys/UniqueFd.h"

#include <cstdint>
#include <string>

namespace vexo::link
{

class Channel;

class OutgoingFile
{
public:
    // id: the request the data belongs to; codec and fileContext as agreed in
    // the session; hashed: it shares kMoreCapHash, and a stream that ends
    // with a CRC-32 carries the hash of the whole file as well.
    OutgoingFile(uint16_t id, Codec codec, bool fileContext, bool hashed = false);
    OutgoingFile(const OutgoingFile &) = delete;
    OutgoingFile &operator=(const OutgoingFile &) = delete;

    // Opens a regular file, without blocking (a FIFO or a device would block
    // the open or the reads) and, unless followLinks, not through a symbolic
    // link; the type is checked on what was opened. False for anything else.
    bool open(const std::string &path, bool followLinks);

    uint16_t id() const { return m_id; }
    uint64_t size() const { return m_size; }
    uint64_t sent() const { return m_sent; }
    int64_t mtimeMs() const { return m_mtimeMs; }
    // The open file, for reading it elsewhere without moving its position (pread).
    int fd() const { return m_fd.get(); }
    // Every byte is queued: nothing is left to send.
    bool complete() const { return m_sent == m_size; }

    // Call once the rest of `open` is filled in: sets its size and, when the
    // whole file fits beside the rest in a message of maxPayload bytes, puts
    // the file in as its part (then complete()). False on a read error.
    bool fillOpen(Message &open, size_t maxPayload);
    // Adds the first `count` bytes of the file to `digest` (a fresh one);
    // false on a read error or a file shorter than that. Does not move the
    // read position.
    bool prefix(uint64_t count, FileDigest &digest) const;
    // Sends from prefix.length() on (the receiver kept the bytes before it);
    // the stream's CRC-32 and hash still cover the whole file.
    bool startAt(const FileDigest &prefix);
    // Reads the next block and queues its FileData messages on the channel,
    // in parts that fit its current message size. False on a read error.
    bool sendBlock(Channel &channel);

private:
    uint16_t m_id;
    BlockEncoder m_encoder;
    sys::UniqueFd m_fd;
    uint64_t m_size = 0;
    uint64_t m_sent = 0;
    int64_t m_mtimeMs = 0;
    uint32_t m_crc = 0;
    bool m_hashed;
    FileDigest m_digest; // of the bytes read so far, when hashed
};

} // namespace vexo::link
