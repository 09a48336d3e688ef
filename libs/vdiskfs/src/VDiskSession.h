#pragma once

#include "ImageLock.h"
#include "VDiskError.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace vexo
{

class FileReader;
class FileWriter;
class Volume;

// One file a search found, as stored; the C functions lay it out as their
// record.
struct FoundFile {
    std::string name;    // CP936, 1-17 bytes
    int64_t seconds = 0; // last write, since 1970-01-01 00:00 without time-zone conversion
    uint32_t size = 0;
};

// The state behind the C functions: the named image, the mounted volume,
// the open files and searches. Every public member takes the mutex, so the
// C functions may be called from any thread.
//
// The image file's lock is held only while a call reads or changes the
// image, or while a file is open in it (shared for readers, exclusive while
// one is written), unless the tool keeps it for a whole command. When it
// was let go and another writer changed the image meanwhile, the cached
// tables are read again before they are used.
class VDiskSession
{
public:
    static VDiskSession &instance();

    void setImage(const char *path);
    VDiskError mount();
    // `bytes` 0 keeps the image's size (16 MiB for a new one).
    VDiskError format(uint64_t bytes = 0);
    // The next mount takes the lock at least at `mode` and keeps it until
    // unmounted.
    void keepFromMount(ImageLock::Mode mode);
    void unmount();
    VDiskError openSearch(const char *folder, int &search);
    // A null `found` is refused (BadArgument), after the checks that come first.
    VDiskError find(FoundFile *found, int search, bool first);
    VDiskError openFile(const char *name, const char *mode, int &file);
    VDiskError read(void *buffer, int size, int count, int file, int &done);
    VDiskError write(const void *buffer, int size, int count, int file);
    VDiskError close(int file);
    VDiskError abandon(int file);
    VDiskError length(const char *name, int &bytes);
    VDiskError exists(const char *name);
    VDiskError remove(const char *name);
    VDiskError rename(const char *from, const char *to);
    VDiskError setTime(const char *name, int32_t seconds);
    // `problems` receives how many the consistency check finds.
    VDiskError check(int &problems);
    VDiskError space(uint32_t *freeClusters, uint32_t *totalClusters, uint32_t *clusterBytes);

private:
    struct OpenFile {
        std::unique_ptr<FileReader> reader;
        std::unique_ptr<FileWriter> writer;
    };
    struct Search {
        int id;
        uint32_t nextSlot;
    };

    VDiskSession();
    ~VDiskSession();
    void unmountLocked();
    VDiskError mountLocked();
    VDiskError formatLocked(uint64_t bytes);
    bool mountedIsImage() const;
    int newHandle();
    // Raises the image's lock for a call, reading the tables again when
    // they are stale; settle() lowers it to what open files and
    // keepFromMount() still need.
    VDiskError lockFor(ImageLock::Mode mode);
    void settle();
    template <typename Call>
    VDiskError withNames(ImageLock::Mode mode, std::initializer_list<const char *> names, Call call);

    std::mutex m_mutex;
    std::string m_path;
    std::unique_ptr<Volume> m_volume;
    uint64_t m_mountedDevice = 0;
    uint64_t m_mountedInode = 0;
    ImageLock m_lock;
    ImageLock::Mode m_kept = ImageLock::Mode::None;
    ImageLock::Mode m_keepNext = ImageLock::Mode::None;
    bool m_tablesStale = false;
    std::unordered_map<int, OpenFile> m_files;
    std::deque<Search> m_searches;
    int m_nextHandle = 1;
    int m_nextSearch = 1;
};

// For the vdisk tool, beside the C functions:
// the error behind this thread's last failed C call (None after a success),
// with the program behind an InUse or HeldOpen since the last success in
// words ("" otherwise),
VDiskError vdiskLastError();
const std::string &vdiskLastErrorDetail();
void setVdiskLastError(VDiskError error);
void setVdiskLastErrorDetail(const std::string &detail);
// keeping the image's lock for a whole command (from the next
// InitFileSystem until unmounted; `changing` exclusive, else shared), and a
// format to a new size; both 0, or -1 with the error set,
int vdiskKeepLock(bool changing);
int vdiskFormat(uint64_t bytes);
// and dropping a file opened with "w+" without completing it (an older file
// of that name keeps its contents). Returns 0, or -1 on a bad handle.
int vdiskAbandon(int file);

} // namespace vexo
