// The C APIs answer with integers, never with exceptions: whatever is thrown
// inside (memory running out) becomes the call's failure value.
#pragma once

namespace vexo::link
{

template <typename Fn> int noThrow(int failure, Fn fn) noexcept
{
    try {
        return fn();
    } catch (...) {
        return failure;
    }
}

} // namespace vexo::link
