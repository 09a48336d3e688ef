#pragma once

namespace vexo
{

// The direction of one device run: every pair of the run goes the same way.
enum TransferDirection {
    tdSend = 0,    // PC to device: sources are local paths, destinations bare device names
    tdReceive = 1, // device to PC: sources are device names, destinations local paths
};

} // namespace vexo
