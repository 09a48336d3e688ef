#include "LinkError.h"
#include "vexo/sys/CodeTable.h"

namespace vexo::link
{

namespace
{
const sys::CodeEntry<WireStatus, LinkError> kFromStatus[] = {
    {WireStatus::Ok, LinkError::Ok},
    {WireStatus::NotFound, LinkError::NotFound},
    {WireStatus::BadName, LinkError::BadName},
    {WireStatus::Exists, LinkError::Exists},
    {WireStatus::IoError, LinkError::DeviceIo},
    {WireStatus::Stopped, LinkError::Stopped},
    {WireStatus::CheckFailed, LinkError::TransferFailed},
};

const char *const kTexts[] = {
    "success",                                                                        // Ok
    "not connected to the device",                                                    // NotConnected
    "the device did not answer in time",                                              // Timeout
    "no such file on the device",                                                     // NotFound
    "name refused (at most 16 bytes; no '/', '\\', control characters, '.' or '..')", // BadName
    "destination exists (kept)",                                                      // Exists
    "stopped",                                                                        // Stopped
    "transfer failed",                                                                // TransferFailed
    "local file error",                                                               // LocalIo
    "the device could not read or store the file",                                    // DeviceIo
    "invalid handle",                                                                 // BadHandle
    "the device speaks an unknown protocol",                                          // Protocol
    "the device's listing is larger than allowed (65,536 entries, 8 MiB)",            // TooLarge
    "the device does not offer this request",                                         // Unsupported
    "not enough space on the device",                                                 // NoSpace
    "another palmtop answered",                                                       // OtherDevice
};
} // namespace

LinkError errorFromStatus(WireStatus status)
{
    return sys::lookup(kFromStatus, status, LinkError::Protocol);
}

const char *describe(LinkError error)
{
    return sys::textOf<LinkError::OtherDevice>(kTexts, error, "unknown error");
}

} // namespace vexo::link
