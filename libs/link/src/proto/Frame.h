// One frame on the line; see PROTOCOL.md for the byte layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexo::link
{

enum class FrameType : uint8_t {
    Hello = 1,
    HelloAck = 2,
    Data = 3,
    Ack = 4,
    Nak = 5,
    Close = 6,
    CloseAck = 7,
    Reset = 8,
};

constexpr uint8_t kFrameMagic = 0xA7;
constexpr size_t kFrameHeaderSize = 9;
constexpr size_t kFrameTrailerSize = 4;
constexpr size_t kFrameOverhead = kFrameHeaderSize + kFrameTrailerSize;
// Upper bound of any payload; a header announcing more is not a header.
constexpr size_t kMaxFramePayload = 8192;

bool isKnownFrameType(uint8_t type);

struct Frame {
    FrameType type = FrameType::Data;
    uint8_t tag = 0;  // session tag: frames of another session are ignored
    uint16_t seq = 0; // Data: sequence number; Ack: next expected; Nak: damaged one
    std::vector<uint8_t> payload;
};

// Appends the encoded frame to `out`. The payload must not exceed kMaxFramePayload.
void appendFrame(std::vector<uint8_t> &out, FrameType type, uint8_t tag, uint16_t seq, const uint8_t *payload,
                 size_t size);
std::vector<uint8_t> encodeFrame(const Frame &frame);

} // namespace vexo::link
