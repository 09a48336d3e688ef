// The first part of vexo check-device, on a channel of its own: the Hello
// exchange and its fields, a damaged frame, bad names, acknowledgements and
// Close, each a row of the table.
#pragma once

#include "ByteStream.h"
#include "CheckTable.h"
#include "Hello.h"

#include <array>
#include <cstdint>

namespace vexo::cli
{

class HelloCheck
{
public:
    HelloCheck(link::ByteStream &stream, int timeoutMs, CheckTable &table);

    // False when no session can follow: no HelloAck, another record format,
    // a higher version, or a message size or window outside their ranges.
    bool run();

    // The HelloAck's bytes 1 and 10, and its identity (with kMoreCapIdentity).
    uint8_t caps() const { return m_caps; }
    uint8_t moreCaps() const { return m_moreCaps; }
    const std::array<uint8_t, link::kIdentitySize> &identity() const { return m_identity; }

private:
    link::ByteStream &m_stream;
    int m_timeoutMs;
    CheckTable &m_table;
    uint8_t m_caps = 0;
    uint8_t m_moreCaps = 0;
    std::array<uint8_t, link::kIdentitySize> m_identity{};
};

} // namespace vexo::cli
