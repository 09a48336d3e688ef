#include "Sync.h"

#include "Crc32.h"
#include "NameCodec.h"
#include "ProgressBar.h"
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

bool localCrc(const std::string &path, uint32_t &crc)
{
    const sys::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    return fd && link::crc32OfFile(fd.get(), crc);
}

std::string wireName(const std::string &utf8)
{
    std::string wire;
    return link::utf8ToCp936(utf8, wire) ? wire : std::string();
}

const sys::CodeEntry<SyncAction, const char *> kActionWords[] = {
    {SyncAction::Send, "send"},
    {SyncAction::Receive, "receive"},
    {SyncAction::Equal, "equal"},
    {SyncAction::Keep, "keep"},
    {SyncAction::Conflict, "conflict"},
    {SyncAction::DeleteLocal, "delete-pc"},
    {SyncAction::DeleteRemote, "delete-dev"},
};

const char *actionWord(SyncAction action)
{
    return sys::lookup(kActionWords, action, "?");
}

const sys::CodeEntry<SyncReason, const char *> kReasonTexts[] = {
    {SyncReason::OnlyHere, "only on the PC"},
    {SyncReason::OnlyThere, "only on the device"},
    {SyncReason::NewerHere, "newer on the PC"},
    {SyncReason::NewerThere, "newer on the device"},
    {SyncReason::SameFile, "same file"},
    {SyncReason::BothChanged, "changed on both sides"},
    {SyncReason::NameTooLong, "name longer than 16 bytes on the device"},
    {SyncReason::NameInvalid, "name not possible on the device"},
    {SyncReason::CaseConflict, "names differ only in case"},
};

const char *reasonText(SyncReason reason)
{
    return sys::lookup(kReasonTexts, reason, "?");
}

void printPlan(const std::vector<SyncRow> &rows, int baud)
{
    for (const auto &row : rows) {
        std::string name = row.hasLocal ? row.local.name : row.remote.name;
        if (row.hasLocal && row.hasRemote && row.local.name != row.remote.name)
            name += " (device: " + row.remote.name + ")";
        const uint64_t size =
            row.action == SyncAction::Receive || !row.hasLocal ? row.remote.size : row.local.size;
        std::printf("%-10s %-24s %10llu  %s\n", actionWord(row.action), name.c_str(),
                    static_cast<unsigned long long>(size), reasonText(row.reason));
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
        "vexo sync: %s\nusage: vexo sync LOCAL_DIR [--to-device|--to-pc|--both] [--dry-run] [--delete]\n",
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
    for (const auto &a : args) {
        if (a == "--to-device" || a == "--to-pc" || a == "--both") {
            ++directions;
            options.direction = a == "--to-device" ? SyncDirection::ToRemote
                                : a == "--to-pc"   ? SyncDirection::ToPc
                                                   : SyncDirection::Both;
        } else if (a == "--dry-run") {
            dryRun = true;
        } else if (a == "--delete") {
            options.deleteMissing = true;
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
    // Both ways, a file missing on one side may as well be new on the other.
    if (options.deleteMissing && options.direction == SyncDirection::Both)
        return syncUsage("--delete needs --to-device or --to-pc");
    options.nameLimit = static_cast<int>(link::kMaxDeviceName);
    return 0;
}

} // namespace

int checkSyncArgs(const std::vector<std::string> &args)
{
    SyncArgs parsed;
    return parseSyncArgs(args, parsed);
}

int runSync(link::FileClient &client, const std::vector<std::string> &args, int baud)
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
    std::vector<link::DeviceEntry> entries;
    if (const auto e = client.list("*", entries); e != LinkError::Ok) {
        std::fprintf(stderr, "vexo sync: cannot list the device: %s\n", link::describe(e));
        return 1;
    }
    std::vector<SyncFile> remote;
    for (const auto &e : entries) {
        std::string utf8;
        if (!link::cp936ToUtf8(e.name, utf8) || !safeLocalName(utf8)) {
            std::fprintf(stderr, "vexo sync: skipping a device name with no safe form on the PC\n");
            continue;
        }
        remote.push_back(SyncFile{utf8, e.size, e.mtimeMs});
    }

    const auto nameBytes = [](const std::string &name) {
        const std::string wire = wireName(name);
        if (wire.empty())
            return -1;
        if (wire.size() > link::kMaxDeviceName)
            return static_cast<int>(wire.size());
        return link::isValidDeviceName(wire) ? static_cast<int>(wire.size()) : -1;
    };
    const auto probe = [&](const SyncFile &l, const SyncFile &r) {
        uint32_t mine = 0, theirs = 0;
        link::DeviceEntry entry;
        if (!localCrc(dir + "/" + l.name, mine))
            return ContentMatch::Unknown;
        if (client.checksum(wireName(r.name), theirs, &entry) != LinkError::Ok || entry.size != r.size)
            return ContentMatch::Unknown;
        return mine == theirs ? ContentMatch::Same : ContentMatch::Different;
    };
    auto rows = PlanSync(local, remote, options, nameBytes, probe);
    printPlan(rows, baud);
    if (parsed.dryRun) {
        std::printf("dry run: nothing changed\n");
        return 0;
    }

    std::vector<link::TransferItem> sends, receives;
    std::vector<std::string> sendLabels, receiveLabels;
    for (const auto &row : rows) {
        if (!row.selected)
            continue;
        if (row.action == SyncAction::Send) {
            // An existing file is replaced only because it is older; a new one never clobbers.
            sends.push_back({dir + "/" + row.local.name, wireName(row.remoteTarget()), row.hasRemote});
            sendLabels.push_back(row.local.name);
        } else if (row.action == SyncAction::Receive) {
            receives.push_back({wireName(row.remote.name), dir + "/" + row.localTarget(), row.hasLocal});
            receiveLabels.push_back(row.remote.name);
        }
    }
    int failures = 0;
    const auto run = [&](const std::vector<link::TransferItem> &items, const std::vector<std::string> &labels,
                         bool sending) {
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
            }
        }
    };
    run(sends, sendLabels, true);
    run(receives, receiveLabels, false);
    // Deletes come last, after everything that had to arrive has arrived.
    for (const auto &row : rows) {
        if (!row.selected)
            continue;
        if (row.action == SyncAction::DeleteRemote) {
            if (const auto e = client.remove(wireName(row.remote.name)); e != LinkError::Ok) {
                std::fprintf(stderr, "vexo sync: %s: %s\n", row.remote.name.c_str(), link::describe(e));
                ++failures;
            }
        } else if (row.action == SyncAction::DeleteLocal) {
            if (::unlink((dir + "/" + row.local.name).c_str()) != 0) {
                std::fprintf(stderr, "vexo sync: %s: %s\n", row.local.name.c_str(), std::strerror(errno));
                ++failures;
            }
        }
    }
    std::printf("%s\n", failures == 0 ? "done" : "done, with failures");
    return failures == 0 ? 0 : 1;
}

} // namespace vexo::cli
