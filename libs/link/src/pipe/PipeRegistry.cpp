#include "PipeRegistry.h"

namespace vexo::link
{

PipeRegistry &PipeRegistry::instance()
{
    static PipeRegistry registry;
    return registry;
}

int PipeRegistry::add(std::shared_ptr<Pipe> pipe)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int handle = m_next++;
    if (m_next <= 0)
        m_next = 1;
    m_pipes[handle] = std::move(pipe);
    return handle;
}

std::shared_ptr<Pipe> PipeRegistry::find(int handle) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_pipes.find(handle);
    return it == m_pipes.end() ? nullptr : it->second;
}

bool PipeRegistry::remove(int handle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pipes.erase(handle) > 0;
}

int PipeRegistry::openPipe(int handle) const
{
    const auto p = find(handle);
    return p && p->open() ? 0 : -1;
}

int PipeRegistry::closePipe(int handle) const
{
    const auto p = find(handle);
    if (!p)
        return -1;
    p->close();
    return 0;
}

int PipeRegistry::releasePipe(int handle)
{
    const auto p = find(handle);
    if (!p)
        return -1;
    p->close();
    remove(handle);
    return 0;
}

} // namespace vexo::link
