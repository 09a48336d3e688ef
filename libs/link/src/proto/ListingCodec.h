// The compact form of listing blocks, spoken when both sides set
// kCapCompactList: columns instead of whole entries, names coded against the
// name before them, times as steps from the time before them. A listing comes
// sorted by name, so neighbours share long prefixes, and files copied
// together sit together with close times; what is left compresses far better
// than entries one after another.
#pragma once

#include "Message.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexo::link
{

// Most a listing may hold; a device that sends more fails the listing with
// TooLarge. Far above what a palmtop's flat folder holds.
constexpr size_t kMaxListEntries = 65536;
// Budget for one listing's bytes: restored entries plus each part's data and
// a 64-byte charge per part, so that empty parts cannot go on for ever.
constexpr size_t kMaxListBytes = 8u << 20;

// One step from a listing to a newer one: an entry added or replaced, or a
// name that is gone (removed: only the name counts).
struct ListingChange {
    WireEntry entry;
    bool removed = false;
};

// Cuts a listing into compact blocks of at most kMaxBlockSize bytes each; an
// empty listing is one empty block.
std::vector<std::vector<uint8_t>> encodeCompactListing(const std::vector<WireEntry> &entries);
// Appends the entries of one compact block; false when it is malformed (and
// then appends nothing).
bool decodeCompactBlock(const std::vector<uint8_t> &block, std::vector<WireEntry> &entries);

// The same columns for changes, with one more: a bitmap of the removed names,
// which have no size or time. Decoding replaces `changes`.
std::vector<std::vector<uint8_t>> encodeChangeBlocks(const std::vector<ListingChange> &changes);
bool decodeChangeBlock(const std::vector<uint8_t> &block, std::vector<ListingChange> &changes);

// Names the content of a listing: equal entries give equal tokens, and any
// change (a name, a size, a time, an entry more or less) another one. Never 0.
uint64_t listingToken(const std::vector<WireEntry> &entries);

} // namespace vexo::link
