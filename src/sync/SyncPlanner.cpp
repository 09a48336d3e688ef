#include "sync/SyncPlanner.h"

#include <algorithm>
#include <iterator>
#include <map>

namespace vexo
{

namespace
{

// UTF-8 never puts an ASCII byte inside a multi-byte character, so folding
// ASCII bytes folds exactly the letters the palmtop ignores the case of.
std::string foldKey(const std::string &name)
{
    std::string key = name;
    for (auto &c : key)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return key;
}

struct Group {
    std::vector<const SyncFile *> local;
    std::vector<const SyncFile *> remote;
};

// The row of a pair before anything is decided about it.
SyncRow rowOf(const SyncFile *local, const SyncFile *remote)
{
    SyncRow row;
    row.hasLocal = local != nullptr;
    row.hasRemote = remote != nullptr;
    if (local)
        row.local = *local;
    if (remote)
        row.remote = *remote;
    return row;
}

SyncRow conflict(SyncReason reason, const SyncFile *local, const SyncFile *remote)
{
    SyncRow row = rowOf(local, remote);
    row.action = SyncAction::Conflict;
    row.reason = reason;
    row.selected = false;
    return row;
}

// A file on one side only is copied when the direction carries it there;
// against the direction it is deleted when asked, else left alone.
SyncAction oneSided(bool carried, bool deletes, SyncAction copy, SyncAction remove)
{
    if (carried)
        return copy;
    return deletes ? remove : SyncAction::Keep;
}

SyncRow decide(const SyncFile *local, const SyncFile *remote, const SyncOptions &options,
               const ContentProbe &probe)
{
    SyncRow row = rowOf(local, remote);
    const bool deletes = options.deleteMissing && options.direction != SyncDirection::Both;

    if (!remote) {
        row.reason = SyncReason::OnlyHere;
        row.action = oneSided(options.direction != SyncDirection::ToPc, deletes, SyncAction::Send,
                              SyncAction::DeleteLocal);
        return row;
    }
    if (!local) {
        row.reason = SyncReason::OnlyThere;
        row.action = oneSided(options.direction != SyncDirection::ToRemote, deletes, SyncAction::Receive,
                              SyncAction::DeleteRemote);
        return row;
    }

    const int64_t diff = local->mtimeMs - remote->mtimeMs;
    const bool sameTime = diff <= options.timeToleranceMs && -diff <= options.timeToleranceMs;
    if (local->size == remote->size &&
        (sameTime || (probe && probe(*local, *remote) == ContentMatch::Same))) {
        row.action = SyncAction::Equal;
        row.reason = SyncReason::SameFile;
        return row;
    }
    if (sameTime)
        return conflict(SyncReason::BothChanged, local, remote);
    const bool localNewer = diff > 0;
    row.reason = localNewer ? SyncReason::NewerHere : SyncReason::NewerThere;
    switch (options.direction) {
    case SyncDirection::Both:
        row.action = localNewer ? SyncAction::Send : SyncAction::Receive;
        break;
    case SyncDirection::ToRemote:
        // Replacing a newer file with an older one would lose its changes.
        row.action = localNewer ? SyncAction::Send : SyncAction::Conflict;
        break;
    case SyncDirection::ToPc:
        row.action = localNewer ? SyncAction::Conflict : SyncAction::Receive;
        break;
    }
    row.selected = row.action != SyncAction::Conflict;
    return row;
}

} // namespace

bool SyncRow::acts() const
{
    switch (action) {
    case SyncAction::Send:
    case SyncAction::Receive:
    case SyncAction::DeleteLocal:
    case SyncAction::DeleteRemote:
        return true;
    case SyncAction::Equal:
    case SyncAction::Keep:
    case SyncAction::Conflict:
        break;
    }
    return false;
}

std::vector<SyncRow> PlanSync(const std::vector<SyncFile> &local, const std::vector<SyncFile> &remote,
                              const SyncOptions &options, const RemoteNameBytes &remoteNameBytes,
                              const ContentProbe &probe)
{
    std::map<std::string, Group> groups;
    for (const auto &f : local)
        groups[foldKey(f.name)].local.push_back(&f);
    for (const auto &f : remote)
        groups[foldKey(f.name)].remote.push_back(&f);

    std::vector<SyncRow> rows;
    for (const auto &[key, group] : groups) {
        if (group.local.size() > 1 || group.remote.size() > 1) {
            for (const auto *f : group.local)
                rows.push_back(conflict(SyncReason::CaseConflict, f, nullptr));
            for (const auto *f : group.remote)
                rows.push_back(conflict(SyncReason::CaseConflict, nullptr, f));
            continue;
        }
        const SyncFile *l = group.local.empty() ? nullptr : group.local.front();
        const SyncFile *r = group.remote.empty() ? nullptr : group.remote.front();
        if (l && !r) {
            // Never cut to fit: a shortened name would be another file.
            const int bytes = remoteNameBytes ? remoteNameBytes(l->name) : static_cast<int>(l->name.size());
            if (bytes < 0) {
                rows.push_back(conflict(SyncReason::NameInvalid, l, nullptr));
                continue;
            }
            if (bytes > options.nameLimit) {
                rows.push_back(conflict(SyncReason::NameTooLong, l, nullptr));
                continue;
            }
        }
        rows.push_back(decide(l, r, options, probe));
    }
    return rows;
}

SyncTotals SumSync(const std::vector<SyncRow> &rows)
{
    // The count each action adds to, in the order of SyncAction.
    static int SyncTotals::*const counts[] = {
        &SyncTotals::sendFiles, &SyncTotals::receiveFiles, &SyncTotals::equal,        &SyncTotals::kept,
        &SyncTotals::conflicts, &SyncTotals::deleteLocal,  &SyncTotals::deleteRemote,
    };
    static_assert(std::size(counts) == static_cast<size_t>(SyncAction::DeleteRemote) + 1);

    SyncTotals t;
    for (const auto &row : rows) {
        // A row the person unticked leaves its files as they are.
        const SyncAction action = row.acts() && !row.selected ? SyncAction::Keep : row.action;
        ++(t.*counts[static_cast<size_t>(action)]);
        if (action == SyncAction::Send)
            t.sendBytes += row.local.size;
        else if (action == SyncAction::Receive)
            t.receiveBytes += row.remote.size;
    }
    return t;
}

double EstimateSyncSeconds(const SyncTotals &totals, int baud)
{
    // USB moves about a megabyte a second; a serial byte is ten bits on the line.
    const double bytesPerSecond = baud > 0 ? baud / 10.0 : 1000000.0;
    const double perFile = baud > 0 ? 0.1 : 0.01;
    const int files = totals.sendFiles + totals.receiveFiles + totals.deleteLocal + totals.deleteRemote;
    return static_cast<double>(totals.sendBytes + totals.receiveBytes) / bytesPerSecond + files * perFile;
}

} // namespace vexo
