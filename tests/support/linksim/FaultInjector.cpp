#include "FaultInjector.h"

#include <algorithm>

namespace vexo::test
{

namespace
{
double clampProbability(double p)
{
    return p > 0 ? std::min(p, 1.0) : 0.0; // also turns NaN into 0
}
} // namespace

FaultInjector::FaultInjector(double flipPerByte, double dropPerByte, uint64_t seed)
    : m_flip(clampProbability(flipPerByte)), m_drop(clampProbability(dropPerByte)), m_state(seed)
{
}

// splitmix64: tiny, fast, well mixed, and the same on every platform and
// standard library (std:: distributions are not).
uint64_t FaultInjector::next()
{
    uint64_t z = (m_state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

double FaultInjector::nextUnit()
{
    return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); // [0, 1)
}

FaultInjector::Fate FaultInjector::apply(uint8_t &byte)
{
    if (m_drop > 0 && nextUnit() < m_drop) {
        return Fate::Dropped;
    }
    if (m_flip > 0) {
        const uint64_t draw = next();
        // The top 53 bits choose whether, the low 3 bits which bit.
        if (static_cast<double>(draw >> 11) * (1.0 / 9007199254740992.0) < m_flip) {
            byte = static_cast<uint8_t>(byte ^ (1u << (draw & 7u)));
            return Fate::Flipped;
        }
    }
    return Fate::Intact;
}

} // namespace vexo::test
