#include "VdiskTool.h"

#include "FileBlockDevice.h"
#include "ImageLock.h"
#include "RegistryFile.h"
#include "VDiskSession.h"
#include "VexoVDisk.h"
#include "VolumeChecker.h"
#include "vexo/sys/AtomicFile.h"
#include "vexo/sys/FileIo.h"
#include "vexo/sys/SimulatorImage.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexo
{

namespace
{

constexpr size_t kBufferBytes = 1024 * 1024;

bool isFolder(const std::string &path)
{
    struct stat st {
    };
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool hasWildcard(const std::string &s)
{
    return s.find_first_of("*?[") != std::string::npos;
}

std::string baseName(const std::string &path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A name from the image is used as a local file name only when it cannot
// leave the folder it is meant for.
bool safeLocalName(const std::string &name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

// A file's time as the image keeps it: the local wall clock, in the even
// seconds FAT holds, as the window's copies set it.
int32_t imageTime(time_t utc)
{
    std::tm local{};
    if (localtime_r(&utc, &local) == nullptr)
        return 0;
    int64_t wall = int64_t(utc) + local.tm_gmtoff;
    wall -= ((wall % 2) + 2) % 2;
    return static_cast<int32_t>(std::clamp<int64_t>(wall, 0, INT32_MAX - 1));
}

} // namespace

void VdiskTool::usage(std::FILE *to)
{
    std::fputs("usage: vdisk IMAGE COMMAND [ARGS]\n"
               "       vdisk locate           the image the window opens, and where it was found\n"
               "  ls                     list the files: size, date and time, name\n"
               "  ls --json              the same as a JSON array (UTF-8 names, times in UTC)\n"
               "  get NAME [DEST]        copy a file out (DEST: a file or a folder; default: here)\n"
               "  get NAME... DIR        copy files out into a folder (NAME may hold * ? [..])\n"
               "  put [--now] FILE [NAME]  copy a file in, under NAME (default: the file's own name),\n"
               "                         keeping its date (--now: dated now)\n"
               "  put [--now] FILE...    copy files in under their own names (three or more)\n"
               "  rm NAME...             delete files\n"
               "  mv OLD NEW             rename a file\n"
               "  format [--size MiB]    format the image in place; create it (16 MiB) if missing\n"
               "  check                  check the image's consistency\n"
               "  df                     free and total space\n"
               "Names in the image are at most 17 bytes in CP936 (GBK); case is ignored.\n",
               to);
}

void VdiskTool::fail(const std::string &what, const std::string &why)
{
    std::fprintf(stderr, "vdisk: %s: %s: %s\n", m_command.c_str(), what.c_str(), why.c_str());
}

std::string VdiskTool::lastErrorText()
{
    const std::string &detail = vdiskLastErrorDetail();
    return detail.empty() ? errorText(vdiskLastError()) : detail;
}

// Left uninitialised and made on first use: a listing needs none, and
// clearing a megabyte costs more than listing a thousand files.
char *VdiskTool::buffer()
{
    if (!m_buffer)
        m_buffer.reset(new char[kBufferBytes]);
    return m_buffer.get();
}

bool VdiskTool::mount(bool changing)
{
    SetVdiskFile(m_image.c_str());
    // One command is one turn at the image: the lock is kept until it ends.
    if (vdiskKeepLock(changing) == 0 && InitFileSystem() == 0)
        return true;
    std::string why = lastErrorText();
    if (vdiskLastError() == VDiskError::Io)
        why = std::strerror(errno != 0 ? errno : EIO);
    fail(m_image, why);
    return false;
}

bool VdiskTool::toImageName(const std::string &local, std::string &name)
{
    if (m_codec.toCp936(local, name))
        return true;
    fail(local, "the name has no CP936 (GBK) form");
    return false;
}

int VdiskTool::run(const std::vector<std::string> &args)
{
    if (args.size() == 1 && args[0] == "locate") {
        m_command = "locate";
        return locate();
    }
    if (args.size() < 2) {
        usage(stderr);
        return Usage;
    }
    m_image = args[0];
    m_command = args[1];
    std::vector<std::string> rest(args.begin() + 2, args.end());
    int status;
    if (m_command == "ls" && rest.empty())
        status = list();
    else if (m_command == "ls" && rest.size() == 1 && rest[0] == "--json")
        status = listJson();
    else if (m_command == "get" && !rest.empty())
        status = get(rest);
    else if (m_command == "put" && !rest.empty())
        status = put(rest);
    else if (m_command == "rm" && !rest.empty())
        status = remove(rest);
    else if (m_command == "mv" && rest.size() == 2)
        status = move(rest);
    else if (m_command == "format")
        return format(rest);
    else if (m_command == "check" && rest.empty())
        return check();
    else if (m_command == "df" && rest.empty())
        status = space();
    else {
        usage(stderr);
        return Usage;
    }
    // Unmounting syncs whatever the command changed, once.
    DestoryFileSystem();
    return status;
}

std::vector<std::string> VdiskTool::listNames()
{
    std::vector<std::string> names;
    VDiskFindRecord record;
    int search = OpenFindFile("/");
    for (int r = FindFirst(&record, search); r != -1; r = FindNext(&record, search))
        names.emplace_back(record.name, strnlen(record.name, sizeof record.name));
    return names;
}

int VdiskTool::list()
{
    if (!mount(false))
        return Failed;
    VDiskFindRecord record;
    int search = OpenFindFile("/");
    std::string out;
    for (int r = FindFirst(&record, search); r != -1; r = FindNext(&record, search)) {
        std::time_t t = record.time;
        std::tm when{};
        gmtime_r(&t, &when); // stored wall-clock time: no zone to apply
        char line[64];
        // The size as stored, unsigned: a damaged entry shows what it holds.
        std::snprintf(line, sizeof line, "%10u  %04d-%02d-%02d %02d:%02d  ",
                      static_cast<uint32_t>(record.size), when.tm_year + 1900, when.tm_mon + 1, when.tm_mday,
                      when.tm_hour, when.tm_min);
        out += line;
        out += m_codec.display(std::string(record.name, strnlen(record.name, sizeof record.name)));
        out += '\n';
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? Ok : Failed;
}

bool VdiskTool::getOne(const std::string &name, const std::string &dest)
{
    const std::string shown = m_codec.display(name);
    int length = zflen(name.c_str());
    int file = length < 0 ? 0 : zfopen(name.c_str(), "r");
    if (file == 0) {
        fail(shown, lastErrorText());
        return false;
    }
    // A new file is made in place (and removed again on failure), which
    // spares a rename per file; an existing one is replaced by a file written
    // beside it and renamed over it when complete, so a failure never damages
    // or empties it.
    sys::UniqueFd fresh(::open(dest.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    sys::AtomicFile replacement;
    const int opened = fresh ? 0 : errno != EEXIST ? errno : replacement.open(dest);
    if (opened != 0) {
        fail(dest, std::strerror(opened));
        zfclose(file);
        return false;
    }
    const bool madeHere = fresh.valid();
    const int out = madeHere ? fresh.get() : replacement.fd();
    int64_t total = 0;
    std::string why;
    bool imageFault = false; // else the local file is at fault
    for (;;) {
        int n = zfread(buffer(), 1, static_cast<int>(kBufferBytes), file);
        if (n < 0) {
            why = lastErrorText();
            imageFault = true;
            break;
        }
        if (n == 0)
            break;
        if (!sys::writeAll(out, buffer(), static_cast<size_t>(n))) {
            why = std::strerror(errno);
            break;
        }
        total += n;
    }
    zfclose(file);
    if (why.empty() && total != length) {
        why = "the image is damaged (file shorter than its size)";
        imageFault = true;
    }
    if (why.empty()) {
        const int error =
            madeHere ? (fresh.close() ? 0 : errno) : replacement.commit(sys::Placement::Replace);
        if (error != 0)
            why = std::strerror(error);
    }
    if (!why.empty()) {
        if (madeHere)
            ::unlink(dest.c_str());
        fail(imageFault ? shown : dest, why);
        return false;
    }
    return true;
}

int VdiskTool::get(const std::vector<std::string> &args)
{
    const bool several = args.size() > 2 || (args.size() == 2 && isFolder(args.back()));
    if (several && !isFolder(args.back())) {
        fail(args.back(), "not a folder");
        return Usage;
    }
    if (!mount(false))
        return Failed;
    std::vector<std::string> names = args;
    std::string folder = ".";
    std::string single;
    if (several) {
        folder = names.back();
        names.pop_back();
    } else if (args.size() == 2) {
        names.pop_back();
        single = args[1];
    }
    std::vector<std::string> all;
    bool listed = false;
    bool ok = true;
    for (const std::string &arg : names) {
        std::vector<std::string> matches;
        if (hasWildcard(arg)) {
            if (!listed) {
                all = listNames();
                listed = true;
                // A pattern cannot tell whether it meant these: say so once
                // rather than leave them out unnoticed.
                for (const std::string &name : all) {
                    std::string local;
                    if (!m_codec.toLocal(name, local)) {
                        fail(m_codec.display(name),
                             "skipped: the name has no form in this locale's encoding");
                        ok = false;
                    }
                }
            }
            for (const std::string &name : all) {
                std::string local;
                if (m_codec.toLocal(name, local) && fnmatch(arg.c_str(), local.c_str(), FNM_CASEFOLD) == 0)
                    matches.push_back(name);
            }
            if (matches.empty()) {
                fail(arg, "no file in the image matches");
                ok = false;
            }
        } else {
            std::string name;
            if (!toImageName(arg, name)) {
                ok = false;
                continue;
            }
            matches.push_back(name);
        }
        if (!single.empty() && !isFolder(single) && matches.size() > 1) {
            fail(arg, "matches several files but " + single + " is not a folder");
            ok = false;
            continue;
        }
        for (const std::string &name : matches) {
            std::string dest = single;
            if (dest.empty() || isFolder(dest)) {
                std::string local;
                if (!m_codec.toLocal(name, local) || !safeLocalName(local)) {
                    fail(m_codec.display(name), "cannot be used as a local file name; give DEST");
                    ok = false;
                    continue;
                }
                dest = (dest.empty() ? folder : dest) + "/" + local;
            }
            ok = getOne(name, dest) && ok;
        }
    }
    return ok ? Ok : Failed;
}

bool VdiskTool::putOne(const std::string &path, const std::string &local, bool now)
{
    std::string name;
    if (!toImageName(local, name))
        return false;
    sys::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {
    };
    if (!fd || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        fail(path, !fd ? std::strerror(errno) : "not a regular file");
        return false;
    }
    int file = zfopen(name.c_str(), "w+");
    if (file == 0) {
        fail(local, lastErrorText());
        return false;
    }
    std::string why;
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer(), kBufferBytes);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            why = std::string(std::strerror(errno)) + " (" + path + ")";
            break;
        }
        if (n == 0)
            break;
        if (zfwrite(buffer(), 1, static_cast<int>(n), file) < 0) {
            why = lastErrorText();
            break;
        }
    }
    fd.reset();
    if (!why.empty()) {
        vdiskAbandon(file);
        fail(local, why);
        return false;
    }
    if (zfclose(file) != 0) {
        fail(local, lastErrorText());
        return false;
    }
    if (!now && zsettime(name.c_str(), imageTime(st.st_mtim.tv_sec)) != 1) {
        fail(local, "copied, but its date could not be kept: " + lastErrorText());
        return false;
    }
    return true;
}

int VdiskTool::put(std::vector<std::string> args)
{
    const bool now = args[0] == "--now";
    if (now)
        args.erase(args.begin());
    if (args.empty()) {
        usage(stderr);
        return Usage;
    }
    if (!mount(true))
        return Failed;
    if (args.size() == 2)
        return putOne(args[0], args[1], now) ? Ok : Failed;
    bool ok = true;
    for (const std::string &path : args) {
        std::string local = baseName(path);
        if (local.empty()) {
            fail(path, "no file name");
            ok = false;
            continue;
        }
        ok = putOne(path, local, now) && ok;
    }
    return ok ? Ok : Failed;
}

int VdiskTool::remove(const std::vector<std::string> &args)
{
    if (!mount(true))
        return Failed;
    bool ok = true;
    for (const std::string &arg : args) {
        std::string name;
        if (!toImageName(arg, name)) {
            ok = false;
            continue;
        }
        if (zfdelete(name.c_str()) != 1) {
            fail(arg, lastErrorText());
            ok = false;
        }
    }
    return ok ? Ok : Failed;
}

int VdiskTool::move(const std::vector<std::string> &args)
{
    if (!mount(true))
        return Failed;
    std::string from, to;
    if (!toImageName(args[0], from) || !toImageName(args[1], to))
        return Failed;
    if (zrename(from.c_str(), to.c_str()) != 1) {
        fail(args[0] + " -> " + args[1], lastErrorText());
        return Failed;
    }
    return Ok;
}

int VdiskTool::format(const std::vector<std::string> &args)
{
    long mib = 0;
    if (!args.empty()) {
        char *end = nullptr;
        mib = args.size() == 2 && args[0] == "--size" ? std::strtol(args[1].c_str(), &end, 10) : 0;
        if (end == nullptr || *end != '\0' || mib < 1 || mib > 2047) {
            std::fprintf(stderr, "vdisk: format: --size takes a whole number of MiB from 1 to 2047\n");
            return Usage;
        }
    }
    SetVdiskFile(m_image.c_str());
    // The new size is set under the image's lock, as part of the format.
    errno = 0;
    if (vdiskFormat(uint64_t(mib) * 1024 * 1024) != 0) {
        std::string why = lastErrorText();
        if (vdiskLastError() == VDiskError::Io && errno != 0)
            why = std::strerror(errno);
        fail(m_image, why);
        return Failed;
    }
    return Ok;
}

int VdiskTool::check()
{
    std::unique_ptr<FileBlockDevice> device;
    VDiskError e = FileBlockDevice::open(m_image, device);
    CheckReport report;
    // Checked under the shared lock: never halfway through another's change.
    ImageLock lock;
    bool stale = false;
    if (e == VDiskError::None) {
        lock.attach(device.get(), 0);
        e = lock.raise(ImageLock::Mode::Shared, stale);
    }
    if (e == VDiskError::None)
        e = VolumeChecker::check(*device, report);
    if (e != VDiskError::None) {
        fail(m_image, e == VDiskError::Io      ? std::strerror(errno != 0 ? errno : EIO)
                      : e == VDiskError::InUse ? lock.detail()
                                               : errorText(e));
        return Failed;
    }
    for (const std::string &problem : report.problems)
        std::printf("%s\n", m_codec.display(problem).c_str());
    std::printf("%s: FAT%d, %u clusters of %u bytes: %u files, %u used, %u free, %u lost; %s\n",
                m_image.c_str(), report.fat16 ? 16 : 12, report.clusters, report.clusterBytes, report.files,
                report.usedClusters, report.freeClusters, report.lostClusters,
                report.problems.empty() ? "consistent"
                                        : (std::to_string(report.problems.size()) + " problems").c_str());
    return report.problems.empty() ? Ok : Failed;
}

// The image as the window finds it: the install folder our registry file
// names, else the one the simulator's own key in the Wine prefix names.
int VdiskTool::locate()
{
    const std::string file = RegistryFile::defaultPath();
    std::string folder;
    std::string where = "the registry file " + file;
    (void)RegistryFile::readMachineString(file, sys::SimulatorImage::kInstallKey,
                                          sys::SimulatorImage::kInstallValue, folder);
    std::string wineFolder, wineWhere;
    if (folder.empty() && sys::SimulatorImage::fromWine(sys::WinePrefix(sys::WinePrefix::defaultFolder()),
                                                        wineFolder, wineWhere)) {
        folder = wineFolder;
        where = wineWhere;
    }
    const std::string image = sys::SimulatorImage::below(folder);
    std::printf("%s\nfound through %s\n", image.c_str(), where.c_str());
    if (std::fflush(stdout) != 0)
        return Failed;
    if (::access(image.c_str(), F_OK) != 0) {
        fail(image, folder.empty() ? "no install folder named (InstallPath)" : std::strerror(errno));
        return Failed;
    }
    return Ok;
}

int VdiskTool::space()
{
    if (!mount(false))
        return Failed;
    uint32_t freeClusters = 0, totalClusters = 0, clusterBytes = 0;
    if (zdiskspace(&freeClusters, &totalClusters, &clusterBytes) != 0) {
        fail(m_image, lastErrorText());
        return Failed;
    }
    std::printf("%llu bytes free of %llu (%u of %u clusters of %u bytes)\n",
                static_cast<unsigned long long>(uint64_t(freeClusters) * clusterBytes),
                static_cast<unsigned long long>(uint64_t(totalClusters) * clusterBytes), freeClusters,
                totalClusters, clusterBytes);
    return std::fflush(stdout) == 0 ? Ok : Failed;
}

} // namespace vexo
