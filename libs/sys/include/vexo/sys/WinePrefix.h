#pragma once

#include <string>

namespace vexo::sys
{

// The registry and the drives of a Wine prefix, as far as finding where a
// Windows program was installed needs them. Plain reads: Wine need not be
// installed or running.
class WinePrefix
{
public:
    // $WINEPREFIX when it is an absolute path, else ~/.wine.
    static std::string defaultFolder();

    explicit WinePrefix(std::string folder);
    const std::string &folder() const { return m_folder; }

    // A string value (REG_SZ, or REG_EXPAND_SZ taken as stored) of a key
    // under HKEY_LOCAL_MACHINE, keyPath as "\Software\Maker\Product", read
    // from the prefix's system.reg. A 32-bit program in a 64-bit prefix has
    // its key under Software\Wow6432Node: both views are looked in, the
    // 32-bit one first in a 64-bit prefix. `key` receives the key the value
    // was found under ("HKEY_LOCAL_MACHINE\Software\..."). False when the
    // prefix, the key or the value is missing, or the value is no string.
    bool readMachineString(const std::string &keyPath, const std::string &name, std::string &value,
                           std::string &key) const;

    // A Windows path ("C:\Program Files\X") as a path here, through the
    // prefix's dosdevices links; folders that exist are matched without
    // case, as Windows does. Empty when the path has no drive letter or the
    // drive is not mapped.
    std::string unixPath(const std::string &windowsPath) const;

private:
    std::string m_folder;
};

} // namespace vexo::sys
