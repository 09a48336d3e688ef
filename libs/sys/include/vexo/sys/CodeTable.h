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

// A code-to-code mapping is a table looked up here, so adding a value means
// adding one row, and an unlisted value gets `fallback`.
template <typename From, typename To, size_t N>
constexpr To lookup(const CodeEntry<From, To> (&table)[N], From from, To fallback)
{
    for (const auto &entry : table)
        if (entry.from == from)
            return entry.to;
    return fallback;
}

// The texts of an enumeration whose values count up from 0 to `Last` without
// gaps, listed in the order the values are declared; the list must have
// exactly one text per value. A value past the end (a code that came off the
// wire, say) gets `fallback`.
template <auto Last, size_t N>
constexpr const char *textOf(const char *const (&texts)[N], decltype(Last) value, const char *fallback)
{
    static_assert(N == static_cast<size_t>(Last) + 1, "one text for each value");
    const auto at = static_cast<size_t>(value);
    return at < N ? texts[at] : fallback;
}

} // namespace vexo::sys
