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

SyncRow conflict(SyncReason reason, const SyncFile *local, const SyncFile *remote)
{
    SyncRow row;
    row.action = SyncAction::Conflict;
    row.reason = reason;
    row.selected = false;
    if (local) {
        row.hasLocal = true;
        row.local = *local;
    }
    if (remote) {
        row.hasRemote = true;
        row.remote = *remote;
    }
    return row;
}

SyncRow decide(const SyncFile *local, const SyncFile *remote, const SyncOptions &options,
               const ContentProbe &probe)
{
    SyncRow row;
    row.hasLocal = local != nullptr;
    row.hasRemote = remote != nullptr;
    if (local)
        row.local = *local;
    if (remote)
        row.remote = *remote;
    const bool deletes = options.deleteMissing && options.direction != SyncDirection::Both;

    if (!local || !remote) {
        // On one side only: it goes over unless the direction points the
        // other way, which deletes it when asked and keeps it otherwise.
        const bool here = local != nullptr;
        row.reason = here ? SyncReason::OnlyHere : SyncReason::OnlyThere;
        if (options.direction != (here ? SyncDirection::ToPc : SyncDirection::ToRemote))
            row.action = here ? SyncAction::Send : SyncAction::Receive;
        else if (deletes)
            row.action = here ? SyncAction::DeleteLocal : SyncAction::DeleteRemote;
        else
            row.action = SyncAction::Keep;
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
    if (sameTime) {
        row.action = SyncAction::Conflict;
        row.reason = SyncReason::BothChanged;
        row.selected = false;
        return row;
    }
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

// The count each action adds to, in the order of SyncAction.
int SyncTotals::*countOf(SyncAction action)
{
    static constexpr int SyncTotals::*counts[] = {
        &SyncTotals::sendFiles, &SyncTotals::receiveFiles, &SyncTotals::equal,       &SyncTotals::kept,
        &SyncTotals::conflicts, &SyncTotals::deleteLocal,  &SyncTotals::deleteRemote};
    static_assert(std::size(counts) == static_cast<size_t>(SyncAction::DeleteRemote) + 1, "one per action");
    return counts[static_cast<size_t>(action)];
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
    SyncTotals t;
    for (const auto &row : rows) {
        if (row.acts() && !row.selected) {
            ++t.kept;
            continue;
        }
        ++(t.*countOf(row.action));
        if (row.action == SyncAction::Send)
            t.sendBytes += row.local.size;
        else if (row.action == SyncAction::Receive)
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
