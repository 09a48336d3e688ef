#pragma once

#include "vexo/sys/UniqueFd.h"

#include <string>

namespace vexo::sys
{

enum class Placement {
    Replace,      // an existing file of that name is replaced atomically
    NeverReplace, // an existing file wins, even one that appeared meanwhile
};

// Creates a new empty file named `prefix` plus a random suffix, exclusively,
// with `mode` less the process's umask (open() applies it: the umask is never
// changed). On success `path` holds the full name; on failure errno is set.
UniqueFd createUniqueFile(const std::string &prefix, std::string &path, unsigned mode = 0666);

// Moves a finished file to `target` on the same file system. Returns 0, or an
// errno value: EEXIST when NeverReplace found a file there; `from` stays
// where it was then.
//
// NeverReplace works without hard links (vfat, exFAT): renameat2 with
// RENAME_NOREPLACE first; where the file system refuses that flag, link() and
// unlink(); where it has no hard links either, see placeNoLinks().
int placeFile(const std::string &from, const std::string &target, Placement how);

// Points the symbolic link `link` at `target`, replacing an old symbolic link
// but never anything else. False with a readable reason in *error.
bool placeSymlink(const std::string &link, const std::string &target, std::string *error);

// The calls placeFile() depends on, replaceable so that a test can act as a
// file system that supports neither. Not for production use.
struct PlaceCalls {
    int (*renameNoReplace)(const char *from, const char *to);
    int (*hardLink)(const char *from, const char *to);
};
PlaceCalls &placeCalls();

} // namespace vexo::sys
