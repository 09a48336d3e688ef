#pragma once

#include "Pipe.h"

#include <map>
#include <memory>
#include <mutex>

namespace vexo::link
{

// Hands out the integer handles of the pipe C API. Handles of serial and USB
// pipes come from one counter, so a handle names exactly one pipe.
class PipeRegistry
{
public:
    static PipeRegistry &instance();

    int add(std::shared_ptr<Pipe> pipe);
    std::shared_ptr<Pipe> find(int handle) const;
    bool remove(int handle);

    // The results of the C API's Open, Close and UnInit calls, shared by the
    // serial and the USB pipe: 0, or -1 for an unknown handle (or, for open,
    // a node that cannot be opened now).
    int openPipe(int handle) const;
    int closePipe(int handle) const;
    int releasePipe(int handle);

private:
    mutable std::mutex m_mutex;
    std::map<int, std::shared_ptr<Pipe>> m_pipes;
    int m_next = 1;
};

} // namespace vexo::link
