#include "vexo/sys/WinePrefix.h"

#include "vexo/sys/FileIo.h"
#include <cctype>
#include <climits>
#include <cstdlib>
#include <dirent.h>

#include <memory>
#include <strings.h>
#include <sys/stat.h>
#include <vector>

namespace vexo::sys
{

namespace
{

void appendUtf8(std::string &out, uint32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

int hexDigit(char c)
{
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

// A quoted string as Wine writes it, from just after its opening quote:
// backslash escapes, \xHHHH for UTF-16 units outside ASCII, octal for
// control characters. `at` is left after the closing quote. False when the
// quote never closes.
bool unquote(const std::string &line, size_t &at, std::string &out)
{
    out.clear();
    uint32_t high = 0; // a pending high surrogate
    auto unit = [&](uint32_t u) {
        if (u >= 0xD800 && u < 0xDC00) {
            high = u;
            return;
        }
        if (u >= 0xDC00 && u < 0xE000 && high != 0)
            u = 0x10000 + ((high - 0xD800) << 10) + (u - 0xDC00);
        high = 0;
        appendUtf8(out, u);
    };
    while (at < line.size()) {
        char c = line[at++];
        if (c == '"')
            return true;
        if (c != '\\' || at == line.size()) {
            out += c;
            continue;
        }
        c = line[at++];
        if (c == 'x') {
            uint32_t u = 0;
            for (int n = 0; n < 4 && at < line.size() && hexDigit(line[at]) >= 0; ++n)
                u = u * 16 + uint32_t(hexDigit(line[at++]));
            unit(u);
        } else if (c >= '0' && c <= '7') {
            uint32_t u = uint32_t(c - '0');
            for (int n = 1; n < 3 && at < line.size() && line[at] >= '0' && line[at] <= '7'; ++n)
                u = u * 8 + uint32_t(line[at++] - '0');
            unit(u);
        } else {
            static const char from[] = "abefnrtv", to[] = "\a\b\x1b\f\n\r\t\v";
            const char *named = std::char_traits<char>::find(from, 8, c);
            out += named != nullptr ? to[named - from] : c;
        }
    }
    return false;
}

// "[Software\\Maker\\Product] 1700000000" gives Software\Maker\Product.
bool keyName(const std::string &line, std::string &key)
{
    key.clear();
    for (size_t at = 1; at < line.size(); ++at) {
        if (line[at] == ']')
            return true;
        if (line[at] == '\\' && at + 1 < line.size())
            ++at;
        key += line[at];
    }
    return false;
}

std::string trimSlashes(const std::string &path)
{
    size_t start = path.find_first_not_of('\\');
    return start == std::string::npos ? std::string() : path.substr(start);
}

bool isFolder(const std::string &path)
{
    struct stat st {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool exists(const std::string &path)
{
    struct stat st {
    };
    return ::lstat(path.c_str(), &st) == 0;
}

// The entry of `folder` named `name` without regard to case, or `name`.
std::string matchCase(const std::string &folder, const std::string &name)
{
    if (exists(folder + "/" + name))
        return name;
    std::unique_ptr<DIR, int (*)(DIR *)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return name;
    while (const dirent *entry = ::readdir(dir.get()))
        if (::strcasecmp(entry->d_name, name.c_str()) == 0)
            return entry->d_name;
    return name;
}

} // namespace

std::string WinePrefix::defaultFolder()
{
    const char *prefix = std::getenv("WINEPREFIX");
    if (prefix != nullptr && prefix[0] == '/')
        return prefix;
    const char *home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.wine";
}

WinePrefix::WinePrefix(std::string folder) : m_folder(std::move(folder))
{
    while (m_folder.size() > 1 && m_folder.back() == '/')
        m_folder.pop_back();
}

bool WinePrefix::readMachineString(const std::string &keyPath, const std::string &name, std::string &value,
                                   std::string &key) const
{
    std::string file;
    if (!readSmallFile(m_folder + "/system.reg", file))
        return false;
    const std::string plain = trimSlashes(keyPath);
    std::string wow;
    if (::strncasecmp(plain.c_str(), "Software\\", 9) == 0)
        wow = plain.substr(0, 9) + "Wow6432Node\\" + plain.substr(9);
    // The values of both views, gathered in one pass.
    std::string found[2];
    bool has[2] = {false, false};
    bool win64 = false;
    int in = -1; // which view's key the lines belong to
    std::string line, text;
    for (size_t next = 0; nextLine(file, next, line);) {
        if (line.compare(0, 11, "#arch=win64") == 0)
            win64 = true;
        if (!line.empty() && line[0] == '[') {
            in = -1;
            if (keyName(line, text))
                in = ::strcasecmp(text.c_str(), plain.c_str()) == 0                 ? 0
                     : !wow.empty() && ::strcasecmp(text.c_str(), wow.c_str()) == 0 ? 1
                                                                                    : -1;
            continue;
        }
        if (in < 0 || line.empty() || line[0] != '"')
            continue;
        size_t at = 1;
        if (!unquote(line, at, text) || ::strcasecmp(text.c_str(), name.c_str()) != 0 || at >= line.size() ||
            line[at] != '=')
            continue;
        ++at;
        // REG_SZ is a bare string, REG_EXPAND_SZ type 2; other types are no text.
        if (line.compare(at, 7, "str(2):") == 0)
            at += 7;
        if (at >= line.size() || line[at] != '"')
            continue;
        ++at;
        if (unquote(line, at, found[in]))
            has[in] = true;
    }
    const int order[2] = {win64 ? 1 : 0, win64 ? 0 : 1};
    for (int view : order)
        if (has[view]) {
            value = found[view];
            key = "HKEY_LOCAL_MACHINE\\" + (view == 0 ? plain : wow);
            return true;
        }
    return false;
}

std::string WinePrefix::unixPath(const std::string &windowsPath) const
{
    if (windowsPath.size() < 2 || !std::isalpha(static_cast<unsigned char>(windowsPath[0])) ||
        windowsPath[1] != ':')
        return {};
    const std::string drive =
        m_folder + "/dosdevices/" + char(std::tolower(static_cast<unsigned char>(windowsPath[0]))) + ":";
    char resolved[PATH_MAX];
    if (::realpath(drive.c_str(), resolved) == nullptr || !isFolder(resolved))
        return {};
    std::string path = resolved;
    size_t at = 2;
    while (at < windowsPath.size()) {
        size_t end = windowsPath.find_first_of("\\/", at);
        if (end == std::string::npos)
            end = windowsPath.size();
        const std::string part = windowsPath.substr(at, end - at);
        at = end + 1;
        if (part.empty() || part == ".")
            continue;
        path += "/" + matchCase(path, part);
    }
    return path;
}

} // namespace vexo::sys
