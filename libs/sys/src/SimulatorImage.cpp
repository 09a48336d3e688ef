#include "vexo/sys/SimulatorImage.h"

namespace vexo::sys
{

std::string SimulatorImage::below(const std::string &installFolder)
{
    return installFolder + "/target/public/lib/vdisk.dat";
}

bool SimulatorImage::fromWine(const WinePrefix &prefix, std::string &folder, std::string &where)
{
    std::string value, key;
    if (!prefix.readMachineString(kInstallKey, kInstallValue, value, key))
        return false;
    std::string path = prefix.unixPath(value);
    if (path.empty())
        return false;
    folder = path;
    where = "the Wine prefix " + prefix.folder() + ", " + key + " (" + value + ")";
    return true;
}

} // namespace vexo::sys
