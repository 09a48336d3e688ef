#include "ShortName.h"

#include <cctype>
#include <cstring>

namespace vexo::shortname
{

namespace
{

bool isShortNameSymbol(char c)
{
    return std::strchr("!#$%&'()-@^_`{}~", c) != nullptr && c != '\0';
}

bool isLower(char c)
{
    return c >= 'a' && c <= 'z';
}

bool isUpper(char c)
{
    return c >= 'A' && c <= 'Z';
}

char upper(char c)
{
    return isLower(c) ? static_cast<char>(c - 32) : c;
}

// One part of a plain 8.3 name; sets lower when it is all lower case.
bool plainPart(std::string_view part, size_t maxLength, bool &lower)
{
    if (part.size() > maxLength)
        return false;
    bool anyLower = false, anyUpper = false;
    for (char c : part) {
        if (isLower(c))
            anyLower = true;
        else if (isUpper(c))
            anyUpper = true;
        else if (!(c >= '0' && c <= '9') && !isShortNameSymbol(c))
            return false;
    }
    lower = anyLower;
    return !(anyLower && anyUpper);
}

// Lower-cases the ASCII letters of a CP936 text, leaving double-byte
// characters (whose second byte may look like a letter) alone.
void lowerAscii(std::string &s)
{
    for (size_t i = 0; i < s.size(); ++i) {
        auto c = static_cast<unsigned char>(s[i]);
        if (c >= 0x81 && c <= 0xFE && i + 1 < s.size())
            ++i;
        else if (c >= 'A' && c <= 'Z')
            s[i] = static_cast<char>(c + 32);
    }
}

void trimRight(std::string &s)
{
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
}

} // namespace

bool plainForm(std::string_view name, dirent::ShortName &out, uint8_t &caseFlags)
{
    if (name.empty() || name.front() == '.')
        return false;
    size_t dot = name.find('.');
    std::string_view base = name.substr(0, dot);
    std::string_view ext = dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
    if (dot != std::string_view::npos && (ext.empty() || ext.find('.') != std::string_view::npos))
        return false;
    bool lowerBase = false, lowerExt = false;
    if (base.empty() || !plainPart(base, 8, lowerBase) || !plainPart(ext, 3, lowerExt))
        return false;
    std::string b, e;
    for (char c : base)
        b.push_back(upper(c));
    for (char c : ext)
        e.push_back(upper(c));
    out = compose(b, e);
    caseFlags =
        static_cast<uint8_t>((lowerBase ? dirent::kLowerBase : 0) | (lowerExt ? dirent::kLowerExt : 0));
    return true;
}

Basis basis(std::string_view name)
{
    Basis b;
    size_t start = 0;
    while (start < name.size() && name[start] == '.') {
        ++start;
        b.lossy = true;
    }
    size_t lastDot = name.rfind('.');
    if (lastDot != std::string_view::npos && lastDot < start)
        lastDot = std::string_view::npos;
    auto take = [&b](std::string_view part, std::string &to, size_t limit) {
        for (size_t i = 0; i < part.size(); ++i) {
            auto c = static_cast<unsigned char>(part[i]);
            char mapped;
            if (c >= 0x80) {
                // A double-byte character becomes one '_'.
                if (c >= 0x81 && c <= 0xFE && i + 1 < part.size())
                    ++i;
                mapped = '_';
                b.lossy = true;
            } else if (c == ' ' || c == '.') {
                b.lossy = true;
                continue;
            } else if (std::isalnum(c) || isShortNameSymbol(static_cast<char>(c))) {
                mapped = upper(static_cast<char>(c));
            } else {
                mapped = '_';
                b.lossy = true;
            }
            if (to.size() == limit) {
                b.lossy = true;
                return;
            }
            to.push_back(mapped);
        }
    };
    if (lastDot == std::string_view::npos) {
        take(name.substr(start), b.base, 8);
    } else {
        take(name.substr(start, lastDot - start), b.base, 8);
        take(name.substr(lastDot + 1), b.ext, 3);
    }
    if (b.base.empty()) {
        b.base = "_";
        b.lossy = true;
    }
    return b;
}

dirent::ShortName compose(std::string_view base, std::string_view ext)
{
    dirent::ShortName n;
    n.fill(' ');
    std::memcpy(n.data(), base.data(), std::min<size_t>(base.size(), 8));
    std::memcpy(n.data() + 8, ext.data(), std::min<size_t>(ext.size(), 3));
    if (n[0] == dirent::kFree)
        n[0] = dirent::kKanjiE5;
    return n;
}

dirent::ShortName withTail(const Basis &b, uint32_t n)
{
    std::string tail = "~" + std::to_string(n);
    std::string base = b.base.substr(0, tail.size() >= 8 ? 0 : 8 - tail.size());
    return compose(base + tail, b.ext);
}

std::string display(const dirent::ShortName &name, uint8_t caseFlags)
{
    std::string base(reinterpret_cast<const char *>(name.data()), 8);
    std::string ext(reinterpret_cast<const char *>(name.data()) + 8, 3);
    if (static_cast<unsigned char>(base[0]) == dirent::kKanjiE5)
        base[0] = static_cast<char>(dirent::kFree);
    trimRight(base);
    trimRight(ext);
    if (caseFlags & dirent::kLowerBase)
        lowerAscii(base);
    if (caseFlags & dirent::kLowerExt)
        lowerAscii(ext);
    return ext.empty() ? base : base + "." + ext;
}

bool validStoredByte(uint8_t c)
{
    return c >= 0x80 || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' ||
           isShortNameSymbol(static_cast<char>(c));
}

} // namespace vexo::shortname
