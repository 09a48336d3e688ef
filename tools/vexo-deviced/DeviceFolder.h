// The palmtop's flat folder: device names (CP936 on the wire) map to UTF-8
// file names in one local directory. Files of other names, subfolders and our
// temporary files are not part of the device's file list.
#pragma once

#include "Hello.h"
#include "Message.h"
#include "vexo/sys/UniqueFd.h"

#include <array>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace vexo::deviced
{

class DeviceFolder
{
public:
    explicit DeviceFolder(std::string root);

    bool check(std::string *error) const;
    const std::string &root() const { return m_root; }
    // Removes temporary files left by a server that was killed mid-transfer.
    void removeStaleTemporaries() const;

    // The local path of a device name; false when the name is refused.
    bool localPath(const std::string &wireName, std::string &path) const;

    link::WireStatus lookup(const std::string &wireName, link::WireEntry &entry) const;
    // A regular file opened for reading (not through a symbolic link), and its entry.
    link::WireStatus openFile(const std::string &wireName, sys::UniqueFd &fd, link::WireEntry &entry) const;
    // The palmtop's identity, kept in a hidden file of the folder that is
    // never listed nor addressable; made at random when there is none yet.
    // False when it can be neither read nor made.
    bool identity(std::array<uint8_t, link::kIdentitySize> &id) const;
    // Keeps `id` as the identity from now on.
    bool setIdentity(const std::array<uint8_t, link::kIdentitySize> &id) const;
    link::WireStatus remove(const std::string &wireName) const;
    link::WireStatus rename(const std::string &from, const std::string &to) const;
    // Entries matching a pattern ('*' and '?', ASCII letters without case; "*.*" is everything), by name.
    link::WireStatus list(const std::string &pattern, std::vector<link::WireEntry> &entries) const;

    // A new temporary file inside the folder, open for writing; none on failure.
    sys::UniqueFd createTemporary(std::string &path) const;
    // Moves a finished temporary file to its name. With overwrite false an
    // existing file wins (Exists) and the temporary file is removed.
    link::WireStatus commit(const std::string &temporary, const std::string &wireName, bool overwrite) const;

private:
    // The path of an existing regular file: BadName, NotFound or Ok.
    link::WireStatus findFile(const std::string &wireName, std::string &path, struct stat &st) const;

    std::string m_root;
};

bool matchPattern(const std::string &pattern, const std::string &name);

} // namespace vexo::deviced
