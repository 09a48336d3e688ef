#include "OpenChain.h"

#include <algorithm>

namespace vexo::link
{

namespace
{
// Four bits each on the wire.
constexpr size_t kMaxShared = 15;

// Wrapping arithmetic, so that any two times have a difference that restores them.
int64_t minus(int64_t a, int64_t b)
{
    return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
}

int64_t plus(int64_t a, int64_t b)
{
    return static_cast<int64_t>(static_cast<uint64_t>(a) + static_cast<uint64_t>(b));
}
} // namespace

void OpenChain::remember(const Message &open)
{
    m_known = true;
    m_id = open.id;
    m_name = open.name;
    m_mtimeMs = open.hasTime ? open.mtimeMs : 0;
}

void OpenChain::shorten(Message &open)
{
    const Message full = open;
    // The whole file in one part, checked by its frame alone.
    const bool whole = open.hasPart && (open.part.flags & kPartEndOfStream) &&
                       !(open.part.flags & kPartStreamCrc) && !(open.part.flags & kPartContext);
    if (m_known && whole && open.id == static_cast<uint16_t>(m_id + 1)) {
        const std::string &name = open.name;
        const size_t limit = std::min(name.size(), m_name.size());
        size_t head = 0;
        while (head < std::min(limit, kMaxShared) && name[head] == m_name[head])
            ++head;
        size_t tail = 0;
        while (tail < std::min(limit - head, kMaxShared) &&
               name[name.size() - 1 - tail] == m_name[m_name.size() - 1 - tail])
            ++tail;
        open.type = MsgType::PutNext;
        open.sharedHead = static_cast<uint8_t>(head);
        open.sharedTail = static_cast<uint8_t>(tail);
        open.name = name.substr(head, name.size() - head - tail);
        if (open.hasTime)
            open.mtimeMs = minus(open.mtimeMs, m_mtimeMs);
    }
    remember(full);
}

bool OpenChain::expand(Message &message)
{
    if (message.type == MsgType::PutNext) {
        if (!m_known || size_t{message.sharedHead} + message.sharedTail > m_name.size())
            return false;
        message.type = MsgType::PutOpen;
        message.id = static_cast<uint16_t>(m_id + 1);
        message.name = m_name.substr(0, message.sharedHead) + message.name +
                       m_name.substr(m_name.size() - message.sharedTail);
        if (message.hasTime)
            message.mtimeMs = plus(message.mtimeMs, m_mtimeMs);
        message.sharedHead = message.sharedTail = 0;
    }
    if (message.type == MsgType::PutOpen)
        remember(message);
    return true;
}

} // namespace vexo::link
