// What both sides of a synchronised pair (a PC folder and a palmtop or an
// image) held after their last synchronisation, so that the next one can
// tell a changed file from an unchanged one and a deleted file from a new
// one. Kept in the user's data folder, never in the synced folder.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace vexo
{

struct SyncRecordEntry {
    std::string name; // the PC's spelling, UTF-8
    uint64_t size = 0;
    int64_t localMtimeMs = 0;  // as the PC folder listed it
    int64_t remoteMtimeMs = 0; // as the other side listed it
    std::string hash;          // the content's hash ("crc32:…"); empty when not known
};

class SyncRecord
{
public:
    enum class Load { Loaded, Missing, Damaged };

    // The record of a pair: `folder` the PC folder, `other` what names the
    // other side (the palmtop's identity, or the image's path).
    SyncRecord(std::string folder, std::string other);

    // The file of this pair's record under `dataFolder` (see DataFolder).
    std::string pathIn(const std::string &dataFolder) const;

    // Reads the record. A file that does not parse, or that belongs to
    // another pair, is renamed to `path` + ".damaged" (its name goes to
    // *setAside) and the record stays empty: it is never trusted.
    Load load(const std::string &path, std::string *setAside = nullptr);
    // Writes the record in place of `path` in one step, creating the
    // folders above it; 0 or an errno value.
    int save(const std::string &path) const;

    // The record's text, and reading it back: false (and nothing kept) when
    // the text is not a whole record of this pair.
    std::string serialize() const;
    bool parse(const std::string &text);

    // Names are matched without regard to the case of ASCII letters, as the
    // palmtop matches them.
    const SyncRecordEntry *find(const std::string &name) const;
    void put(const SyncRecordEntry &entry);
    void clear() { m_entries.clear(); }
    size_t size() const { return m_entries.size(); }

    // $XDG_DATA_HOME/VexoFile/sync (an absolute XDG_DATA_HOME only), else
    // ~/.local/share/VexoFile/sync; empty when neither is known.
    static std::string DataFolder();

private:
    std::string m_folder;
    std::string m_other;
    std::map<std::string, SyncRecordEntry> m_entries; // by folded name
};

// UTF-8 names matched as the palmtop matches them: ASCII letters folded.
std::string FoldSyncName(const std::string &name);

// Hashes are kept as "ALGORITHM:HEX" entries joined by commas ("b2:…,crc32:…"),
// so that a side that offers only an older algorithm can still be compared.
// Two hash texts tell the same content when they share an algorithm and
// every algorithm they share gives the same value.
bool SameContentHash(const std::string &a, const std::string &b);

} // namespace vexo
