#pragma once

#include <QString>

namespace vexo
{

class ProfileFiles;

// Where the pipe of a port number lives on this machine. Port numbers are the
// Comport setting: 0 = USB, 1..10 = COM1..COM10.

// The name of a port as written in the [Ports] section: "USB" for 0, "COMn"
// for n > 0; empty for a negative number.
QString DevicePortName(int port);

// The node a port opens when [Ports] names none: COMn is /dev/ttyS(n-1), USB
// is /dev/ttyACM0; empty for a negative number (the library's own default).
QString DefaultDevicePath(int port);

// The node for a port: the [Ports] entry of the settings file (for example
// "COM1=/dev/ttyUSB0", "USB=/dev/ttyACM1"; names compared without regard to
// case) when it is present and not blank, otherwise DefaultDevicePath.
QString ResolveDevicePath(ProfileFiles &profiles, const QString &settingsFile, int port);

} // namespace vexo
