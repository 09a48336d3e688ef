// The compact form of listing blocks, spoken when both sides set
// kCapCompactList: columns instead of whole entries, names coded against the
// name before them, times as steps from the time before them. A listing comes
// sorted by name, so neighbours share long prefixes, and files copied
// together sit together with close times; what is left compresses far better
// than entries one after another.
#pragma once

#include "Message.h"

#include <cstdint>
#include <vector>

namespace vexo::link
{

// Cuts a listing into compact blocks of at most kMaxBlockSize bytes each; an
// empty listing is one empty block.
std::vector<std::vector<uint8_t>> encodeCompactListing(const std::vector<WireEntry> &entries);
// Appends the entries of one compact block; false when it is malformed (and
// then appends nothing).
bool decodeCompactBlock(const std::vector<uint8_t> &block, std::vector<WireEntry> &entries);

// Names the content of a listing: equal entries give equal tokens, and any
// change (a name, a size, a time, an entry more or less) another one. Never 0.
uint64_t listingToken(const std::vector<WireEntry> &entries);

} // namespace vexo::link
