#include "sync/SyncRecord.h"

#include "vexo/sys/AtomicFile.h"
#include "vexo/sys/FileIo.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vexo
{

namespace
{

constexpr const char *kFirstLine = "vexo sync record 1";

// Stable across builds and machines, unlike std::hash.
uint64_t fnv1a64(const std::string &bytes)
{
    uint64_t h = 0xcbf29ce484222325ull;
    for (const unsigned char c : bytes) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
}

bool parseNumber(const std::string &field, int64_t &value)
{
    if (field.empty() || field.size() > 20)
        return false;
    char *end = nullptr;
    errno = 0;
    value = std::strtoll(field.c_str(), &end, 10);
    return errno == 0 && end == field.c_str() + field.size();
}

std::vector<std::string> splitTabs(const std::string &line, size_t fields)
{
    // The last field takes the rest of the line: names may hold tabs.
    std::vector<std::string> out;
    size_t from = 0;
    while (out.size() + 1 < fields) {
        const size_t tab = line.find('\t', from);
        if (tab == std::string::npos)
            return {};
        out.push_back(line.substr(from, tab - from));
        from = tab + 1;
    }
    out.push_back(line.substr(from));
    return out;
}

int makeFolders(const std::string &path)
{
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return errno;
        if (slash == std::string::npos)
            return 0;
    }
}

} // namespace

std::string FoldSyncName(const std::string &name)
{
    // UTF-8 never puts an ASCII byte inside a multi-byte character.
    std::string key = name;
    for (auto &c : key)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return key;
}

namespace
{

std::map<std::string, std::string> hashParts(const std::string &text)
{
    std::map<std::string, std::string> parts;
    size_t from = 0;
    while (from < text.size()) {
        size_t comma = text.find(',', from);
        if (comma == std::string::npos)
            comma = text.size();
        const std::string part = text.substr(from, comma - from);
        const size_t colon = part.find(':');
        if (colon != std::string::npos && colon > 0 && colon + 1 < part.size())
            parts.emplace(part.substr(0, colon), part.substr(colon + 1));
        from = comma + 1;
    }
    return parts;
}

} // namespace

bool SameContentHash(const std::string &a, const std::string &b)
{
    const auto mine = hashParts(a);
    const auto theirs = hashParts(b);
    bool shared = false;
    for (const auto &[algorithm, value] : mine) {
        const auto found = theirs.find(algorithm);
        if (found == theirs.end())
            continue;
        if (found->second != value)
            return false;
        shared = true;
    }
    return shared;
}

SyncRecord::SyncRecord(std::string folder, std::string other)
    : m_folder(std::move(folder)), m_other(std::move(other))
{
}

std::string SyncRecord::pathIn(const std::string &dataFolder) const
{
    char name[32];
    std::snprintf(name, sizeof name, "%016llx.rec",
                  static_cast<unsigned long long>(fnv1a64(m_folder + '\0' + m_other)));
    return dataFolder + "/" + name;
}

const SyncRecordEntry *SyncRecord::find(const std::string &name) const
{
    const auto found = m_entries.find(FoldSyncName(name));
    return found == m_entries.end() ? nullptr : &found->second;
}

void SyncRecord::put(const SyncRecordEntry &entry)
{
    // A line per file: a name with a line break cannot be written, and such a
    // name never reaches the palmtop or the image anyway.
    if (entry.name.empty() || entry.name.find('\n') != std::string::npos ||
        entry.hash.find_first_of("\t\n") != std::string::npos)
        return;
    m_entries[FoldSyncName(entry.name)] = entry;
}

std::string SyncRecord::serialize() const
{
    std::ostringstream out;
    out << kFirstLine << "\npc\t" << m_folder << "\nother\t" << m_other << '\n';
    for (const auto &[key, e] : m_entries)
        out << e.size << '\t' << e.localMtimeMs << '\t' << e.remoteMtimeMs << '\t' << e.hash << '\t' << e.name
            << '\n';
    // The count closes the record, so that a cut-off file is seen as damaged.
    out << "end\t" << m_entries.size() << '\n';
    return out.str();
}

bool SyncRecord::parse(const std::string &text)
{
    m_entries.clear();
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kFirstLine || !std::getline(in, line) ||
        line != "pc\t" + m_folder || !std::getline(in, line) || line != "other\t" + m_other)
        return false;
    std::map<std::string, SyncRecordEntry> entries;
    while (std::getline(in, line)) {
        if (line.rfind("end\t", 0) == 0) {
            int64_t count = 0;
            if (!parseNumber(line.substr(4), count) || count != static_cast<int64_t>(entries.size()) ||
                in.peek() != std::char_traits<char>::eof())
                return false;
            m_entries = std::move(entries);
            return true;
        }
        const auto f = splitTabs(line, 5);
        int64_t size = 0;
        SyncRecordEntry e;
        if (f.empty() || !parseNumber(f[0], size) || size < 0 || !parseNumber(f[1], e.localMtimeMs) ||
            !parseNumber(f[2], e.remoteMtimeMs) || f[4].empty())
            return false;
        e.size = static_cast<uint64_t>(size);
        e.hash = f[3];
        e.name = f[4];
        if (!entries.emplace(FoldSyncName(e.name), e).second)
            return false;
    }
    return false; // no closing line: cut off
}

SyncRecord::Load SyncRecord::load(const std::string &path, std::string *setAside)
{
    m_entries.clear();
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return errno == ENOENT ? Load::Missing : Load::Damaged;
    std::ostringstream text;
    text << file.rdbuf();
    if (!file.bad() && parse(text.str()))
        return Load::Loaded;
    // Kept for a look, out of the way of the next record.
    const std::string aside = path + ".damaged";
    if (std::rename(path.c_str(), aside.c_str()) == 0 && setAside)
        *setAside = aside;
    return Load::Damaged;
}

int SyncRecord::save(const std::string &path) const
{
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0)
        if (const int e = makeFolders(path.substr(0, slash)); e != 0)
            return e;
    sys::AtomicFile file;
    if (const int e = file.open(path); e != 0)
        return e;
    const std::string text = serialize();
    // On the disk before it takes the old record's place: a crash leaves one or the other.
    if (!sys::writeAll(file.fd(), text.data(), text.size()) || ::fsync(file.fd()) != 0) {
        const int e = errno != 0 ? errno : EIO;
        file.discard();
        return e;
    }
    return file.commit(sys::Placement::Replace);
}

std::string SyncRecord::DataFolder()
{
    const char *xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/')
        return std::string(xdg) + "/VexoFile/sync";
    const char *home = std::getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/.local/share/VexoFile/sync";
    return std::string();
}

} // namespace vexo
