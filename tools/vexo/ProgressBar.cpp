#include "ProgressBar.h"

#include <cstdio>
#include <unistd.h>

namespace vexo::cli
{

ProgressBar::ProgressBar() : m_enabled(isatty(STDERR_FILENO) == 1), m_start(std::chrono::steady_clock::now())
{
}

void ProgressBar::update(const std::string &label, uint64_t done, uint64_t total)
{
    if (!m_enabled)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (m_drawn && done < total && now - m_last < std::chrono::milliseconds(100))
        return;
    m_last = now;
    m_drawn = true;
    const int width = 30;
    const int pct = total == 0 ? 100 : static_cast<int>(done * 100 / total);
    const int fill = pct * width / 100;
    const double seconds = std::chrono::duration<double>(now - m_start).count();
    std::string bar(static_cast<size_t>(fill), '#');
    bar.resize(width, ' ');
    std::fprintf(stderr, "\r%-20.20s [%s] %3d%% %8.1f KB/s", label.c_str(), bar.c_str(), pct,
                 seconds > 0 ? static_cast<double>(done) / 1024.0 / seconds : 0.0);
    std::fflush(stderr);
}

void ProgressBar::finish()
{
    if (m_enabled && m_drawn)
        std::fputc('\n', stderr);
    m_drawn = false;
}

} // namespace vexo::cli
