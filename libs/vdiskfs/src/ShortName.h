#pragma once

#include "DirEntry.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vexo
{

// 8.3 names: the bare form of names that fit, the generated alias of names
// that need a long-name entry, and the displayed text of a stored one.
namespace shortname
{

// True when a CP936 name is stored as a single 8.3 entry the way Windows
// stores it: plain ASCII, a base of 1-8 and an extension of 0-3 characters
// valid in 8.3 names, each part in one case (lower case is kept through
// the case flags).
bool plainForm(std::string_view name, dirent::ShortName &out, uint8_t &caseFlags);

// The starting point of an alias: upper case, invalid characters and
// double-byte characters replaced by '_', spaces and extra dots dropped,
// base cut to 8 and extension to 3 characters.
struct Basis {
    std::string base;
    std::string ext;
    bool lossy = false; // something was replaced, dropped or cut: needs a ~N tail
};
Basis basis(std::string_view name);

// base and ext padded into the 11-byte field.
dirent::ShortName compose(std::string_view base, std::string_view ext);
// The basis with a "~N" tail, the base cut to leave room for it.
dirent::ShortName withTail(const Basis &b, uint32_t n);

// The stored 8.3 name as text ("README", "a.txt"), lower case applied per
// the case flags, a leading 0x05 restored to 0xE5.
std::string display(const dirent::ShortName &name, uint8_t caseFlags);

// True for a byte allowed in a stored 8.3 name (upper case; bytes of 0x80
// and above are the OEM code page's).
bool validStoredByte(uint8_t c);

} // namespace shortname

} // namespace vexo
