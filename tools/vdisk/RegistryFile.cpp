#include "RegistryFile.h"

#include "vexo/sys/Cp936Codec.h"
#include "vexo/sys/FileIo.h"

#include <cstdlib>
#include <strings.h>

namespace vexo
{

namespace
{

std::string trimmed(const std::string &s)
{
    const size_t start = s.find_first_not_of(" \t\r");
    if (start == std::string::npos)
        return {};
    return s.substr(start, s.find_last_not_of(" \t\r") - start + 1);
}

bool validUtf8(const std::string &s)
{
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2)
                return false;
        i += n;
    }
    return true;
}

} // namespace

std::string RegistryFile::defaultPath()
{
    const char *config = std::getenv("XDG_CONFIG_HOME");
    std::string folder;
    if (config != nullptr && config[0] == '/') {
        folder = config;
    } else {
        const char *home = std::getenv("HOME");
        folder = std::string(home != nullptr ? home : "") + "/.config";
    }
    return folder + "/VexoTools/registry.ini";
}

bool RegistryFile::readMachineString(const std::string &file, const std::string &keyPath,
                                     const std::string &name, std::string &value)
{
    std::string text;
    if (!sys::readSmallFile(file, text))
        return false;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    std::string decoded;
    if (!validUtf8(text) && sys::Cp936Codec().decode(text, decoded))
        text = decoded;
    const std::string section = "HKEY_LOCAL_MACHINE" + keyPath;
    std::string line;
    bool inSection = false, seenSection = false;
    for (size_t at = 0; sys::nextLine(text, at, line);) {
        line = trimmed(line);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line[0] == '[') {
            const size_t end = line.find(']');
            // The first section of a name wins.
            inSection = !seenSection && end != std::string::npos &&
                        ::strcasecmp(trimmed(line.substr(1, end - 1)).c_str(), section.c_str()) == 0;
            seenSection = seenSection || inSection;
            continue;
        }
        const size_t equals = line.find('=');
        if (!inSection || equals == std::string::npos ||
            ::strcasecmp(trimmed(line.substr(0, equals)).c_str(), name.c_str()) != 0)
            continue;
        value = trimmed(line.substr(equals + 1));
        if (value.size() >= 2 && ((value.front() == '"' && value.back() == '"') ||
                                  (value.front() == '\'' && value.back() == '\'')))
            value = value.substr(1, value.size() - 2);
        return true;
    }
    return false;
}

} // namespace vexo
