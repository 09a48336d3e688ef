#pragma once

#include <string>

namespace vexo
{

// The window's registry file, read as the window reads it: "[SECTION]"
// and "KEY=VALUE" lines, names without regard to case, blanks around them
// and one pair of quotes around a value dropped; UTF-8 (a byte-order mark
// skipped), or CP936 when the file is not valid UTF-8.
class RegistryFile
{
public:
    // $XDG_CONFIG_HOME/VexoTools/registry.ini (an absolute XDG_CONFIG_HOME
    // only), by default ~/.config/VexoTools/registry.ini.
    static std::string defaultPath();
    // The value of a key under HKEY_LOCAL_MACHINE; false when the file, the
    // key or the value is missing.
    static bool readMachineString(const std::string &file, const std::string &keyPath,
                                  const std::string &name, std::string &value);
};

} // namespace vexo
