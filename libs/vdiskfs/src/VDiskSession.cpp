#include "VDiskSession.h"

#include "FileBlockDevice.h"
#include "FileReader.h"
#include "FileWriter.h"
#include "Volume.h"
#include "VolumeChecker.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace vexo
{

namespace
{

constexpr size_t kMaxOpenFiles = 64;
constexpr size_t kMaxSearches = 16;
constexpr uint64_t kNewImageBytes = 16 * 1024 * 1024;

uint32_t newVolumeId()
{
    try {
        std::random_device random;
        return random();
    } catch (...) {
        return static_cast<uint32_t>(std::time(nullptr)) ^ (static_cast<uint32_t>(::getpid()) << 16);
    }
}

bool isRootFolder(const char *folder)
{
    return folder != nullptr &&
           (std::strcmp(folder, "/") == 0 || std::strcmp(folder, "\\") == 0 || folder[0] == '\0');
}

// fread-style arguments as a byte count.
VDiskError byteCount(const void *buffer, int size, int count, size_t &bytes)
{
    if (size < 0 || count < 0)
        return VDiskError::BadArgument;
    int64_t total = int64_t(size) * count;
    if (total > INT_MAX)
        return VDiskError::BadArgument;
    if (total > 0 && buffer == nullptr)
        return VDiskError::BadArgument;
    bytes = static_cast<size_t>(total);
    return VDiskError::None;
}

thread_local VDiskError t_lastError = VDiskError::None;
thread_local std::string t_lastDetail;

int recorded(VDiskError e)
{
    setVdiskLastError(e);
    return e == VDiskError::None ? 0 : -1;
}

} // namespace

VDiskError vdiskLastError()
{
    return t_lastError;
}

const std::string &vdiskLastErrorDetail()
{
    return t_lastDetail;
}

void setVdiskLastError(VDiskError error)
{
    t_lastError = error;
    // Kept over later failures: a caller's clean-up after a refused change
    // must not hide why it was refused.
    if (error == VDiskError::None)
        t_lastDetail.clear();
}

void setVdiskLastErrorDetail(const std::string &detail)
{
    t_lastDetail = detail;
}

int vdiskKeepLock(bool changing)
{
    try {
        return recorded((VDiskSession::instance().keepFromMount(changing ? ImageLock::Mode::Exclusive
                                                                         : ImageLock::Mode::Shared),
                         VDiskError::None));
    } catch (...) {
        return recorded(VDiskError::NoMemory);
    }
}

int vdiskFormat(uint64_t bytes)
{
    try {
        return recorded(VDiskSession::instance().format(bytes));
    } catch (...) {
        return recorded(VDiskError::NoMemory);
    }
}

int vdiskAbandon(int file)
{
    try {
        VDiskError e = VDiskSession::instance().abandon(file);
        setVdiskLastError(e);
        return e == VDiskError::None ? 0 : -1;
    } catch (...) {
        setVdiskLastError(VDiskError::NoMemory);
        return -1;
    }
}

VDiskSession::VDiskSession() = default;

VDiskSession::~VDiskSession()
{
    // At process exit: complete nothing, but leave the image consistent.
    unmountLocked();
}

VDiskSession &VDiskSession::instance()
{
    static VDiskSession session;
    return session;
}

void VDiskSession::setImage(const char *path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_path = path != nullptr ? path : "";
}

void VDiskSession::unmountLocked()
{
    // Readers first: they may hold chains whose freeing waits for them.
    for (auto &entry : m_files)
        entry.second.reader.reset();
    for (auto &entry : m_files)
        entry.second.writer.reset();
    m_files.clear();
    m_searches.clear();
    if (m_volume)
        (void)m_volume->sync();
    m_volume.reset();
    m_lock.attach(nullptr, 0);
    m_kept = ImageLock::Mode::None;
    m_tablesStale = false;
}

VDiskError VDiskSession::lockFor(ImageLock::Mode mode)
{
    bool stale = false;
    VDiskError e = m_lock.raise(mode, stale);
    m_tablesStale = m_tablesStale || stale;
    if (e == VDiskError::None && m_tablesStale && (e = m_volume->reload()) == VDiskError::None) {
        m_tablesStale = false;
        m_lock.setTableBytes(m_volume->boot().dataOffset());
    }
    if (e == VDiskError::InUse || e == VDiskError::HeldOpen)
        setVdiskLastErrorDetail(m_lock.detail());
    if (e != VDiskError::None)
        settle();
    return e;
}

void VDiskSession::settle()
{
    ImageLock::Mode need = m_kept;
    for (const auto &entry : m_files)
        need = std::max(need, entry.second.writer ? ImageLock::Mode::Exclusive : ImageLock::Mode::Shared);
    m_lock.lower(need);
}

void VDiskSession::keepFromMount(ImageLock::Mode mode)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_keepNext = mode;
}

void VDiskSession::unmount()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    unmountLocked();
}

VDiskError VDiskSession::mountLocked()
{
    unmountLocked();
    if (m_path.empty())
        return VDiskError::NoImage;
    std::unique_ptr<FileBlockDevice> device;
    VDiskError e = FileBlockDevice::open(m_path, device);
    if (e != VDiskError::None)
        return e;
    uint64_t dev = device->device(), ino = device->inode();
    // The tables are read under the lock: never halfway through another's change.
    // A lock kept for a whole command is taken at once, as it will be kept.
    const ImageLock::Mode kept = std::exchange(m_keepNext, ImageLock::Mode::None);
    ImageLock guard;
    guard.attach(device.get(), 0);
    bool stale = false;
    if ((e = guard.raise(std::max(kept, ImageLock::Mode::Shared), stale)) != VDiskError::None) {
        setVdiskLastErrorDetail(guard.detail());
        return e;
    }
    std::unique_ptr<Volume> volume;
    if ((e = Volume::mount(std::move(device), volume)) != VDiskError::None)
        return e;
    m_volume = std::move(volume);
    m_mountedDevice = dev;
    m_mountedInode = ino;
    m_lock = guard;
    m_lock.setTableBytes(m_volume->boot().dataOffset());
    m_kept = kept;
    settle();
    return VDiskError::None;
}

VDiskError VDiskSession::mount()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return mountLocked();
}

bool VDiskSession::mountedIsImage() const
{
    struct stat st {
    };
    return m_volume && ::stat(m_path.c_str(), &st) == 0 && uint64_t(st.st_dev) == m_mountedDevice &&
           uint64_t(st.st_ino) == m_mountedInode;
}

VDiskError VDiskSession::format(uint64_t bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_path.empty())
        return VDiskError::NoImage;
    const bool remount = mountedIsImage();
    if (remount)
        unmountLocked();
    VDiskError e = formatLocked(bytes);
    // Mounted before, mounted after: freshly formatted, or as it was when
    // the format failed.
    if (remount) {
        VDiskError m = mountLocked();
        if (e == VDiskError::None)
            e = m;
    }
    return e;
}

VDiskError VDiskSession::formatLocked(uint64_t bytes)
{
    std::unique_ptr<FileBlockDevice> device;
    struct stat st {
    };
    VDiskError e = ::stat(m_path.c_str(), &st) != 0 && errno == ENOENT
                       ? FileBlockDevice::create(m_path, bytes != 0 ? bytes : kNewImageBytes, device)
                       : FileBlockDevice::open(m_path, device);
    if (e != VDiskError::None)
        return e;
    if (!device->writable())
        return VDiskError::ReadOnly;
    ImageLock guard;
    guard.attach(device.get(), 0);
    bool stale = false;
    if ((e = guard.raise(ImageLock::Mode::Exclusive, stale)) != VDiskError::None) {
        setVdiskLastErrorDetail(guard.detail());
        return e;
    }
    if (bytes != 0 && bytes != device->size() && (e = device->resize(bytes)) != VDiskError::None)
        return e;
    return Volume::format(*device, newVolumeId());
}

VDiskError VDiskSession::openSearch(const char *folder, int &search)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    search = 0;
    if (!m_volume)
        return VDiskError::NotMounted;
    if (!isRootFolder(folder))
        return VDiskError::NotFound;
    // Searches are never closed: keep the most recent few.
    if (m_searches.size() == kMaxSearches)
        m_searches.pop_front();
    if (m_nextSearch == INT_MAX)
        m_nextSearch = 1;
    search = m_nextSearch++;
    m_searches.push_back({search, 0});
    return VDiskError::None;
}

VDiskError VDiskSession::find(FoundFile *found, int search, bool first)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_volume)
        return VDiskError::NotMounted;
    if (found == nullptr)
        return VDiskError::BadArgument;
    Search *s = nullptr;
    for (Search &candidate : m_searches)
        if (candidate.id == search)
            s = &candidate;
    if (s == nullptr)
        return VDiskError::BadHandle;
    VDiskError e = lockFor(ImageLock::Mode::Shared);
    if (e != VDiskError::None)
        return e;
    struct Settle {
        VDiskSession &session;
        ~Settle() { session.settle(); }
    } settle{*this};
    if (first)
        s->nextSlot = 0;
    const DirFile *file = m_volume->root().nextFile(s->nextSlot);
    if (file == nullptr) {
        s->nextSlot = m_volume->root().slotCount();
        return VDiskError::NotFound;
    }
    found->name = file->name;
    found->seconds = file->entry.written.toSeconds();
    found->size = file->entry.size;
    s->nextSlot = file->shortSlot + 1;
    return VDiskError::None;
}

int VDiskSession::newHandle()
{
    // Handles count up, so a stale handle does not reach a newer file.
    for (;;) {
        if (m_nextHandle == INT_MAX)
            m_nextHandle = 1;
        int h = m_nextHandle++;
        if (m_files.count(h) == 0)
            return h;
    }
}

VDiskError VDiskSession::openFile(const char *name, const char *mode, int &file)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    file = 0;
    if (!m_volume)
        return VDiskError::NotMounted;
    if (name == nullptr || mode == nullptr)
        return VDiskError::BadArgument;
    std::string m(mode);
    const bool reading = m == "r" || m == "rb";
    const bool writing = m == "w" || m == "w+" || m == "wb" || m == "w+b" || m == "wb+";
    if (!reading && !writing)
        return VDiskError::BadArgument;
    if (m_files.size() >= kMaxOpenFiles)
        return VDiskError::TooManyOpen;
    VDiskError e = lockFor(reading ? ImageLock::Mode::Shared : ImageLock::Mode::Exclusive);
    if (e != VDiskError::None)
        return e;
    OpenFile open;
    e = reading ? FileReader::open(*m_volume, name, open.reader)
                : FileWriter::open(*m_volume, name, open.writer);
    if (e == VDiskError::None) {
        file = newHandle();
        m_files.emplace(file, std::move(open));
    }
    // An open file keeps the lock until it is closed.
    settle();
    return e;
}

VDiskError VDiskSession::read(void *buffer, int size, int count, int file, int &done)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    done = -1;
    auto it = m_files.find(file);
    if (it == m_files.end() || !it->second.reader)
        return VDiskError::BadHandle;
    size_t bytes = 0;
    VDiskError e = byteCount(buffer, size, count, bytes);
    if (e != VDiskError::None)
        return e;
    size_t got = 0;
    e = it->second.reader->read(buffer, bytes, got);
    if (e == VDiskError::None)
        done = static_cast<int>(got);
    return e;
}

VDiskError VDiskSession::write(const void *buffer, int size, int count, int file)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_files.find(file);
    if (it == m_files.end() || !it->second.writer)
        return VDiskError::BadHandle;
    size_t bytes = 0;
    VDiskError e = byteCount(buffer, size, count, bytes);
    if (e != VDiskError::None) {
        it->second.writer->fail(e);
        return e;
    }
    return it->second.writer->write(buffer, bytes);
}

VDiskError VDiskSession::close(int file)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_files.find(file);
    if (it == m_files.end())
        return VDiskError::BadHandle;
    OpenFile open = std::move(it->second);
    m_files.erase(it);
    VDiskError e = open.writer ? open.writer->commit() : VDiskError::None;
    open = OpenFile();
    settle();
    return e;
}

VDiskError VDiskSession::abandon(int file)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_files.find(file);
    if (it == m_files.end() || !it->second.writer)
        return VDiskError::BadHandle;
    it->second.writer->abandon();
    m_files.erase(it);
    settle();
    return VDiskError::None;
}

// The named-file calls share one preamble: the lock, a mounted volume and
// names that are there at all.
template <typename Call>
VDiskError VDiskSession::withNames(ImageLock::Mode mode, std::initializer_list<const char *> names, Call call)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_volume)
        return VDiskError::NotMounted;
    for (const char *name : names)
        if (name == nullptr)
            return VDiskError::BadArgument;
    VDiskError e = lockFor(mode);
    if (e != VDiskError::None)
        return e;
    e = call(*m_volume);
    settle();
    return e;
}

VDiskError VDiskSession::length(const char *name, int &bytes)
{
    bytes = -1;
    return withNames(ImageLock::Mode::Shared, {name}, [&](Volume &volume) {
        const DirFile *file = volume.lookup(name);
        if (file == nullptr)
            return VDiskError::NotFound;
        // No FAT12/FAT16 volume holds a file this large: the entry is damaged.
        if (file->entry.size > uint32_t(INT32_MAX))
            return VDiskError::Corrupt;
        bytes = static_cast<int>(file->entry.size);
        return VDiskError::None;
    });
}

VDiskError VDiskSession::exists(const char *name)
{
    return withNames(ImageLock::Mode::Shared, {name}, [&](Volume &volume) {
        return volume.lookup(name) != nullptr ? VDiskError::None : VDiskError::NotFound;
    });
}

VDiskError VDiskSession::remove(const char *name)
{
    return withNames(ImageLock::Mode::Exclusive, {name}, [&](Volume &volume) { return volume.remove(name); });
}

VDiskError VDiskSession::rename(const char *from, const char *to)
{
    return withNames(ImageLock::Mode::Exclusive, {from, to},
                     [&](Volume &volume) { return volume.rename(from, to); });
}

VDiskError VDiskSession::setTime(const char *name, int32_t seconds)
{
    return withNames(ImageLock::Mode::Exclusive, {name},
                     [&](Volume &volume) { return volume.setTime(name, seconds); });
}

VDiskError VDiskSession::check(int &problems)
{
    return withNames(ImageLock::Mode::Shared, {}, [&](Volume &volume) {
        CheckReport report;
        const VDiskError error = VolumeChecker::check(volume.device(), report);
        if (error == VDiskError::None)
            problems = static_cast<int>(report.problems.size());
        return error;
    });
}

VDiskError VDiskSession::space(uint32_t *freeClusters, uint32_t *totalClusters, uint32_t *clusterBytes)
{
    if (freeClusters == nullptr || totalClusters == nullptr || clusterBytes == nullptr)
        return VDiskError::BadArgument;
    return withNames(ImageLock::Mode::Shared, {}, [&](Volume &volume) {
        *freeClusters = volume.fat().freeClusters();
        *totalClusters = volume.fat().clusterCount();
        *clusterBytes = volume.boot().clusterBytes();
        return VDiskError::None;
    });
}

} // namespace vexo
