#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace vexo::cli
{

// A one-line text progress bar on stderr, drawn only when stderr is a terminal.
class ProgressBar
{
public:
    ProgressBar();
    void update(const std::string &label, uint64_t done, uint64_t total);
    void finish();

private:
    bool m_enabled;
    bool m_drawn = false;
    std::chrono::steady_clock::time_point m_last;
    std::chrono::steady_clock::time_point m_start;
};

} // namespace vexo::cli
