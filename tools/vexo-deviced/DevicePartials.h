// Partial files the device keeps for transfers that stopped early, one per
// device name, under hidden names of its folder that are never listed nor
// addressable. They survive a restart of the server; stale ones go.
#pragma once

#include <cstdint>
#include <string>

namespace vexo::deviced
{

class DevicePartials
{
public:
    explicit DevicePartials(std::string root);

    // A name of ours (UTF-8 file name in the folder).
    static bool isPartialName(const std::string &name);
    // Where the partial of a device name lives.
    std::string pathFor(const std::string &wireName) const;
    // Removes partials older than a day, and those a killed server left
    // without their record.
    void removeStale() const;
    // Before a new partial of `size` bytes: drops the oldest others while
    // too many are kept or the free space would not hold it.
    void makeRoom(uint64_t size, const std::string &except) const;
    // Bytes the partials but `except` take: what makeRoom could give back at most.
    uint64_t keptBytes(const std::string &except) const;

private:
    std::string m_root;
};

} // namespace vexo::deviced
