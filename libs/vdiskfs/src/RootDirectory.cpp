#include "RootDirectory.h"

#include "BlockDevice.h"
#include "BootSector.h"
#include "NameCodec.h"
#include "ShortName.h"

#include <algorithm>
#include <cstring>

namespace vexo
{

namespace
{

constexpr size_t kMaxNameBytes = 17;

std::string shortKey(const dirent::ShortName &n)
{
    return std::string(reinterpret_cast<const char *>(n.data()), n.size());
}

// Characters that never belong in a name the library shows: they could
// turn a listed name into a path.
bool unsafeChar(char16_t c)
{
    return c < 0x20 || c == 0x7F || c == u'/' || c == u'\\';
}

bool isDotName(const dirent::ShortName &n)
{
    static const dirent::ShortName dot = {'.', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    static const dirent::ShortName dotDot = {'.', '.', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    return n == dot || n == dotDot;
}

bool usableShortName(const dirent::ShortName &n)
{
    // "." and ".." name folders themselves, never a file.
    if (isDotName(n))
        return false;
    for (size_t i = 0; i < n.size(); ++i) {
        uint8_t c = n[i];
        if (i == 0 && c == dirent::kKanjiE5)
            continue;
        if (c < 0x20 || c == 0x7F || c == '/')
            return false;
    }
    return n[0] != ' ';
}

} // namespace

std::u16string nameKey(std::string_view name, NameCodec &codec)
{
    std::u16string text;
    if (codec.toUtf16(name, text))
        return NameCodec::foldCase(text);
    // Not CP936: a key no valid name can have.
    std::u16string raw(1, u'\xFFFF');
    for (char c : name)
        raw.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return raw;
}

VDiskError RootDirectory::load(BlockDevice &device, const BootSector &boot, NameCodec &codec,
                               RootDirectory &out)
{
    std::vector<uint8_t> raw(boot.rootBytes());
    VDiskError e = device.read(boot.rootOffset(), raw.data(), raw.size());
    if (e != VDiskError::None)
        return e;
    out.parse(std::move(raw), codec);
    return VDiskError::None;
}

void RootDirectory::parse(std::vector<uint8_t> raw, NameCodec &codec)
{
    m_raw = std::move(raw);
    m_raw.resize(m_raw.size() / dirent::kSize * dirent::kSize);
    m_dirty.clear();
    m_reservations.clear();
    derive(codec);
}

void RootDirectory::derive(NameCodec &codec)
{
    const uint32_t count = static_cast<uint32_t>(m_raw.size() / dirent::kSize);
    m_slots.assign(count, Slot::Other);
    m_files.clear();
    m_files.resize(count);
    m_byKey.clear();
    m_shortNames.clear();
    m_folderKeys.clear();
    m_tailHint.clear();
    m_findings = Findings();

    uint32_t end = count;
    for (uint32_t i = 0; i < count; ++i)
        if (m_raw[size_t(i) * dirent::kSize] == dirent::kEnd) {
            end = i;
            break;
        }

    // The long-name run being collected: pieces arrive last piece first.
    std::u16string pieces;
    uint32_t runStart = 0;
    int expected = 0; // next ordinal wanted; 0 = the run is complete
    bool inRun = false;
    uint8_t runChecksum = 0;

    for (uint32_t i = 0; i < end; ++i) {
        const uint8_t *s = &m_raw[size_t(i) * dirent::kSize];
        if (s[0] == dirent::kFree) {
            m_slots[i] = Slot::Free;
            inRun = false;
            continue;
        }
        if (dirent::isLongName(s)) {
            dirent::LfnEntry piece = dirent::LfnEntry::decode(s);
            int ordinal = piece.ordinal & dirent::kLfnOrdinalMask;
            if (piece.ordinal & dirent::kLfnLast) {
                // A long name has at most 20 pieces (255 characters).
                inRun = ordinal >= 1 && ordinal <= 20;
                if (inRun) {
                    pieces.assign(size_t(ordinal) * dirent::kLfnChars, u'\0');
                    runStart = i;
                    runChecksum = piece.checksum;
                    expected = ordinal;
                }
            } else if (!inRun || ordinal != expected || piece.checksum != runChecksum) {
                inRun = false;
            }
            if (inRun) {
                std::copy(piece.chars.begin(), piece.chars.end(),
                          pieces.begin() + (expected - 1) * dirent::kLfnChars);
                --expected;
            }
            continue; // stays Other unless its 8.3 entry claims it
        }
        dirent::ShortEntry entry = dirent::ShortEntry::decode(s);
        const bool longValid = inRun && expected == 0 && dirent::checksum(entry.name) == runChecksum;
        inRun = false;
        if (entry.attr & (dirent::kAttrVolume | dirent::kAttrDirectory)) {
            // Folders made by other tools are not shown, but their names
            // are taken: no file may get one, nor an alias equal to theirs.
            if (!(entry.attr & dirent::kAttrVolume)) {
                takeShort(entry.name);
                setSlots(longValid ? runStart : i, longValid ? i - runStart + 1 : 1, Slot::Folder);
                m_folderKeys.insert(nameKey(shortname::display(entry.name, entry.caseFlags), codec));
                if (longValid)
                    m_folderKeys.insert(NameCodec::foldCase(pieces.substr(0, pieces.find(u'\0'))));
                if (entry.name[0] != '.')
                    m_findings.folders.push_back(entry);
            }
            continue;
        }
        if (!usableShortName(entry.name)) {
            ++m_findings.unusableEntries;
            m_findings.unusable.push_back(entry);
            continue;
        }
        auto file = std::make_unique<DirFile>();
        file->entry = entry;
        file->shortSlot = i;
        file->firstSlot = longValid ? runStart : i;
        if (longValid) {
            size_t length = pieces.find(u'\0');
            std::u16string text = pieces.substr(0, length);
            std::string name;
            bool safe = !text.empty() && text != u"." && text != u".." &&
                        std::none_of(text.begin(), text.end(), unsafeChar);
            if (safe && codec.toCp936(text, name) && name.size() <= kMaxNameBytes)
                file->name = std::move(name);
        }
        addFile(std::move(file), codec);
    }
    // Slots from the end marker on are free and must read as zero, so that
    // entries written there never bring stale bytes into view.
    for (uint32_t i = end; i < count; ++i) {
        m_slots[i] = Slot::Free;
        uint8_t *s = &m_raw[size_t(i) * dirent::kSize];
        if (std::any_of(s, s + dirent::kSize, [](uint8_t b) { return b != 0; })) {
            ++m_findings.staleSlots;
            std::memset(s, 0, dirent::kSize);
            m_dirty.add(size_t(i) * dirent::kSize, size_t(i + 1) * dirent::kSize);
        }
    }
    m_freeHint = 0;
    for (uint32_t i = 0; i < end; ++i)
        if (m_slots[i] == Slot::Other && dirent::isLongName(&m_raw[size_t(i) * dirent::kSize]))
            ++m_findings.orphanSlots;
    for (const Reservation &r : m_reservations) {
        setSlots(r.first, r.slots, Slot::Reserved);
        takeShort(r.shortName);
    }
}

void RootDirectory::remember(uint32_t first, uint32_t count)
{
    if (!m_recording)
        return;
    auto from = m_raw.begin() + long(first) * long(dirent::kSize);
    m_undo.push_back({first, std::vector<uint8_t>(from, from + long(count) * long(dirent::kSize))});
}

void RootDirectory::beginUndo()
{
    m_undo.clear();
    m_recording = true;
}

void RootDirectory::undo(NameCodec &codec)
{
    m_recording = false;
    if (m_undo.empty())
        return;
    for (auto it = m_undo.rbegin(); it != m_undo.rend(); ++it) {
        std::copy(it->bytes.begin(), it->bytes.end(), m_raw.begin() + long(it->first) * long(dirent::kSize));
        m_dirty.add(size_t(it->first) * dirent::kSize, size_t(it->first) * dirent::kSize + it->bytes.size());
    }
    m_undo.clear();
    derive(codec);
}

void RootDirectory::endUndo()
{
    m_recording = false;
    m_undo.clear();
}

RootDirectory::Findings RootDirectory::findings() const
{
    Findings f = m_findings;
    for (const auto &entry : m_shortNames)
        if (entry.second > 1)
            f.duplicateShortNames.push_back(entry.first);
    return f;
}

void RootDirectory::addFile(std::unique_ptr<DirFile> file, NameCodec &codec)
{
    std::string shortText = shortname::display(file->entry.name, file->entry.caseFlags);
    if (file->name.empty())
        file->name = shortText;
    file->key = nameKey(file->name, codec);
    // Two shown names that compare equal: the later file is shown by its
    // 8.3 name, which is unique on any sound volume.
    if (m_byKey.count(file->key) != 0 && file->name != shortText) {
        file->name = shortText;
        file->key = nameKey(file->name, codec);
    }
    takeShort(file->entry.name);
    setSlots(file->firstSlot, file->shortSlot - file->firstSlot + 1, Slot::File);
    m_byKey.emplace(file->key, file->shortSlot);
    m_files[file->shortSlot] = std::move(file);
}

const DirFile *RootDirectory::find(const std::u16string &key) const
{
    auto it = m_byKey.find(key);
    return it == m_byKey.end() ? nullptr : m_files[it->second].get();
}

const DirFile *RootDirectory::fileAt(uint32_t shortSlot) const
{
    return shortSlot < m_files.size() ? m_files[shortSlot].get() : nullptr;
}

const DirFile *RootDirectory::nextFile(uint32_t from) const
{
    for (uint32_t i = from; i < m_files.size(); ++i)
        if (m_files[i])
            return m_files[i].get();
    return nullptr;
}

bool RootDirectory::shortTaken(const dirent::ShortName &n, const DirFile *ignore) const
{
    auto it = m_shortNames.find(shortKey(n));
    uint32_t users = it == m_shortNames.end() ? 0 : it->second;
    if (ignore != nullptr && ignore->entry.name == n && users > 0)
        --users;
    return users > 0;
}

void RootDirectory::takeShort(const dirent::ShortName &n)
{
    ++m_shortNames[shortKey(n)];
}

void RootDirectory::dropShort(const dirent::ShortName &n)
{
    auto it = m_shortNames.find(shortKey(n));
    if (it != m_shortNames.end() && --it->second == 0)
        m_shortNames.erase(it);
}

RootDirectory::NamePlan RootDirectory::plan(std::string_view name, std::u16string_view text,
                                            const DirFile *renamed)
{
    NamePlan p;
    if (shortname::plainForm(name, p.shortName, p.caseFlags) && !shortTaken(p.shortName, renamed))
        return p;
    p.caseFlags = 0;
    p.longName = std::u16string(text);
    p.slots = 1 + static_cast<uint32_t>((p.longName.size() + dirent::kLfnChars - 1) / dirent::kLfnChars);
    shortname::Basis b = shortname::basis(name);
    p.shortName = shortname::compose(b.base, b.ext);
    if (!b.lossy && !shortTaken(p.shortName, renamed))
        return p;
    // Tails count on from the last one handed out for this basis, so a
    // thousand similar names do not each retry every earlier tail.
    std::string hintKey = b.base + "." + b.ext;
    uint32_t &hint = m_tailHint[hintKey];
    uint32_t n = std::max<uint32_t>(hint, 1);
    for (uint32_t tries = 0; tries < 1000000; ++tries, ++n) {
        if (n > 999999)
            n = 1;
        p.shortName = shortname::withTail(b, n);
        if (!shortTaken(p.shortName, renamed)) {
            hint = n + 1;
            return p;
        }
    }
    return p; // unreachable on a root folder of at most 65535 entries
}

void RootDirectory::setSlots(uint32_t first, uint32_t count, Slot state)
{
    for (uint32_t i = first; i < first + count && i < m_slots.size(); ++i)
        m_slots[i] = state;
    if (state == Slot::Free)
        m_freeHint = std::min(m_freeHint, first);
}

VDiskError RootDirectory::reserve(const NamePlan &plan, uint32_t &firstSlot)
{
    uint32_t run = 0;
    bool sawFree = false;
    for (uint32_t i = m_freeHint; i < m_slots.size(); ++i) {
        if (m_slots[i] != Slot::Free) {
            run = 0;
            continue;
        }
        if (!sawFree) {
            m_freeHint = i;
            sawFree = true;
        }
        if (++run == plan.slots) {
            firstSlot = i + 1 - run;
            setSlots(firstSlot, run, Slot::Reserved);
            takeShort(plan.shortName);
            m_reservations.push_back({firstSlot, run, plan.shortName});
            return VDiskError::None;
        }
    }
    if (!sawFree)
        m_freeHint = static_cast<uint32_t>(m_slots.size());
    return VDiskError::RootFull;
}

void RootDirectory::release(const NamePlan &plan, uint32_t firstSlot)
{
    setSlots(firstSlot, plan.slots, Slot::Free);
    dropShort(plan.shortName);
    dropReservation(firstSlot);
}

void RootDirectory::dropReservation(uint32_t firstSlot)
{
    m_reservations.erase(std::remove_if(m_reservations.begin(), m_reservations.end(),
                                        [&](const Reservation &r) { return r.first == firstSlot; }),
                         m_reservations.end());
}

void RootDirectory::encodeEntries(const NamePlan &plan, uint32_t firstSlot, const dirent::ShortEntry &fields)
{
    remember(firstSlot, plan.slots);
    const uint32_t pieces = plan.slots - 1;
    const uint8_t sum = dirent::checksum(plan.shortName);
    for (uint32_t k = 0; k < pieces; ++k) {
        // Slots run from the last piece down to piece 1.
        uint32_t number = pieces - k;
        dirent::LfnEntry piece;
        piece.ordinal = static_cast<uint8_t>(number | (number == pieces ? dirent::kLfnLast : 0));
        piece.checksum = sum;
        for (int c = 0; c < dirent::kLfnChars; ++c) {
            size_t at = size_t(number - 1) * dirent::kLfnChars + size_t(c);
            char16_t ch = at < plan.longName.size() ? plan.longName[at]
                                                    : (at == plan.longName.size() ? u'\0' : u'\xFFFF');
            piece.chars[size_t(c)] = ch;
        }
        piece.encode(&m_raw[size_t(firstSlot + k) * dirent::kSize]);
    }
    dirent::ShortEntry entry = fields;
    entry.name = plan.shortName;
    entry.caseFlags = plan.caseFlags;
    entry.encode(&m_raw[size_t(firstSlot + pieces) * dirent::kSize]);
    m_dirty.add(size_t(firstSlot) * dirent::kSize, size_t(firstSlot + plan.slots) * dirent::kSize);
}

const DirFile *RootDirectory::create(const NamePlan &plan, uint32_t firstSlot, std::string name,
                                     std::u16string key, const dirent::ShortEntry &fields)
{
    encodeEntries(plan, firstSlot, fields);
    dropReservation(firstSlot);
    auto file = std::make_unique<DirFile>();
    file->name = std::move(name);
    file->key = std::move(key);
    file->firstSlot = firstSlot;
    file->shortSlot = firstSlot + plan.slots - 1;
    file->entry = dirent::ShortEntry::decode(&m_raw[size_t(file->shortSlot) * dirent::kSize]);
    // The 8.3 name was taken when the slots were reserved.
    setSlots(firstSlot, plan.slots, Slot::File);
    m_byKey[file->key] = file->shortSlot;
    uint32_t slot = file->shortSlot;
    m_files[slot] = std::move(file);
    return m_files[slot].get();
}

void RootDirectory::update(uint32_t shortSlot, uint16_t cluster, uint32_t size, FatTime written)
{
    remember(shortSlot, 1);
    DirFile *file = m_files[shortSlot].get();
    file->entry.cluster = cluster;
    file->entry.size = size;
    file->entry.written = written;
    file->entry.accessDate = written.date;
    file->entry.attr |= dirent::kAttrArchive;
    file->entry.encode(&m_raw[size_t(shortSlot) * dirent::kSize]);
    m_dirty.add(size_t(shortSlot) * dirent::kSize, size_t(shortSlot + 1) * dirent::kSize);
}

void RootDirectory::setWritten(uint32_t shortSlot, FatTime written)
{
    const DirFile *file = m_files[shortSlot].get();
    update(shortSlot, file->entry.cluster, file->entry.size, written);
}

void RootDirectory::remove(uint32_t shortSlot)
{
    remember(m_files[shortSlot]->firstSlot, shortSlot - m_files[shortSlot]->firstSlot + 1);
    std::unique_ptr<DirFile> file = std::move(m_files[shortSlot]);
    for (uint32_t i = file->firstSlot; i <= shortSlot; ++i)
        m_raw[size_t(i) * dirent::kSize] = dirent::kFree;
    m_dirty.add(size_t(file->firstSlot) * dirent::kSize, size_t(shortSlot + 1) * dirent::kSize);
    setSlots(file->firstSlot, shortSlot - file->firstSlot + 1, Slot::Free);
    auto it = m_byKey.find(file->key);
    if (it != m_byKey.end() && it->second == shortSlot)
        m_byKey.erase(it);
    dropShort(file->entry.name);
}

VDiskError RootDirectory::rename(uint32_t shortSlot, const NamePlan &plan, std::string name,
                                 std::u16string key)
{
    DirFile *old = m_files[shortSlot].get();
    const uint32_t oldFirst = old->firstSlot;
    const uint32_t oldCount = shortSlot - oldFirst + 1;
    std::vector<uint8_t> saved(m_raw.begin() + long(oldFirst) * dirent::kSize,
                               m_raw.begin() + long(shortSlot + 1) * dirent::kSize);
    dirent::ShortEntry fields = old->entry;
    std::string oldName = old->name;
    std::u16string oldKey = old->key;

    // Free the old slots first so the new entries may reuse them; the whole
    // change then lands in the image with one write.
    remove(shortSlot);
    uint32_t first = 0;
    if (reserve(plan, first) != VDiskError::None) {
        std::copy(saved.begin(), saved.end(), m_raw.begin() + long(oldFirst) * dirent::kSize);
        auto file = std::make_unique<DirFile>();
        file->name = std::move(oldName);
        file->key = std::move(oldKey);
        file->firstSlot = oldFirst;
        file->shortSlot = shortSlot;
        file->entry = fields;
        takeShort(fields.name);
        setSlots(oldFirst, oldCount, Slot::File);
        m_byKey[file->key] = shortSlot;
        m_files[shortSlot] = std::move(file);
        return VDiskError::RootFull;
    }
    create(plan, first, std::move(name), std::move(key), fields);
    return VDiskError::None;
}

VDiskError RootDirectory::flush(BlockDevice &device, const BootSector &boot)
{
    if (!dirty())
        return VDiskError::None;
    VDiskError e = device.write(boot.rootOffset() + m_dirty.begin, &m_raw[m_dirty.begin], m_dirty.size());
    if (e == VDiskError::None)
        m_dirty.clear();
    return e;
}

} // namespace vexo
