#pragma once

namespace vexo
{

class DesktopShell;
class ProfileFiles;
class Prompter;
class SystemPaths;

// The operating-system services the window uses. The program entry passes the
// real ones; tests pass fakes. Not owned.
struct PlatformServices {
    ProfileFiles *profiles = nullptr;
    SystemPaths *paths = nullptr;
    Prompter *prompter = nullptr;
    DesktopShell *shell = nullptr;
};

} // namespace vexo
