#include "transfer/WorkerState.h"

namespace vexo
{

std::atomic<int> WorkerState{0};

} // namespace vexo
