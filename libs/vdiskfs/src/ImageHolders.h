#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vexo
{

// The other processes that have an image file open, read from /proc. Only
// processes whose descriptors we may read are seen; this process is left
// out.
class ImageHolders
{
public:
    // One byte far past any image: every opener that takes our locks holds
    // it shared while the image is open, so an opener without it is a
    // program that does not take them (the simulator).
    static constexpr uint64_t kOpenMarkByte = uint64_t(1) << 62;

    struct Holder {
        int pid = 0;
        std::string program; // the process's short name
        bool takesLocks = false;
        // The lock it holds on the image's contents, if any.
        bool reading = false;
        bool changing = false;
    };

    static std::vector<Holder> find(uint64_t device, uint64_t inode);
    // "PROGRAM (pid N)"
    static std::string name(const Holder &holder);
};

} // namespace vexo
