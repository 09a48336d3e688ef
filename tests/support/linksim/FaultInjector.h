#pragma once

#include <cstdint>

namespace vexo::test
{

// Decides, byte by byte, whether the line damages or loses it. The decisions
// depend only on the seed and on how many bytes came before, never on timing,
// so a run with the same seed and the same bytes meets the same faults.
class FaultInjector
{
public:
    enum class Fate { Intact, Flipped, Dropped };

    // Probabilities per byte (0..1, clamped); a drop is decided before a flip.
    FaultInjector(double flipPerByte, double dropPerByte, uint64_t seed);

    // Applies the fate of the next byte: Flipped means one bit of `byte` was
    // inverted, Dropped means the byte must not be delivered.
    Fate apply(uint8_t &byte);

    bool active() const { return m_flip > 0 || m_drop > 0; }

private:
    uint64_t next();
    double nextUnit();

    double m_flip;
    double m_drop;
    uint64_t m_state;
};

} // namespace vexo::test
