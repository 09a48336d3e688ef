#pragma once

#include "vexo/sys/WinePrefix.h"

#include <string>

namespace vexo::sys
{

// Where the simulator keeps its disk image: below the install folder that
// the registry names. The window and `vdisk locate` both find it here.
class SimulatorImage
{
public:
    // The key under HKEY_LOCAL_MACHINE and its value naming the install folder.
    static constexpr const char *kInstallKey = "\\Software\\Tavrin\\VexoTools\\2";
    static constexpr const char *kInstallValue = "InstallPath";

    // installFolder + "/target/public/lib/vdisk.dat", nothing inserted or
    // trimmed between the two.
    static std::string below(const std::string &installFolder);

    // The install folder that the simulator's own registry in a Wine prefix
    // names, as a path here; `where` says which prefix and key ("the Wine
    // prefix /home/me/.wine, HKEY_LOCAL_MACHINE\Software\..."). False when
    // the prefix has no such value or its drive is not mapped.
    static bool fromWine(const WinePrefix &prefix, std::string &folder, std::string &where);
};

} // namespace vexo::sys
