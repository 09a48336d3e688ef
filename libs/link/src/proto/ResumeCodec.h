// The messages that continue a file from the part a receiver kept after an
// interrupted transfer, instead of sending all of it again.
#pragma once

#include "Message.h"

#include <cstdint>

namespace vexo::link
{

class ByteReader;
class ByteWriter;

// Capability bit: kept partial files, the PutOpen resumable flag and the
// messages below. A peer without it gets whole transfers, as before.
constexpr uint8_t kCapResume = 0x80;

// Writes the fields after the id of GetFrom, PutFrom and ResumeOffer;
// nothing for other types. GetOpenFrom is a GetOpen with an offset.
void encodeResumeFields(ByteWriter &w, const Message &m);
// Reads them; false for another type or a malformed message.
bool decodeResumeFields(ByteReader &r, Message &m);

} // namespace vexo::link
