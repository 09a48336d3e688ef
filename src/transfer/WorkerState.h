#pragma once

#include <atomic>

namespace vexo
{

// -1: a progress window exists and its worker has not started; 1: a worker
// runs; 0: the worker has ended. Written by the window and the worker, read
// by the window on a close request.
extern std::atomic<int> WorkerState;

} // namespace vexo
