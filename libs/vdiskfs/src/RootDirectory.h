#pragma once

#include "DirEntry.h"
#include "DirtyRange.h"
#include "VDiskError.h"

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace vexo
{

class BlockDevice;
class BootSector;
class NameCodec;

// A file of the root folder as the library shows it.
struct DirFile {
    std::string name;       // the shown name: CP936, 1-17 bytes
    std::u16string key;     // the folded name lookups compare
    uint32_t firstSlot = 0; // first slot of its long-name run, or shortSlot
    uint32_t shortSlot = 0; // the slot of its 8.3 entry
    dirent::ShortEntry entry;
};

// The root folder, held in memory while mounted: the raw slots, the files
// parsed from them with a hash index on their names, and which slots are
// free. Changes are tracked as one dirty byte range written by flush().
class RootDirectory
{
public:
    // How new entries will look: a bare 8.3 entry, or a long name run
    // followed by its 8.3 alias.
    struct NamePlan {
        dirent::ShortName shortName{};
        uint8_t caseFlags = 0;
        std::u16string longName; // empty for a bare 8.3 entry
        uint32_t slots = 1;
    };

    static VDiskError load(BlockDevice &device, const BootSector &boot, NameCodec &codec, RootDirectory &out);
    // Builds the folder from raw slot bytes (a multiple of 32).
    void parse(std::vector<uint8_t> raw, NameCodec &codec);

    // Between beginUndo() and endUndo() the slots every change overwrites
    // are remembered; undo() puts them back (marking them for the next
    // flush) and parses the folder again. Reservations survive it.
    void beginUndo();
    void undo(NameCodec &codec);
    void endUndo();

    uint32_t slotCount() const { return static_cast<uint32_t>(m_slots.size()); }
    size_t fileCount() const { return m_byKey.size(); }
    const DirFile *find(const std::u16string &key) const;
    // True when a folder (made by another tool) has this name.
    bool isFolderName(const std::u16string &key) const { return m_folderKeys.count(key) != 0; }
    const DirFile *fileAt(uint32_t shortSlot) const;
    // The first file whose 8.3 entry is at slot `from` or later.
    const DirFile *nextFile(uint32_t from) const;

    // Chooses the entries for a new name (text is its UTF-16 form). An
    // alias never repeats another entry's 8.3 name, except that of
    // `renamed`, the file being renamed.
    NamePlan plan(std::string_view name, std::u16string_view text, const DirFile *renamed = nullptr);
    // Sets aside a run of free slots and the plan's 8.3 name until create()
    // or release(). Fails with RootFull.
    VDiskError reserve(const NamePlan &plan, uint32_t &firstSlot);
    void release(const NamePlan &plan, uint32_t firstSlot);
    // Writes the reserved slots. `fields` gives everything but the name.
    const DirFile *create(const NamePlan &plan, uint32_t firstSlot, std::string name, std::u16string key,
                          const dirent::ShortEntry &fields);
    void update(uint32_t shortSlot, uint16_t cluster, uint32_t size, FatTime written);
    // Gives the entry another write time, leaving its data as it is.
    void setWritten(uint32_t shortSlot, FatTime written);
    // Marks the file's slots deleted.
    void remove(uint32_t shortSlot);
    // Gives a file new entries (possibly in the slots it had). Fails with
    // RootFull, leaving it as it was.
    VDiskError rename(uint32_t shortSlot, const NamePlan &plan, std::string name, std::u16string key);

    // What parsing found besides files, for the consistency check.
    struct Findings {
        uint32_t orphanSlots = 0;                 // long-name pieces that belong to no entry
        uint32_t unusableEntries = 0;             // 8.3 entries with control characters or named . or ..
        std::vector<dirent::ShortEntry> unusable; // those entries; their chains still count as used
        uint32_t staleSlots = 0;                  // non-zero slots after the end marker
        std::vector<dirent::ShortEntry> folders;  // sub-folders, without . and ..
        std::vector<std::string> duplicateShortNames;
    };
    Findings findings() const;

    bool dirty() const { return !m_dirty.empty(); }
    VDiskError flush(BlockDevice &device, const BootSector &boot);
    const std::vector<uint8_t> &bytes() const { return m_raw; }

private:
    enum class Slot : uint8_t { Free, File, Folder, Reserved, Other };

    void addFile(std::unique_ptr<DirFile> file, NameCodec &codec);
    bool shortTaken(const dirent::ShortName &n, const DirFile *ignore) const;
    void takeShort(const dirent::ShortName &n);
    void dropShort(const dirent::ShortName &n);
    void encodeEntries(const NamePlan &plan, uint32_t firstSlot, const dirent::ShortEntry &fields);
    void setSlots(uint32_t first, uint32_t count, Slot state);
    void derive(NameCodec &codec);
    void dropReservation(uint32_t firstSlot);
    void remember(uint32_t first, uint32_t count);

    struct Reservation {
        uint32_t first;
        uint32_t slots;
        dirent::ShortName shortName;
    };
    struct Saved {
        uint32_t first;
        std::vector<uint8_t> bytes;
    };

    std::vector<uint8_t> m_raw;
    std::vector<Slot> m_slots;
    Findings m_findings;
    std::vector<std::unique_ptr<DirFile>> m_files; // by 8.3 slot
    std::unordered_map<std::u16string, uint32_t> m_byKey;
    std::unordered_map<std::string, uint32_t> m_shortNames; // 8.3 name -> entries using it
    std::unordered_set<std::u16string> m_folderKeys;
    std::unordered_map<std::string, uint32_t> m_tailHint;
    uint32_t m_freeHint = 0;
    DirtyRange m_dirty;
    std::vector<Reservation> m_reservations;
    std::vector<Saved> m_undo;
    bool m_recording = false;
};

// The lookup key of a name given as CP936 bytes. Bytes that are not valid
// CP936 (possible in 8.3 names written elsewhere) still get a distinct key.
std::u16string nameKey(std::string_view name, NameCodec &codec);

} // namespace vexo
