// The C functions: each runs one session call, records its error for the
// tool, and turns it into the integer its callers expect. No exception
// leaves the library.
#include "VexoVDisk.h"

#include "LittleEndian.h"
#include "VDiskSession.h"

#include <algorithm>
#include <cstring>

using vexo::VDiskError;
using vexo::VDiskSession;

namespace
{

template <typename F> VDiskError guarded(F &&call)
{
    VDiskError e;
    try {
        e = call();
    } catch (...) {
        e = VDiskError::NoMemory;
    }
    vexo::setVdiskLastError(e);
    return e;
}

// The found file as the 44-byte record, the bytes it does not define zero.
void fillRecord(VDiskFindRecord *record, const vexo::FoundFile &found)
{
    std::memset(record, 0, sizeof *record);
    std::memcpy(record->name, found.name.data(), std::min(found.name.size(), sizeof record->name));
    auto clamp = [](int64_t v) { return static_cast<uint32_t>(std::min<int64_t>(v, INT32_MAX)); };
    auto *bytes = reinterpret_cast<uint8_t *>(record);
    vexo::le::put32(bytes + offsetof(VDiskFindRecord, time), clamp(found.seconds));
    // The size as stored: one that no volume can hold shows as what it is.
    vexo::le::put32(bytes + offsetof(VDiskFindRecord, size), found.size);
}

int findInto(VDiskFindRecord *record, int search, bool first)
{
    vexo::FoundFile found;
    const VDiskError e =
        guarded([&] { return VDiskSession::instance().find(record ? &found : nullptr, search, first); });
    if (e != VDiskError::None)
        return -1;
    fillRecord(record, found);
    return 0;
}

} // namespace

extern "C" {

void VEXO_VDISK_CALL SetVdiskFile(const char *path)
{
    guarded([&] {
        VDiskSession::instance().setImage(path);
        return VDiskError::None;
    });
}

int VEXO_VDISK_CALL InitFileSystem(void)
{
    return guarded([] { return VDiskSession::instance().mount(); }) == VDiskError::None ? 0 : 1;
}

int VEXO_VDISK_CALL FormatFileSystem(void)
{
    return guarded([] { return VDiskSession::instance().format(); }) == VDiskError::None ? 0 : 1;
}

void VEXO_VDISK_CALL DestoryFileSystem(void)
{
    guarded([] {
        VDiskSession::instance().unmount();
        return VDiskError::None;
    });
}

int VEXO_VDISK_CALL OpenFindFile(const char *folder)
{
    int search = 0;
    guarded([&] { return VDiskSession::instance().openSearch(folder, search); });
    return search;
}

int VEXO_VDISK_CALL FindFirst(VDiskFindRecord *record, int search)
{
    return findInto(record, search, true);
}

int VEXO_VDISK_CALL FindNext(VDiskFindRecord *record, int search)
{
    return findInto(record, search, false);
}

int VEXO_VDISK_CALL zfopen(const char *name, const char *mode)
{
    int file = 0;
    guarded([&] { return VDiskSession::instance().openFile(name, mode, file); });
    return file;
}

int VEXO_VDISK_CALL zfread(void *buffer, int size, int count, int file)
{
    int done = -1;
    guarded([&] { return VDiskSession::instance().read(buffer, size, count, file, done); });
    return done;
}

int VEXO_VDISK_CALL zfwrite(const void *buffer, int size, int count, int file)
{
    VDiskError e = guarded([&] { return VDiskSession::instance().write(buffer, size, count, file); });
    return e == VDiskError::None ? size * count : -1;
}

int VEXO_VDISK_CALL zfclose(int file)
{
    return guarded([&] { return VDiskSession::instance().close(file); }) == VDiskError::None ? 0 : -1;
}

int VEXO_VDISK_CALL zflen(const char *name)
{
    int bytes = -1;
    guarded([&] { return VDiskSession::instance().length(name, bytes); });
    return bytes;
}

int VEXO_VDISK_CALL zffind(const char *name)
{
    return guarded([&] { return VDiskSession::instance().exists(name); }) == VDiskError::None ? 1 : 0;
}

int VEXO_VDISK_CALL zfdelete(const char *name)
{
    return guarded([&] { return VDiskSession::instance().remove(name); }) == VDiskError::None ? 1 : 0;
}

int VEXO_VDISK_CALL zrename(const char *oldName, const char *newName)
{
    return guarded([&] { return VDiskSession::instance().rename(oldName, newName); }) == VDiskError::None ? 1
                                                                                                          : 0;
}

int VEXO_VDISK_CALL zsettime(const char *name, int32_t time)
{
    return guarded([&] { return VDiskSession::instance().setTime(name, time); }) == VDiskError::None ? 1 : 0;
}

int VEXO_VDISK_CALL zcheck(void)
{
    int problems = -1;
    guarded([&] { return VDiskSession::instance().check(problems); });
    return problems;
}

int VEXO_VDISK_CALL zdiskspace(uint32_t *freeClusters, uint32_t *totalClusters, uint32_t *clusterBytes)
{
    return guarded([&] {
               return VDiskSession::instance().space(freeClusters, totalClusters, clusterBytes);
           }) == VDiskError::None
               ? 0
               : -1;
}

int VEXO_VDISK_CALL zbusytext(char *text, int size)
{
    const std::string &detail = vexo::vdiskLastErrorDetail();
    if (text != nullptr && size > 0) {
        const size_t n = std::min(detail.size(), size_t(size - 1));
        std::memcpy(text, detail.data(), n);
        text[n] = '\0';
    }
    return static_cast<int>(detail.size());
}

} // extern "C"
