// Fuzz target: mount a hostile image, list it, read every file, check it.
// The input is the start of an image; the rest of the volume its boot
// sector declares (up to 4 MiB) reads as zeros, so a small input can stand
// for a FAT16 volume.
#include "FileReader.h"
#include "LittleEndian.h"
#include "MemoryBlockDevice.h"
#include "Volume.h"
#include "VolumeChecker.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace vexo;
    constexpr size_t kMaxImage = 4u << 20;
    if (size > kMaxImage)
        return 0;
    std::vector<uint8_t> bytes(data, data + size);
    if (size >= 512) {
        uint64_t sectors = le::get16(data + 19) != 0 ? le::get16(data + 19) : le::get32(data + 32);
        uint64_t declared = sectors * le::get16(data + 11);
        if (declared > size && declared <= kMaxImage)
            bytes.resize(declared, 0);
    }
    {
        MemoryBlockDevice device(bytes);
        CheckReport report;
        (void)VolumeChecker::check(device, report);
    }
    std::unique_ptr<Volume> volume;
    if (Volume::mount(std::make_unique<MemoryBlockDevice>(std::move(bytes)), volume) != VDiskError::None)
        return 0;
    std::vector<uint8_t> buffer(70000);
    for (const DirFile *f = volume->root().nextFile(0); f != nullptr;
         f = volume->root().nextFile(f->shortSlot + 1)) {
        if (f->name.empty() || f->name.size() > 17)
            __builtin_trap(); // every listed name fits the record
        std::unique_ptr<FileReader> reader;
        if (FileReader::open(*volume, f->name, reader) != VDiskError::None)
            continue;
        size_t got = 0;
        size_t total = 0;
        // Small pieces and large ones take different paths.
        while (reader->read(buffer.data(), total % 2 ? 1000 : buffer.size(), got) == VDiskError::None &&
               got > 0)
            total += got;
        if (total > reader->size())
            __builtin_trap();
    }
    return 0;
}
