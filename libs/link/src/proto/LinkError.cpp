#include "LinkError.h"
#include "vexo/sys/CodeTable.h"

namespace vexo::link
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

LinkError errorFromStatus(WireStatus status)
{
    return sys::lookup(kFromStatus, status, LinkError::Protocol);
}

const sys::CodeEntry<LinkError, const char *> kTexts[] = {
    {LinkError::Ok, "success"},
    {LinkError::NotConnected, "not connected to the device"},
    {LinkError::Timeout, "the device did not answer in time"},
    {LinkError::NotFound, "no such file on the device"},
    {LinkError::BadName, "name refused (at most 16 bytes; no '/', '\\', control characters, '.' or '..')"},
    {LinkError::Exists, "destination exists (kept)"},
    {LinkError::Stopped, "stopped"},
    {LinkError::TransferFailed, "transfer failed"},
    {LinkError::LocalIo, "local file error"},
    {LinkError::DeviceIo, "the device could not read or store the file"},
    {LinkError::BadHandle, "invalid handle"},
    {LinkError::Protocol, "the device speaks an unknown protocol"},
    {LinkError::TooLarge, "the device's listing is larger than allowed (65,536 entries, 8 MiB)"},
    {LinkError::Unsupported, "the device does not offer this request"},
};

const char *describe(LinkError error)
{
    return sys::lookup(kTexts, error, "unknown error");
}

} // namespace vexo::link
