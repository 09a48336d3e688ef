#pragma once

namespace vexo
{

class Clipboard;
class DesktopShell;
class DeviceLink;
class ProfileFiles;
class Prompter;
class Registry;
class SystemPaths;
class VDiskLibrary;

// The operating-system services the window uses. The program entry passes the
// real ones; tests pass fakes. Not owned.
struct PlatformServices {
    ProfileFiles *profiles = nullptr;
    SystemPaths *paths = nullptr;
    Prompter *prompter = nullptr;
    DesktopShell *shell = nullptr;
    DeviceLink *link = nullptr;
    VDiskLibrary *vdisk = nullptr;
    Registry *registry = nullptr;
    Clipboard *clipboard = nullptr;
};

} // namespace vexo
