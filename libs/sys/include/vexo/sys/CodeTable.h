#pragma once

#include <cstddef>

namespace vexo::sys
{

// One row of a fixed mapping from an enumeration's values to something else:
// a text for people, or another code.
template <typename From, typename To> struct CodeEntry {
    From from;
    To to;
};

// Every code-to-text and code-to-code mapping is a table looked up here, so
// adding a value means adding one row, and an unlisted value gets `fallback`.
template <typename From, typename To, size_t N>
constexpr To lookup(const CodeEntry<From, To> (&table)[N], From from, To fallback)
{
    for (const auto &entry : table)
        if (entry.from == from)
            return entry.to;
    return fallback;
}

} // namespace vexo::sys
