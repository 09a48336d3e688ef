#include "ListingDelta.h"

namespace vexo::link
{

std::vector<ListingChange> ListingDelta::between(const std::vector<WireEntry> &from,
                                                 const std::vector<WireEntry> &to)
{
    std::vector<ListingChange> changes;
    size_t i = 0, j = 0;
    while (i < from.size() || j < to.size()) {
        if (j == to.size() || (i < from.size() && from[i].name < to[j].name)) {
            changes.push_back(ListingChange{WireEntry{from[i++].name, 0, 0}, true});
        } else if (i == from.size() || to[j].name < from[i].name) {
            changes.push_back(ListingChange{to[j++], false});
        } else {
            if (from[i].size != to[j].size || from[i].mtimeMs != to[j].mtimeMs)
                changes.push_back(ListingChange{to[j], false});
            ++i;
            ++j;
        }
    }
    return changes;
}

bool ListingDelta::strictlySorted(const std::vector<WireEntry> &entries)
{
    for (size_t i = 1; i < entries.size(); ++i)
        if (!(entries[i - 1].name < entries[i].name))
            return false;
    return true;
}

ListingDelta::ListingDelta(const std::vector<WireEntry> &held, size_t &budget)
    : m_held(held), m_budget(budget)
{
}

bool ListingDelta::keep(WireEntry entry)
{
    const size_t cost = sizeof(WireEntry) + entry.name.size();
    if (m_out.size() == kMaxListEntries || cost > m_budget)
        return false;
    m_budget -= cost;
    m_out.push_back(std::move(entry));
    return true;
}

bool ListingDelta::takeHeldBefore(const std::string &name)
{
    for (; m_next < m_held.size() && m_held[m_next].name < name; ++m_next)
        if (!keep(m_held[m_next]))
            return false;
    return true;
}

bool ListingDelta::apply(const std::vector<uint8_t> &block)
{
    std::vector<ListingChange> changes;
    if (!decodeChangeBlock(block, changes))
        return false;
    for (auto &c : changes) {
        // Names never repeat, so a server cannot make us merge an entry twice.
        if (!m_last.empty() && !(m_last < c.entry.name))
            return false;
        m_last = c.entry.name;
        if (!takeHeldBefore(c.entry.name))
            return false;
        const bool held = m_next < m_held.size() && m_held[m_next].name == c.entry.name;
        if (c.removed && !held)
            return false;
        if (held)
            ++m_next;
        if (!c.removed && !keep(std::move(c.entry)))
            return false;
    }
    return true;
}

bool ListingDelta::finish(std::vector<WireEntry> &listing)
{
    for (; m_next < m_held.size(); ++m_next)
        if (!keep(m_held[m_next]))
            return false;
    listing = std::move(m_out);
    m_out.clear();
    return true;
}

} // namespace vexo::link
