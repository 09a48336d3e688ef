#pragma once

#include <cstdint>
#include <vector>

namespace vexo::test
{

// A pulled cable: once `atByte` bytes have entered the line (both directions
// together), nothing passes either way for `seconds`; then it is back.
struct CablePull {
    uint64_t atByte = 0;
    double seconds = 0;
};

// How the simulated serial line behaves. Every setting applies to each
// direction on its own.
struct LinkSimOptions {
    // Line rate in bytes per second each way (115,200 baud 8N1 = 11,520 B/s);
    // 0 relays as fast as the pseudo-terminals allow.
    double bytesPerSecond = 11520;
    // Delay added to every byte after it has crossed the line, in milliseconds
    // (one way; a round trip costs twice this). 0 = none.
    int latencyMs = 0;
    // Probability, per byte, that one random bit of it is inverted (0..1).
    double bitFlipPerByte = 0;
    // Probability, per byte, that it is lost (0..1). A lost byte still takes
    // its time on the line.
    double dropPerByte = 0;
    // Seed of the fault generator: the same bytes sent with the same seed meet
    // the same faults, whatever the timing.
    uint32_t seed = 1;
    // Pulls in the order they happen (atByte ascending).
    std::vector<CablePull> pulls;
    // Every n-th frame of the device link is lost whole, or has its check
    // damaged (0 = never); see FrameFaults.
    unsigned frameDropEvery = 0;
    unsigned frameDamageEvery = 0;
};

// What happened to the bytes of one direction so far.
struct LinkSimCounters {
    uint64_t received = 0;  // bytes taken from the sending end
    uint64_t delivered = 0; // bytes handed to the receiving end (flipped ones included)
    uint64_t flipped = 0;   // delivered bytes that had one bit inverted
    uint64_t dropped = 0;   // bytes lost to random drops
    uint64_t cut = 0;       // bytes lost while the cable was cut
};

} // namespace vexo::test
