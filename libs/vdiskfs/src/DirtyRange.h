#pragma once

#include <algorithm>
#include <cstddef>

namespace vexo
{

// The byte range of an in-memory table that differs from the image: one
// span covering every change since the last write-back.
struct DirtyRange {
    size_t begin = 0;
    size_t end = 0;

    bool empty() const { return begin >= end; }
    size_t size() const { return empty() ? 0 : end - begin; }
    void add(size_t from, size_t to)
    {
        if (empty()) {
            begin = from;
            end = to;
            return;
        }
        begin = std::min(begin, from);
        end = std::max(end, to);
    }
    void clear() { begin = end = 0; }
};

} // namespace vexo
