#include "DevicePartials.h"

#include "Fnv1a.h"
#include "PartialFile.h"

#include <cstdio>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace vexo::deviced
{

namespace
{
constexpr const char kPrefix[] = ".vexo-keep-";
// One per file of an interrupted batch is plenty; more only fill the device.
constexpr size_t kMaxPartials = 8;
} // namespace

DevicePartials::DevicePartials(std::string root) : m_root(std::move(root))
{
}

bool DevicePartials::isPartialName(const std::string &name)
{
    return name.rfind(kPrefix, 0) == 0;
}

std::string DevicePartials::pathFor(const std::string &wireName) const
{
    // FNV-1a: a name of any bytes becomes a short fixed-size file name; the
    // record inside names the file, so a collision only starts over.
    link::Fnv1a hash;
    hash.add(wireName.data(), wireName.size());
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash.value()));
    return m_root + "/" + kPrefix + hex;
}

void DevicePartials::removeStale() const
{
    link::PartialFile::removeOlder(m_root, isPartialName, link::kPartialMaxAgeSeconds);
    if (DIR *dir = opendir(m_root.c_str())) {
        while (const dirent *e = readdir(dir)) {
            const std::string path = m_root + "/" + e->d_name;
            if (isPartialName(e->d_name) && !link::PartialFile::hasRecord(path))
                unlink(path.c_str());
        }
        closedir(dir);
    }
}

void DevicePartials::makeRoom(uint64_t size, const std::string &except) const
{
    removeStale();
    link::PartialFile::makeRoom(m_root, isPartialName, size, kMaxPartials, except);
}

uint64_t DevicePartials::keptBytes(const std::string &except) const
{
    uint64_t bytes = 0;
    for (const link::PartialFile::Kept &kept : link::PartialFile::listKept(m_root, isPartialName, except))
        bytes += kept.size;
    return bytes;
}

} // namespace vexo::deviced
