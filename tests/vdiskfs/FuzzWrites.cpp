// Fuzz target: writes on a hostile image. Mount it, note every file that
// reads back whole, then put a new file, replace one, remove one, rename
// one, maybe fill the volume, and mount again. Whatever the damage, after
// each step and after the remount: a file that read whole before and that
// no call changed reads the same, a file put reads back as written, and
// every cluster a chain of the root folder reached keeps its bytes unless
// it belonged to a file removed or replaced.
//
// The input is the start of an image, as for vdiskfs_fuzz (up to 2 MiB
// here). Bytes 3-10 (the
// OEM name, which mounting ignores) choose the sizes and the files.
#include "FileReader.h"
#include "FileWriter.h"
#include "LittleEndian.h"
#include "MemoryBlockDevice.h"
#include "Volume.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace
{

using namespace vexo;

bool readWhole(Volume &volume, const std::string &name, std::string &data)
{
    data.clear();
    std::unique_ptr<FileReader> reader;
    if (FileReader::open(volume, name, reader) != VDiskError::None)
        return false;
    char buffer[4096];
    size_t got = 0;
    while (reader->read(buffer, sizeof buffer, got) == VDiskError::None && got > 0)
        data.append(buffer, got);
    return data.size() == reader->size();
}

bool put(Volume &volume, const std::string &name, const std::string &data)
{
    std::unique_ptr<FileWriter> writer;
    if (FileWriter::open(volume, name, writer) != VDiskError::None)
        return false;
    // Two pieces: one that ends mid-cluster, then the rest.
    const size_t split = data.size() / 3;
    return writer->write(data.data(), split) == VDiskError::None &&
           writer->write(data.data() + split, data.size() - split) == VDiskError::None &&
           writer->commit() == VDiskError::None;
}

std::string pattern(size_t length, char seed)
{
    std::string s(length, '\0');
    for (size_t i = 0; i < length; ++i)
        s[i] = static_cast<char>(seed + i * 7 + i / 251);
    return s;
}

// The files that must keep their contents, by the slot of their 8.3 entry
// (a change to one file may change how a damaged neighbour is shown). Only
// a file that its shown name finds can be read by name.
using Sound = std::map<uint32_t, std::string>;

void verify(Volume &volume, const Sound &sound)
{
    for (const auto &file : sound) {
        const DirFile *f = volume.root().fileAt(file.first);
        if (f == nullptr)
            __builtin_trap();
        std::string data;
        if (volume.lookup(f->name) == f && (!readWhole(volume, f->name, data) || data != file.second))
            __builtin_trap();
    }
}

// The clusters the root folder's chains reach, damaged ones included.
std::vector<bool> reachedClusters(Volume &volume)
{
    FatTable &fat = volume.fat();
    std::vector<bool> reached(size_t(fat.lastCluster()) + 1, false);
    auto walk = [&](uint32_t c) {
        while (fat.isDataCluster(c) && !reached[c]) {
            reached[c] = true;
            c = fat.get(c);
        }
    };
    for (const DirFile *f = volume.root().nextFile(0); f != nullptr;
         f = volume.root().nextFile(f->shortSlot + 1))
        walk(f->entry.cluster);
    const RootDirectory::Findings findings = volume.root().findings();
    for (const dirent::ShortEntry &e : findings.unusable)
        walk(e.cluster);
    for (const dirent::ShortEntry &e : findings.folders)
        walk(e.cluster);
    return reached;
}

// Clusters that must keep their bytes, and those bytes as they were.
struct Guard {
    std::vector<bool> clusters;
    std::vector<uint8_t> bytes;

    // A sound file's chain is its alone: once the file is removed or
    // replaced, its clusters may be used again.
    void release(const std::vector<uint32_t> &chain)
    {
        for (uint32_t c : chain)
            clusters[c] = false;
    }
    void verify(Volume &volume) const
    {
        const auto &now = static_cast<MemoryBlockDevice &>(volume.device()).bytes();
        const uint32_t n = volume.boot().clusterBytes();
        for (uint32_t c = 2; c < clusters.size(); ++c) {
            const uint64_t at = volume.boot().clusterOffset(c);
            if (clusters[c] && std::memcmp(now.data() + at, bytes.data() + at, n) != 0)
                __builtin_trap();
        }
    }
};

uint32_t slotOf(Volume &volume, const std::string &name)
{
    return volume.lookup(name)->shortSlot;
}

std::vector<std::string> listed(Volume &volume)
{
    std::vector<std::string> names;
    for (const DirFile *f = volume.root().nextFile(0); f != nullptr;
         f = volume.root().nextFile(f->shortSlot + 1))
        if (volume.lookup(f->name) == f)
            names.push_back(f->name);
    return names;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Smaller than for reading alone: every run writes, remounts and reads
    // each file several times, and speed buys the fuzzer more runs.
    constexpr size_t kMaxImage = 2u << 20;
    constexpr size_t kMaxFill = 512u << 10;
    if (size < 512 || size > kMaxImage)
        return 0;
    std::vector<uint8_t> bytes(data, data + size);
    uint64_t sectors = le::get16(data + 19) != 0 ? le::get16(data + 19) : le::get32(data + 32);
    uint64_t declared = sectors * le::get16(data + 11);
    if (declared > size && declared <= kMaxImage)
        bytes.resize(declared, 0);
    const uint8_t *choice = data + 3;

    std::unique_ptr<Volume> volume;
    if (Volume::mount(std::make_unique<MemoryBlockDevice>(std::move(bytes)), volume) != VDiskError::None)
        return 0;
    Sound sound;
    const std::vector<std::string> names = listed(*volume);
    for (const std::string &name : names) {
        std::string contents;
        if (readWhole(*volume, name, contents))
            sound[slotOf(*volume, name)] = contents;
    }
    auto pick = [&](uint8_t c) { return names.empty() ? std::string("none") : names[c % names.size()]; };
    Guard guard{reachedClusters(*volume), static_cast<MemoryBlockDevice &>(volume->device()).bytes()};
    // The clusters of a sound file's chain (none for another file).
    auto soundChain = [&](const std::string &name) {
        std::vector<uint32_t> chain;
        const DirFile *f = volume->lookup(name);
        if (f == nullptr || sound.count(f->shortSlot) == 0)
            return chain;
        for (uint32_t c = f->entry.cluster; volume->fat().isDataCluster(c) && guard.clusters[c];
             c = volume->fat().get(c))
            if (std::find(chain.begin(), chain.end(), c) == chain.end())
                chain.push_back(c);
            else
                break;
        return chain;
    };
    auto check = [&] {
        verify(*volume, sound);
        guard.verify(*volume);
    };

    const std::string fresh = pattern(size_t(choice[0]) * 97 + choice[1], 'n');
    if (volume->lookup("fuzz new.bin") == nullptr && put(*volume, "fuzz new.bin", fresh))
        sound[slotOf(*volume, "fuzz new.bin")] = fresh;
    check();

    const std::string replaced = pattern(size_t(choice[3]) * 61, 'r');
    const std::string target = pick(choice[2]);
    const std::vector<uint32_t> replacedChain = soundChain(target);
    if (put(*volume, target, replaced)) {
        guard.release(replacedChain);
        sound[slotOf(*volume, target)] = replaced;
    }
    check();

    const std::string gone = pick(choice[4]);
    if (volume->lookup(gone) != nullptr) {
        const uint32_t slot = slotOf(*volume, gone);
        const std::vector<uint32_t> goneChain = soundChain(gone);
        if (volume->remove(gone) == VDiskError::None) {
            guard.release(goneChain);
            sound.erase(slot);
        }
    }
    check();

    const std::string from = pick(choice[5]);
    if (volume->lookup(from) != nullptr && volume->lookup("renamed.txt") == nullptr) {
        const uint32_t slot = slotOf(*volume, from);
        if (volume->rename(from, "renamed.txt") == VDiskError::None && sound.count(slot) != 0) {
            std::string contents = std::move(sound[slot]);
            sound.erase(slot);
            sound[slotOf(*volume, "renamed.txt")] = std::move(contents);
        }
    }
    check();

    const size_t freeBytes = size_t(volume->fat().freeClusters()) * volume->boot().clusterBytes();
    if ((choice[6] & 1) && freeBytes <= kMaxFill) {
        // Every cluster that is free to take.
        const std::string fill = pattern(freeBytes, 'f');
        if (put(*volume, "fill.bin", fill))
            sound[slotOf(*volume, "fill.bin")] = fill;
        check();
    }

    if (volume->sync() != VDiskError::None)
        __builtin_trap();
    std::vector<uint8_t> after = static_cast<MemoryBlockDevice &>(volume->device()).bytes();
    volume.reset();
    if (Volume::mount(std::make_unique<MemoryBlockDevice>(std::move(after)), volume) != VDiskError::None)
        __builtin_trap();
    check();
    return 0;
}
