// The palmtop side of the file service: one session at a time over one byte
// stream, serving a DeviceFolder.
#pragma once

#include "BlockCodec.h"
#include "Channel.h"
#include "DeviceFolder.h"
#include "DevicePartials.h"
#include "FolderSpace.h"
#include "Hello.h"
#include "IncomingFile.h"
#include "Message.h"
#include "OpenChain.h"
#include "OutgoingFile.h"
#include "PartialFile.h"
#include "SlicedDigest.h"
#include "vexo/sys/UniqueFd.h"

#include <array>
#include <atomic>
#include <deque>
#include <memory>
#include <optional>
#include <string>

namespace vexo::deviced
{

struct ServerOptions {
    int timeoutMs = 3000; // silence after which a client counts as gone
    bool verbose = false; // one line per request on stderr; names in quotes, escaped
    uint16_t maxPayload = 2048;
    uint8_t window = 4;
    bool offerChecksum = true;                 // false: behave as a server from before the Checksum request
    bool offerCompactList = true;              // false: behave as a server from before compact listings
    bool offerListDelta = true;                // false: send whole listings only, keep none
    bool offerFileContext = true;              // false: compress each block of a file on its own
    bool offerLeanBatch = true;                // false: behave as a server from before PutNext
    bool offerResume = true;                   // false: behave as a server from before kept partials
    uint8_t protocol = link::kProtocolVersion; // highest version offered in the HelloAck
    bool offerSpace = true;                    // false: behave as a server from before the Space request
    bool offerDeleteMany = true;               // false: behave as a server from before DeleteMany
    uint64_t capacity = 0; // above 0: pretend the folder's disk holds only this many bytes
    bool offerHash = true; // false: check transfers with CRC-32 alone, as a server from before the hash
    // The palmtop's identity for the HelloAck; none: behave as a palmtop from before identities.
    std::optional<std::array<uint8_t, link::kIdentitySize>> identity;
    // Capabilities that may be offered at all: bits 0-7 those of byte 1 of
    // the hello record, bits 8-15 those of byte 10. A clear bit withholds it.
    uint16_t caps = 0xFFFF;
};

class DeviceServer
{
public:
    DeviceServer(const DeviceFolder &folder, link::ByteStream &stream, ServerOptions options);
    ~DeviceServer();
    DeviceServer(const DeviceServer &) = delete;
    DeviceServer &operator=(const DeviceServer &) = delete;

    // Serves until quit is set or the stream breaks; false when it broke.
    bool serve(const std::atomic<bool> &quit);
    // One round of work lasting at most maxWaitMs; false once the stream broke.
    bool step(int maxWaitMs);

    bool inSession() const { return m_channel.active(); }

private:
    // The file a PutOpen started, until its stream ends.
    struct Incoming {
        uint16_t id = 0;
        std::string name;
        bool overwrite = false;
        bool hasTime = false;
        int64_t mtimeMs = 0;
        link::Clock::time_point lastData;
        link::IncomingFile stream;
        sys::UniqueFd fd;
        std::string temporary; // removed unless the stream completes
        // A resumable file is written into its partial instead, which stays
        // when the transfer stops early; it waits for PutFrom before data.
        std::unique_ptr<link::PartialFile> partial;
        bool awaitingFrom = false;
        uint64_t offered = 0;
    };

    // A request that reads a whole file, or the first bytes a GetFrom names,
    // before it is answered: read in slices between the other work, so
    // that requests that read nothing are answered meanwhile.
    struct Digesting {
        link::Message request;                      // Checksum, Hash or GetFrom
        sys::UniqueFd fd;                           // Checksum, Hash
        link::WireEntry entry;                      // Checksum, Hash
        std::unique_ptr<link::OutgoingFile> file;   // GetFrom: the file, sent once checked
        link::Message open;                         // GetFrom: its GetOpenFrom
        std::unique_ptr<link::PartialFile> partial; // resumable PutOpen: the kept part to offer
        std::unique_ptr<SlicedDigest> digest;
        link::Clock::time_point lastNote;
    };

    void handleControl(const link::Frame &frame);
    void handleHello(const link::Frame &frame);
    void dispatch(const link::Message &msg);
    void processQueue();
    void process(const link::Message &msg);
    void handleList(const link::Message &msg);
    void sendListing(uint16_t id, link::MsgType type, const std::vector<std::vector<uint8_t>> &blocks);
    // Sends only the changes since the listing the client named, when that is
    // the one kept and they take fewer bytes than the whole; false otherwise.
    bool sendChanges(uint16_t id, uint64_t since, const std::vector<link::WireEntry> &entries,
                     const std::vector<std::vector<uint8_t>> &whole);
    void keepListing(std::vector<std::vector<uint8_t>> blocks, uint64_t token, size_t count);
    void forgetListing();
    void handlePutOpen(const link::Message &msg);
    void handlePart(const link::DataPart &part);
    // Resumable puts and gets (kCapResume).
    bool resumeAllowed(const link::Message &msg) const;
    void openResumable(const link::Message &msg);
    // Offers what `partial` holds once taken up; a new partial when it is not open.
    void offerPartial(const link::Message &msg, std::unique_ptr<link::PartialFile> partial);
    void handlePutFrom(const link::Message &msg);
    int incomingFd() const { return m_in->partial ? m_in->partial->fd() : m_in->fd.get(); }
    void finishIncoming(link::WireStatus status);
    void handleGet(const link::Message &msg);
    // Sends the open of a file to get and queues the rest of it.
    void sendOpen(uint16_t id, std::unique_ptr<link::OutgoingFile> file, link::Message &open);
    void startDigest(const link::Message &msg);
    // Reads on in the request being digested; answers it once done.
    void digestSome();
    void finishDigest();
    // Requests that read no file and change nothing may pass one being digested.
    static bool passesDigest(link::MsgType type);
    void handleSpace(const link::Message &msg);
    void pumpGet();
    void reply(uint16_t id, link::WireStatus status);
    void abortIncoming();
    void abortOutgoing();
    void dropSession(const char *why);
    void clearQueue();
    void checkTimeouts();
    // Smaller while the line damages frames: see Channel::dataPayload.
    size_t maxPartData() const { return m_channel.dataPayload() - 8; }
    bool fileContext() const { return m_codec == link::Codec::Zstd && (m_caps & link::kCapZstdContext); }
    bool hashed() const { return (m_moreCaps & link::kMoreCapHash) != 0; }
    void log(const std::string &line) const;

    const DeviceFolder &m_folder;
    DevicePartials m_partials;
    ServerOptions m_options;
    link::Channel m_channel;
    uint32_t m_nonce = 0;
    link::Codec m_codec = link::Codec::None;
    uint8_t m_protocol = 1; // the session's: the lower of ours and the client's
    uint8_t m_caps = 0;     // the session's: what both sides offered
    uint8_t m_moreCaps = 0; // the same of the Hello record's byte 10
    FolderSpace m_space;
    link::OpenChain m_opens; // the session's opens so far, for PutNext
    // The last listing sent in the session, in its compact blocks (about 15
    // bytes an entry) and named by its token, for a refresh to send only
    // changes against. One per session; none past the client's limits.
    std::vector<std::vector<uint8_t>> m_keptBlocks;
    uint64_t m_keptToken = 0;
    std::deque<link::Message> m_queue;
    size_t m_queuedBytes = 0;
    std::optional<Incoming> m_in;
    std::unique_ptr<link::OutgoingFile> m_out;
    std::optional<Digesting> m_digesting;
    link::Clock::time_point m_lastReset;
};

} // namespace vexo::deviced
