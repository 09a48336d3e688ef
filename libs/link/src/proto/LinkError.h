#pragma once

#include "Message.h"

namespace vexo::link
{

// Everything that can go wrong on the link, mapped to the C results at the API edge.
enum class LinkError {
    Ok,
    NotConnected,   // no session: never connected, closed, or the device node cannot be opened
    Timeout,        // the peer stayed silent for the response time-out
    NotFound,       // no such file
    BadName,        // refused name (empty, too long, '/', '\', control characters, "." or "..")
    Exists,         // destination exists and overwrite was 0; nothing written
    Stopped,        // the caller's stop flag
    TransferFailed, // data check failed or the link broke during a transfer
    LocalIo,        // a local file could not be read or written
    DeviceIo,       // the device could not read or store the file
    BadHandle,      // unknown handle
    Protocol,       // the peer speaks something we do not understand
    TooLarge,       // the peer sent more than a listing may hold; nothing was kept
    Unsupported,    // the peer does not offer this request (an older server)
    NoSpace,        // the device has no room for the file
    OtherDevice,    // after a reconnect another palmtop answered; nothing was sent to it
};

LinkError errorFromStatus(WireStatus status);
const char *describe(LinkError error);

} // namespace vexo::link
