// The file-service client behind the C API, also used directly by the
// command-line client for pipelined batches.
#pragma once

#include "BlockCodec.h"
#include "Channel.h"
#include "Hello.h"
#include "LinkError.h"
#include "ListingCodec.h"
#include "Message.h"
#include "OpenChain.h"
#include "OutgoingFile.h"
#include "Pipe.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vexo::link
{

struct DeviceEntry {
    std::string name; // CP936 bytes
    uint64_t size = 0;
    int64_t mtimeMs = 0; // ms since 1970-01-01 UTC
};

struct TransferItem {
    std::string source;      // send: local path; receive: device name
    std::string destination; // send: device name; receive: local path
    bool overwrite = true;
};

struct TransferControl {
    int *progress = nullptr;   // kept at the percentage of the current file
    const int *stop = nullptr; // non-zero abandons the current file and the rest
    // Called as data moves: item index, bytes done, bytes in the file.
    std::function<void(size_t, uint64_t, uint64_t)> onProgress;
};

class FileClient
{
public:
    explicit FileClient(std::shared_ptr<Pipe> pipe);
    ~FileClient();
    FileClient(const FileClient &) = delete;
    FileClient &operator=(const FileClient &) = delete;

    // Serialises callers of the C API.
    std::mutex &callMutex() { return m_callMutex; }

    void setTimeout(int ms);
    int timeout() const { return m_timeoutMs; }
    // On by default: a transfer that stopped early keeps its partial file on
    // the receiving side, and the next transfer of the same file continues it.
    // Off: every transfer starts from the first byte.
    void setResume(bool on) { m_resume = on; }
    // Capabilities left out of the next Hello (kCap* bits of byte 1, kMoreCap*
    // bits of byte 10), so that a tool can try the paths a device keeps for
    // older clients. None by default. protocol: the version the Hello offers
    // (1 or kProtocolVersion).
    void withhold(uint8_t caps, uint8_t moreCaps, uint8_t protocol = kProtocolVersion)
    {
        m_withheldCaps = caps;
        m_withheldMoreCaps = moreCaps;
        m_offeredProtocol = protocol;
    }

    LinkError connect();
    LinkError close();
    LinkError lookup(const std::string &name, DeviceEntry *entry = nullptr);
    // CRC-32 of a device file, computed by the device; Unsupported (nothing
    // sent) when the session's server does not offer it.
    LinkError checksum(const std::string &name, uint32_t &crc, DeviceEntry *entry = nullptr);
    // BLAKE2b hash of a device file, computed by the device; Unsupported
    // (nothing sent) when the session's server does not offer it.
    LinkError fileHash(const std::string &name, Hash &hash, DeviceEntry *entry = nullptr);
    // The identity of the palmtop this client is pinned to (see reconnect);
    // Unsupported when it offers none.
    LinkError deviceIdentity(std::array<uint8_t, kIdentitySize> &identity);
    // Says Hello again after a lost session, as the calls do by themselves:
    // OtherDevice (nothing sent to it) when another palmtop than the one
    // connect() met answers. connect() starts over with whichever answers.
    LinkError reconnect();
    // Free and total bytes of the device's storage; Unsupported (nothing
    // sent) when the session's server does not offer the request.
    LinkError freeSpace(uint64_t &freeBytes, uint64_t &totalBytes);
    // After a send failed with DeviceIo: whether the device lacks the room
    // for that local file, which is then the better reason. False whenever
    // it cannot tell (an older server, a lost session).
    bool lacksSpaceFor(const std::string &localPath);
    LinkError remove(const std::string &name);
    // Deletes many files, several requests in flight, many names to a
    // request where the server takes DeleteMany. One result per name; once
    // *stop is non-zero no further name is sent (those are Stopped) and the
    // answers already asked for are awaited. Returns Ok once it ran, or the
    // error when no session could be had (every result is then that error).
    LinkError removeMany(const std::vector<std::string> &names, std::vector<LinkError> &results,
                         const int *stop);
    LinkError rename(const std::string &from, const std::string &to);
    // Entries whose names the protocol forbids (section 5 of PROTOCOL.md) are
    // left out of `entries` and counted in *refused.
    LinkError list(const std::string &pattern, std::vector<DeviceEntry> &entries, size_t *refused = nullptr);
    // Transfers the items in order, keeping the line busy across file
    // boundaries. Returns one result per item.
    std::vector<LinkError> send(const std::vector<TransferItem> &items, const TransferControl &control);
    std::vector<LinkError> receive(const std::vector<TransferItem> &items, const TransferControl &control);

    // The last call lost its session (the line went quiet or away): the
    // next call says Hello again.
    bool sessionLost() const { return m_state != State::Connected || !m_channel || m_channel->failed(); }

    ChannelStats stats() const;
    // Gives up the session after a call was abandoned midway (out of memory);
    // the next call says Hello again.
    void abandon();

private:
    enum class State { Closed, Connected, Lost };
    struct Batch;
    struct Sends;
    struct Incoming;

    LinkError attach();
    // pinned: the palmtop must be the one connect() met, if that one had an identity.
    LinkError hello(bool pinned);
    LinkError ensureSession();
    LinkError lose(LinkError error);
    // Runs the link for up to maxWaitMs; `got` tells whether msg holds a
    // message. Fails once the request has made no progress for the time-out:
    // counted from `since` (the caller's last useful message) or from the last
    // acknowledgement of our own frames, whichever is later. Frames that
    // carry nothing new do not hold the time-out off.
    LinkError next(Message &msg, bool &got, Clock::time_point since, int maxWaitMs);
    // Sends a request and waits for its Result; readOnly requests are asked
    // once more in a new session when the device reset ours.
    LinkError request(Message req, Message &resp, bool readOnly);
    // Lookup or Checksum: a question about one file that changes nothing
    // (Checksum only to a server that offers it).
    LinkError askAboutFile(MsgType type, const std::string &given, Message &resp, DeviceEntry *entry);
    // removeMany over a server that takes one name per Delete.
    void removeOneByOne(const std::vector<std::string> &names, std::vector<LinkError> &results,
                        const int *stop);
    LinkError listOnce(const std::string &pattern, std::vector<DeviceEntry> &entries, size_t &refused);
    // The entries of a complete listing that the caller may see.
    static void handOn(const std::vector<WireEntry> &listed, std::vector<DeviceEntry> &entries,
                       size_t &refused);
    uint16_t nextId() { return ++m_lastId; }
    bool fileContext() const { return m_codec == Codec::Zstd && (m_peerCaps & kCapZstdContext); }
    bool hashed() const { return (m_peerMoreCaps & kMoreCapHash) != 0; }

    using BatchRun = void (FileClient::*)(const std::vector<TransferItem> &, const TransferControl &,
                                          Batch &);
    // A send or receive call: a session, then `run` over the items.
    std::vector<LinkError> runBatch(const std::vector<TransferItem> &items, const TransferControl &control,
                                    BatchRun run);
    void sendAll(const std::vector<TransferItem> &items, const TransferControl &control, Batch &batch);
    // Opens and submits files while the window has room.
    void fillSendWindow(const std::vector<TransferItem> &items, const TransferControl &control, Batch &batch,
                        Sends &sends);
    void takeSendResult(const Message &msg, const TransferControl &control, Batch &batch, Sends &sends);
    void receiveAll(const std::vector<TransferItem> &items, const TransferControl &control, Batch &batch);
    uint16_t sendAbort();
    // Starts the stop handshake once the caller asks; true when it just began.
    bool stopIfAsked(Batch &batch, const TransferControl &control, bool dropUnsent);
    // Sends the PutOpen of an item; null (and the error) when it cannot go.
    std::unique_ptr<OutgoingFile> openNextSend(const TransferItem &item, OpenChain &chain, LinkError &error);
    bool requestNextGet(const TransferItem &item, size_t index, Batch &batch,
                        std::deque<Incoming> &requested);
    // Handles a message of a requested file; true once the file is done with.
    bool takeIncoming(Incoming &in, const Message &msg, Batch &batch, const TransferControl &control,
                      bool single);
    void openIncoming(Incoming &in, const Message &open);
    LinkError finishIncoming(Incoming &in);
    // Whether a file of this size is sent or received through a kept partial.
    bool resumable(uint64_t size) const;
    // The device's answer to a resumable PutOpen: where the file continues.
    void takeResumeOffer(const Message &msg, Batch &batch, Sends &sends);
    // A Get that continues the partial kept beside the destination, if any.
    void askToContinue(const std::string &name, Incoming &in, Message &get);
    bool continueIncoming(Incoming &in, const Message &open);

    std::mutex m_callMutex;
    std::shared_ptr<Pipe> m_pipe;
    std::shared_ptr<ByteStream> m_stream;
    std::unique_ptr<Channel> m_channel;
    State m_state = State::Closed;
    int m_timeoutMs = 3000;
    uint16_t m_lastId;
    uint8_t m_lastTag = 0;
    bool m_resetSeen = false;
    bool m_resume = true;
    uint8_t m_withheldCaps = 0;
    uint8_t m_withheldMoreCaps = 0;
    uint8_t m_offeredProtocol = kProtocolVersion;
    Codec m_codec = Codec::None;
    uint8_t m_protocol = 1;     // the session's, from the HelloAck
    uint8_t m_peerCaps = 0;     // capabilities of the session's HelloAck
    uint8_t m_peerMoreCaps = 0; // its byte 10 (kMoreCap*), 0 from an older server
    // The identity of the palmtop connect() met; none from an older one,
    // which is then not told apart from another (as before identities).
    std::optional<std::array<uint8_t, kIdentitySize>> m_pinned;
    // The last complete compact listing and the token its Result named: a
    // List of the same pattern sends the token, and a device whose folder
    // has not changed answers with that Result alone, one that still has the
    // listing with the changes since. Kept as sent, so that changes apply.
    struct HeldListing {
        std::string pattern;
        uint64_t token = 0;
        std::vector<WireEntry> entries;
    };
    HeldListing m_held;
};

} // namespace vexo::link
