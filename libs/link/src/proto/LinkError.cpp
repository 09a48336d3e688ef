#include "LinkError.h"

namespace vexo::link
{

LinkError errorFromStatus(WireStatus status)
{
    switch (status) {
    case WireStatus::Ok:
        return LinkError::Ok;
    case WireStatus::NotFound:
        return LinkError::NotFound;
    case WireStatus::BadName:
        return LinkError::BadName;
    case WireStatus::Exists:
        return LinkError::Exists;
    case WireStatus::IoError:
        return LinkError::DeviceIo;
    case WireStatus::Stopped:
        return LinkError::Stopped;
    case WireStatus::CheckFailed:
        return LinkError::TransferFailed;
    case WireStatus::BadRequest:
        break;
    }
    return LinkError::Protocol;
}

const char *describe(LinkError error)
{
    switch (error) {
    case LinkError::Ok:
        return "success";
    case LinkError::NotConnected:
        return "not connected to the device";
    case LinkError::Timeout:
        return "the device did not answer in time";
    case LinkError::NotFound:
        return "no such file on the device";
    case LinkError::BadName:
        return "name refused (at most 16 bytes; no '/', '\\', control characters, '.' or '..')";
    case LinkError::Exists:
        return "destination exists (kept)";
    case LinkError::Stopped:
        return "stopped";
    case LinkError::TransferFailed:
        return "transfer failed";
    case LinkError::LocalIo:
        return "local file error";
    case LinkError::DeviceIo:
        return "the device could not read or store the file";
    case LinkError::BadHandle:
        return "invalid handle";
    case LinkError::Protocol:
        return "the device speaks an unknown protocol";
    case LinkError::TooLarge:
        return "the device's listing is larger than allowed (65,536 entries, 8 MiB)";
    case LinkError::Unsupported:
        return "the device does not offer this request";
    }
    return "unknown error";
}

} // namespace vexo::link
