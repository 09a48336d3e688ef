#include "Sync.h"

#include "FileDigest.h"
#include "NameCodec.h"
#include "ProgressBar.h"
#include "sync/RecordAfterSync.h"
#include "sync/SyncPlanner.h"
#include "vexo/sys/CodeTable.h"
#include "vexo/sys/UniqueFd.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vexo::cli
{

namespace
{

using link::LinkError;

int64_t mtimeMs(const struct stat &st)
{
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

// Regular files only; our own temporary files (".NAME.vexo-XXXXXX") are not the person's.
bool listLocal(const std::string &dir, std::vector<SyncFile> &files)
{
    DIR *d = opendir(dir.c_str());
    if (!d)
        return false;
    while (const dirent *e = readdir(d)) {
        const std::string name = e->d_name;
        if (name == "." || name == ".." || (name[0] == '.' && name.find(".vexo-") != std::string::npos))
            continue;
        struct stat st {
        };
        if (fstatat(dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        files.push_back(SyncFile{name, static_cast<uint64_t>(st.st_size), mtimeMs(st)});
    }
    closedir(d);
    return true;
}

bool safeLocalName(const std::string &name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

std::string hexOf(const uint8_t *bytes, size_t size)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

std::string crcText(uint32_t crc)
{
    char text[16];
    std::snprintf(text, sizeof text, "crc32:%08x", static_cast<unsigned>(crc));
    return text;
}

// The content hash the record keeps of a PC file: the whole-file BLAKE2b
// hash, and the CRC-32 for a device that cannot give the hash; empty when
// the file cannot be read.
std::string localHash(const std::string &path)
{
    const sys::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat st {
    };
    if (!fd || ::fstat(fd.get(), &st) != 0)
        return std::string();
    link::FileDigest digest;
    if (!digest.addFrom(fd.get(), static_cast<uint64_t>(st.st_size)))
        return std::string();
    const link::Hash hash = digest.hash();
    return "b2:" + hexOf(hash.data(), hash.size()) + "," + crcText(digest.crc());
}

// A device file's hash, computed on the device: BLAKE2b where it offers it,
// else its CRC-32; empty when neither can be had.
std::string deviceHash(link::FileClient &client, const std::string &wire, uint64_t size)
{
    link::DeviceEntry entry;
    link::Hash hash{};
    const auto e = client.fileHash(wire, hash, &entry);
    if (e == LinkError::Ok)
        return entry.size == size ? "b2:" + hexOf(hash.data(), hash.size()) : std::string();
    uint32_t crc = 0;
    if (e != LinkError::Unsupported || client.checksum(wire, crc, &entry) != LinkError::Ok ||
        entry.size != size)
        return std::string();
    return crcText(crc);
}

// What names the device in the record of a pair: its own identity, or the
// port it is reached on when it has none (an older palmtop).
std::string deviceIdentity(link::FileClient &client, const std::string &port)
{
    std::array<uint8_t, link::kIdentitySize> identity{};
    if (client.deviceIdentity(identity) == LinkError::Ok)
        return "palmtop:" + hexOf(identity.data(), identity.size());
    return "port:" + port;
}

// The folder as an absolute path, so that one folder has one record however
// it was named on the command line.
std::string absoluteFolder(const std::string &dir)
{
    char *real = ::realpath(dir.c_str(), nullptr);
    if (!real)
        return dir;
    std::string out = real;
    std::free(real);
    return out;
}

std::string wireName(const std::string &utf8)
{
    std::string wire;
    return link::utf8ToCp936(utf8, wire) ? wire : std::string();
}

// The words of the printed plan, one for each action and each reason.
const char *const kActionWords[] = {
    "send",       // Send
    "receive",    // Receive
    "equal",      // Equal
    "keep",       // Keep
    "conflict",   // Conflict
    "delete-pc",  // DeleteLocal
    "delete-dev", // DeleteRemote
};

const char *const kReasonTexts[] = {
    "only on the PC",                          // OnlyHere
    "only on the device",                      // OnlyThere
    "newer on the PC",                         // NewerHere
    "newer on the device",                     // NewerThere
    "same file",                               // SameFile
    "changed on both sides",                   // BothChanged
    "name longer than 16 bytes on the device", // NameTooLong
    "name not possible on the device",         // NameInvalid
    "names differ only in case",               // CaseConflict
    "changed on the PC",                       // ChangedHere
    "changed on the device",                   // ChangedThere
    "deleted from the PC",                     // GoneHere
    "deleted from the device",                 // GoneThere
};

void printPlan(const std::vector<SyncRow> &rows, int baud)
{
    for (const auto &row : rows) {
        std::string name = row.hasLocal ? row.local.name : row.remote.name;
        if (row.hasLocal && row.hasRemote && row.local.name != row.remote.name)
            name += " (device: " + row.remote.name + ")";
        const uint64_t size =
            row.action == SyncAction::Receive || !row.hasLocal ? row.remote.size : row.local.size;
        const char *action = sys::textOf<SyncAction::DeleteRemote>(kActionWords, row.action, "?");
        const char *reason = sys::textOf<SyncReason::GoneThere>(kReasonTexts, row.reason, "?");
        std::printf("%-10s %-24s %10llu  %s\n", action, name.c_str(), static_cast<unsigned long long>(size),
                    reason);
    }
    const auto t = SumSync(rows);
    std::printf(
        "plan: send %d (%llu bytes), receive %d (%llu bytes), delete %d on the PC and %d on the device; "
        "%d equal, %d kept, %d conflicts; about %.0f s%s\n",
        t.sendFiles, static_cast<unsigned long long>(t.sendBytes), t.receiveFiles,
        static_cast<unsigned long long>(t.receiveBytes), t.deleteLocal, t.deleteRemote, t.equal, t.kept,
        t.conflicts, EstimateSyncSeconds(t, baud),
        baud > 0 ? (" at " + std::to_string(baud) + " baud").c_str() : " on USB");
    std::fflush(stdout);
}

int syncUsage(const char *why)
{
    std::fprintf(
        stderr,
        "vexo sync: %s\nusage: vexo sync LOCAL_DIR [--to-device|--to-pc|--both] [--dry-run] [--delete]\n"
        "                 [--prefer pc|device|newer]\n",
        why);
    return 2;
}

struct SyncArgs {
    SyncOptions options;
    bool dryRun = false;
    std::string dir;
};

int parseSyncArgs(const std::vector<std::string> &args, SyncArgs &parsed)
{
    SyncOptions &options = parsed.options;
    bool &dryRun = parsed.dryRun;
    std::string &dir = parsed.dir;
    int directions = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        if (a == "--to-device" || a == "--to-pc" || a == "--both") {
            ++directions;
            options.direction = a == "--to-device" ? SyncDirection::ToRemote
                                : a == "--to-pc"   ? SyncDirection::ToPc
                                                   : SyncDirection::Both;
        } else if (a == "--dry-run") {
            dryRun = true;
        } else if (a == "--delete") {
            options.deleteMissing = true;
        } else if (a == "--prefer") {
            const std::string side = i + 1 < args.size() ? args[++i] : std::string();
            if (side == "pc")
                options.prefer = SyncPrefer::Pc;
            else if (side == "device")
                options.prefer = SyncPrefer::Remote;
            else if (side == "newer")
                options.prefer = SyncPrefer::Newer;
            else
                return syncUsage("--prefer takes pc, device or newer");
        } else if (!a.empty() && a[0] == '-') {
            return syncUsage(("unknown option " + a).c_str());
        } else if (dir.empty()) {
            dir = a;
        } else {
            return syncUsage("one local folder only");
        }
    }
    if (dir.empty())
        return syncUsage("no local folder");
    if (directions > 1)
        return syncUsage("choose one of --to-device, --to-pc, --both");
    options.nameLimit = static_cast<int>(link::kMaxDeviceName);
    return 0;
}

bool listDevice(link::FileClient &client, std::vector<SyncFile> &remote)
{
    std::vector<link::DeviceEntry> entries;
    if (const auto e = client.list("*", entries); e != LinkError::Ok) {
        std::fprintf(stderr, "vexo sync: cannot list the device: %s\n", link::describe(e));
        return false;
    }
    for (const auto &e : entries) {
        std::string utf8;
        if (!link::cp936ToUtf8(e.name, utf8) || !safeLocalName(utf8)) {
            std::fprintf(stderr, "vexo sync: skipping a device name with no safe form on the PC\n");
            continue;
        }
        remote.push_back(SyncFile{utf8, e.size, e.mtimeMs});
    }
    return true;
}

// Keeps the record of this run: both sides listed again (the device's own
// times). Without a second listing the old record stays.
void writeRecord(link::FileClient &client, const std::string &dir, const std::vector<SyncRow> &rows,
                 const std::vector<bool> &done, const SyncOptions &options, const SyncRecord &record,
                 const std::string &path)
{
    std::vector<SyncFile> local, remote;
    if (!listLocal(dir, local) || !listDevice(client, remote))
        return;
    // Hashed here, where reading costs no time on the line.
    const auto hash = [&](const SyncFile &f) { return localHash(dir + "/" + f.name); };
    if (const int e = RecordAfterSync(record, rows, done, local, remote, options, hash).save(path); e != 0)
        std::fprintf(stderr, "vexo sync: cannot keep the record of this synchronisation in %s: %s\n",
                     path.c_str(), std::strerror(e));
}

} // namespace

int checkSyncArgs(const std::vector<std::string> &args)
{
    SyncArgs parsed;
    return parseSyncArgs(args, parsed);
}

int runSync(link::FileClient &client, const std::vector<std::string> &args, int baud, const std::string &port)
{
    SyncArgs parsed;
    if (const int rc = parseSyncArgs(args, parsed); rc != 0)
        return rc;
    const SyncOptions &options = parsed.options;
    const std::string &dir = parsed.dir;

    std::vector<SyncFile> local;
    if (!listLocal(dir, local)) {
        std::fprintf(stderr, "vexo sync: %s: %s\n", dir.c_str(), std::strerror(errno));
        return 1;
    }
    std::vector<SyncFile> remote;
    if (!listDevice(client, remote))
        return 1;

    SyncRecord record(absoluteFolder(dir), deviceIdentity(client, port));
    const std::string dataFolder = SyncRecord::DataFolder();
    const std::string recordPath = dataFolder.empty() ? std::string() : record.pathIn(dataFolder);
    std::string setAside;
    const auto loaded = recordPath.empty() ? SyncRecord::Load::Missing : record.load(recordPath, &setAside);
    if (loaded == SyncRecord::Load::Damaged)
        std::fprintf(stderr,
                     "vexo sync: the record of the last synchronisation was damaged%s%s; "
                     "deciding by the files' times\n",
                     setAside.empty() ? "" : " and is set aside as ", setAside.c_str());
    const bool haveRecord = loaded == SyncRecord::Load::Loaded;
    // Both ways, only the record tells a file deleted on one side from one new on the other.
    if (options.deleteMissing && options.direction == SyncDirection::Both && !haveRecord)
        return syncUsage("--both --delete needs the record of an earlier synchronisation of this folder "
                         "with this device, which a run without --delete makes");

    const auto nameBytes = [](const std::string &name) {
        const std::string wire = wireName(name);
        if (wire.empty())
            return -1;
        if (wire.size() > link::kMaxDeviceName)
            return static_cast<int>(wire.size());
        return link::isValidDeviceName(wire) ? static_cast<int>(wire.size()) : -1;
    };
    // The whole-file hash where the device offers it, else the CRC-32.
    const auto probe = [&](const SyncFile &l, const SyncFile &r) {
        const std::string theirs = deviceHash(client, wireName(r.name), r.size);
        const std::string mine = theirs.empty() ? std::string() : localHash(dir + "/" + l.name);
        if (mine.empty())
            return ContentMatch::Unknown;
        return SameContentHash(mine, theirs) ? ContentMatch::Same : ContentMatch::Different;
    };
    const auto sideHash = [&](bool isLocal, const SyncFile &f) {
        return isLocal ? localHash(dir + "/" + f.name) : deviceHash(client, wireName(f.name), f.size);
    };
    auto rows = PlanSync(local, remote, options, nameBytes, probe, haveRecord ? &record : nullptr, sideHash);
    printPlan(rows, baud);
    if (parsed.dryRun) {
        std::printf("dry run: nothing changed\n");
        return 0;
    }

    std::vector<link::TransferItem> sends, receives;
    std::vector<std::string> sendLabels, receiveLabels;
    std::vector<size_t> sendRows, receiveRows;
    for (size_t r = 0; r < rows.size(); ++r) {
        const SyncRow &row = rows[r];
        if (!row.selected)
            continue;
        if (row.action == SyncAction::Send) {
            // An existing file is replaced only because it is older; a new one never clobbers.
            sends.push_back({dir + "/" + row.local.name, wireName(row.remoteTarget()), row.hasRemote});
            sendLabels.push_back(row.local.name);
            sendRows.push_back(r);
        } else if (row.action == SyncAction::Receive) {
            receives.push_back({wireName(row.remote.name), dir + "/" + row.localTarget(), row.hasLocal});
            receiveLabels.push_back(row.remote.name);
            receiveRows.push_back(r);
        }
    }
    // Which rows ran to their end; the record is made from those.
    std::vector<bool> done(rows.size(), false);
    int failures = 0;
    const auto run = [&](const std::vector<link::TransferItem> &items, const std::vector<std::string> &labels,
                         const std::vector<size_t> &rowOf, bool sending) {
        if (items.empty())
            return;
        ProgressBar bar;
        link::TransferControl control;
        control.onProgress = [&](size_t i, uint64_t done, uint64_t total) {
            bar.update(labels[i], done, total);
        };
        const auto results = sending ? client.send(items, control) : client.receive(items, control);
        bar.finish();
        for (size_t i = 0; i < results.size(); ++i) {
            if (results[i] != LinkError::Ok) {
                std::fprintf(stderr, "vexo sync: %s: %s\n", labels[i].c_str(), link::describe(results[i]));
                ++failures;
            } else {
                done[rowOf[i]] = true;
            }
        }
    };
    run(sends, sendLabels, sendRows, true);
    run(receives, receiveLabels, receiveRows, false);
    // Deletes come last, after everything that had to arrive has arrived.
    for (size_t r = 0; r < rows.size(); ++r) {
        const SyncRow &row = rows[r];
        if (!row.selected)
            continue;
        if (row.action == SyncAction::DeleteRemote) {
            if (const auto e = client.remove(wireName(row.remote.name)); e != LinkError::Ok) {
                std::fprintf(stderr, "vexo sync: %s: %s\n", row.remote.name.c_str(), link::describe(e));
                ++failures;
            } else {
                done[r] = true;
            }
        } else if (row.action == SyncAction::DeleteLocal) {
            if (::unlink((dir + "/" + row.local.name).c_str()) != 0) {
                std::fprintf(stderr, "vexo sync: %s: %s\n", row.local.name.c_str(), std::strerror(errno));
                ++failures;
            } else {
                done[r] = true;
            }
        }
    }
    if (!recordPath.empty())
        writeRecord(client, dir, rows, done, options, record, recordPath);

    int left = 0;
    for (const auto &row : rows)
        left += row.action == SyncAction::Conflict || (row.acts() && !row.selected);
    if (failures != 0) {
        std::printf("done, with failures\n");
        return 1;
    }
    if (left != 0) {
        std::printf("done; %d left undone\n", left);
        return 3;
    }
    std::printf("done\n");
    return 0;
}

} // namespace vexo::cli
