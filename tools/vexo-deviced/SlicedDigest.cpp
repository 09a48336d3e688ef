#include "SlicedDigest.h"

#include <algorithm>

namespace vexo::deviced
{

bool SlicedDigest::step(std::chrono::milliseconds budget)
{
    // A slice small enough to keep a slow palmtop's answers flowing.
    constexpr uint64_t kSlice = 1 << 20;
    const auto until = std::chrono::steady_clock::now() + budget;
    while (!m_failed && m_digest.length() < m_total) {
        m_failed = !m_digest.addFrom(m_fd, std::min(kSlice, m_total - m_digest.length()));
        if (std::chrono::steady_clock::now() >= until)
            break;
    }
    return m_failed || m_digest.length() == m_total;
}

} // namespace vexo::deviced
