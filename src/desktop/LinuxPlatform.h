#pragma once

#include "desktop/QtClipboard.h"
#include "desktop/QtDesktopShell.h"
#include "desktop/QtPrompter.h"
#include "platform/LibDeviceLink.h"
#include "platform/LibVDiskLibrary.h"
#include "platform/LinuxProfileFiles.h"
#include "platform/LinuxSystemPaths.h"
#include "platform/PlatformServices.h"
#include "platform/ProfileRegistry.h"

namespace vexo
{

// The real services of a Linux desktop, owned together.
class LinuxPlatform
{
public:
    LinuxPlatform() = default;
    LinuxPlatform(const LinuxPlatform &) = delete;
    LinuxPlatform &operator=(const LinuxPlatform &) = delete;

    PlatformServices services()
    {
        PlatformServices s;
        s.profiles = &m_profiles;
        s.paths = &m_paths;
        s.prompter = &m_prompter;
        s.shell = &m_shell;
        s.link = &m_link;
        s.vdisk = &m_vdisk;
        s.registry = &m_registry;
        s.clipboard = &m_clipboard;
        return s;
    }
    QtPrompter &prompter() { return m_prompter; }

private:
    LinuxProfileFiles m_profiles;
    LibDeviceLink m_link;
    LibVDiskLibrary m_vdisk;
    ProfileRegistry m_registry{m_profiles, ProfileRegistry::defaultFolder()};
    LinuxSystemPaths m_paths;
    QtPrompter m_prompter;
    QtDesktopShell m_shell;
    QtClipboard m_clipboard;
};

} // namespace vexo
