// A palmtop that breaks the protocol on purpose: it opens sessions like a
// device, then answers requests as its behaviour says, on a thread of its own.
#pragma once

#include "ByteStream.h"
#include "Message.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vexo::test
{

class HostileDevice
{
public:
    enum class Behaviour {
        EndlessListing,  // List: compressed blocks of valid entries that never end
        Listing,         // List: the given entries, names unchecked, in one stream
        ListingNoEnd,    // List: the given entries in a whole stream, then never the closing count
        FalseUnchanged,  // List: the given entries in compact form once, later "unchanged" with another token
        ForgedChanges,   // List: the given entries in compact form once, later the changes of forgeChanges()
        AckChatter,      // answers nothing; an Ack that acknowledges nothing new, again and again
        CloseAckChatter, // answers nothing; a CloseAck of the session, again and again
        ForeignHelloAck, // answers nothing; a HelloAck of another session, again and again
        ForeignReset,    // answers nothing; a Reset of another session, again and again
        DataAfterFailure, // Get: a 10-byte file, then file data that never ends
        EmptyListParts,   // List: list parts without a byte, again and again, never the end
        HigherVersion,    // HelloAck: a protocol version above the one the Hello offered
        TinyMessages,     // HelloAck: a largest message of 10 bytes
        StallingGet,      // Get: the open of a 100-byte file, then nothing; any other request: Ok
    };

    // chatterEvery: the pause between repeated frames. Everything stops after
    // `lifetime`, so a client that would wait for ever fails its test instead of hanging it.
    HostileDevice(std::shared_ptr<link::ByteStream> stream, Behaviour behaviour,
                  std::vector<link::WireEntry> entries = {},
                  std::chrono::milliseconds chatterEvery = std::chrono::milliseconds(500),
                  std::chrono::milliseconds lifetime = std::chrono::seconds(20));
    ~HostileDevice();
    HostileDevice(const HostileDevice &) = delete;
    HostileDevice &operator=(const HostileDevice &) = delete;

    // What ForgedChanges answers a List that names the listing sent: these
    // blocks of changes, then a Result with this count and token.
    void forgeChanges(std::vector<std::vector<uint8_t>> blocks, uint64_t count, uint64_t token);

    // Listing entries sent so far (EndlessListing).
    uint64_t entriesSent() const { return m_entriesSent.load(); }

private:
    void run();

    std::shared_ptr<link::ByteStream> m_stream;
    Behaviour m_behaviour;
    std::vector<link::WireEntry> m_entries;
    std::mutex m_forgedMutex;
    std::vector<std::vector<uint8_t>> m_forgedBlocks;
    uint64_t m_forgedCount = 0;
    uint64_t m_forgedToken = 0;
    std::chrono::milliseconds m_chatterEvery;
    std::chrono::milliseconds m_lifetime;
    std::atomic<bool> m_quit{false};
    std::atomic<uint64_t> m_entriesSent{0};
    std::thread m_thread;
};

} // namespace vexo::test
