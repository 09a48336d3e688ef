// A refresh of a listing as the changes since the one the client holds: the
// server works them out, the client merges them into its copy. Both listings
// are sorted by name bytes and so are the changes, across all their blocks,
// so the merge runs as the blocks arrive and only the new listing grows.
#pragma once

#include "ListingCodec.h"

#include <cstddef>
#include <string>
#include <vector>

namespace vexo::link
{

class ListingDelta
{
public:
    // The changes that turn `from` into `to`: names gone, entries new or
    // different. Both must be strictly sorted by name bytes.
    static std::vector<ListingChange> between(const std::vector<WireEntry> &from,
                                              const std::vector<WireEntry> &to);
    // Whether names increase strictly, as a delta needs on both sides.
    static bool strictlySorted(const std::vector<WireEntry> &entries);

    // Merges into a copy of `held`, which must outlive this. Each entry of the
    // new listing is charged its size against `budget`.
    ListingDelta(const std::vector<WireEntry> &held, size_t &budget);

    // Applies one block of changes; false when it is malformed (a name out of
    // order, a removed name that is not held) or the new listing would pass
    // kMaxListEntries or the budget.
    bool apply(const std::vector<uint8_t> &block);
    // Takes over the rest of the held listing; false past the same limits.
    bool finish(std::vector<WireEntry> &listing);

private:
    bool keep(WireEntry entry);
    bool takeHeldBefore(const std::string &name);

    const std::vector<WireEntry> &m_held;
    size_t &m_budget;
    size_t m_next = 0; // first held entry not merged yet
    std::vector<WireEntry> m_out;
    std::string m_last; // name of the previous change, "" before the first
};

} // namespace vexo::link
