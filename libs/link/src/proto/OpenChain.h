// The opens of small files sent one after another, each coded against the one
// before it in the session: names that differ in a few characters and times
// milliseconds apart then cost a few bytes beside the file's data.
#pragma once

#include "Message.h"

#include <cstdint>
#include <string>

namespace vexo::link
{

// Capability bit: PutNext messages (OpenChain) and Acks whose empty bitmap
// is left out (ChannelConfig::shortAcks).
constexpr uint8_t kCapLeanBatch = 0x20;

class OpenChain
{
public:
    // Nothing to refer to: the next open goes whole. The sender calls it when
    // messages it counted on may not reach the peer (dropped before numbering).
    void reset() { m_known = false; }

    // Sender: makes a PutOpen that carries its whole file a PutNext when it
    // directly follows the open before; remembers the open either way.
    void shorten(Message &open);
    // Receiver, for every message in arrival order: remembers each PutOpen and
    // turns a PutNext back into the PutOpen it stands for. False for a PutNext
    // with nothing before it or shared counts longer than the name before.
    bool expand(Message &message);

private:
    void remember(const Message &open);

    bool m_known = false;
    uint16_t m_id = 0;
    std::string m_name;
    int64_t m_mtimeMs = 0; // 0 when the open carried no time
};

} // namespace vexo::link
