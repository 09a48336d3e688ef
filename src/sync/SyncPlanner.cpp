#include "sync/SyncPlanner.h"

#include "sync/SyncRecord.h"

#include <algorithm>
#include <iterator>
#include <map>

namespace vexo
{

namespace
{

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

bool sameTime(const SyncFile &local, const SyncFile &remote, const SyncOptions &options)
{
    const int64_t diff = local.mtimeMs - remote.mtimeMs;
    return diff <= options.timeToleranceMs && -diff <= options.timeToleranceMs;
}

bool sameContent(const SyncFile &local, const SyncFile &remote, const SyncOptions &options,
                 const ContentProbe &probe)
{
    return local.size == remote.size &&
           (sameTime(local, remote, options) || (probe && probe(local, remote) == ContentMatch::Same));
}

// A row holding whichever sides have the file.
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

// The file as the times decide it. `bothChanged`: the record shows both
// copies changed since, so unless they are now the same it is a conflict
// whatever their times say.
SyncRow decide(const SyncFile *local, const SyncFile *remote, const SyncOptions &options,
               const ContentProbe &probe, bool bothChanged = false)
{
    SyncRow row = rowOf(local, remote);
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

    // Copies that both changed since the record are the same only by their
    // content: two edits in one 2-second step may well keep the size.
    const bool same =
        bothChanged ? local->size == remote->size && probe && probe(*local, *remote) == ContentMatch::Same
                    : sameContent(*local, *remote, options, probe);
    if (same) {
        row.action = SyncAction::Equal;
        row.reason = SyncReason::SameFile;
        return row;
    }
    const int64_t diff = local->mtimeMs - remote->mtimeMs;
    if (bothChanged || sameTime(*local, *remote, options)) {
        row.action = SyncAction::Conflict;
        row.reason = SyncReason::BothChanged;
        row.selected = false;
        row.settleable = true;
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
    row.settleable = !row.selected;
    return row;
}

enum class Change { None, Changed, Gone };

// How one side's file stands against the record.
Change changeOf(const SyncFile *file, bool local, const SyncRecordEntry &entry, const SideHash &sideHash)
{
    if (!file)
        return Change::Gone;
    if (file->size != entry.size)
        return Change::Changed;
    if (file->mtimeMs == (local ? entry.localMtimeMs : entry.remoteMtimeMs))
        return Change::None;
    const std::string hash = sideHash ? sideHash(local, *file) : std::string();
    return SameContentHash(hash, entry.hash) ? Change::None : Change::Changed;
}

// The file as the record decides it: the side that changed wins, a side that
// lost an unchanged file deleted it. A change outweighs a deletion on the
// other side (it goes back over), as the times decide without a record.
SyncRow decideWithRecord(const SyncFile *local, const SyncFile *remote, const SyncRecordEntry &entry,
                         const SyncOptions &options, const ContentProbe &probe, const SideHash &sideHash)
{
    const Change here = changeOf(local, true, entry, sideHash);
    const Change there = changeOf(remote, false, entry, sideHash);
    if (here == Change::Changed && there == Change::Changed)
        return decide(local, remote, options, probe, true);
    if ((here == Change::Gone && there == Change::Changed) ||
        (there == Change::Gone && here == Change::Changed))
        return decide(local, remote, options, probe, false);

    SyncRow row = rowOf(local, remote);
    if (here == Change::None && there == Change::None) {
        row.action = SyncAction::Equal;
        row.reason = SyncReason::SameFile;
        return row;
    }
    // One side has news: a change or a deletion.
    const bool fromPc = here != Change::None;
    const bool gone = (fromPc ? here : there) == Change::Gone;
    row.reason = fromPc ? (gone ? SyncReason::GoneHere : SyncReason::ChangedHere)
                        : (gone ? SyncReason::GoneThere : SyncReason::ChangedThere);
    const SyncDirection against = fromPc ? SyncDirection::ToPc : SyncDirection::ToRemote;
    if (options.direction != against) {
        if (!gone)
            row.action = fromPc ? SyncAction::Send : SyncAction::Receive;
        else if (options.deleteMissing)
            row.action = fromPc ? SyncAction::DeleteRemote : SyncAction::DeleteLocal;
        else
            row.action = SyncAction::Keep;
    } else if (gone) {
        // One way against the news: the winning side still has the file.
        row.action = fromPc ? SyncAction::Receive : SyncAction::Send;
    } else {
        // Replacing the changed copy with the unchanged one would lose the change.
        row.action = SyncAction::Conflict;
        row.settleable = true;
    }
    row.selected = row.action != SyncAction::Conflict;
    return row;
}

// The side a preference settles a conflict for; Conflict when it cannot.
SyncAction preferred(const SyncRow &row, const SyncOptions &options)
{
    switch (options.prefer) {
    case SyncPrefer::None:
        break;
    case SyncPrefer::Pc:
        return SyncAction::Send;
    case SyncPrefer::Remote:
        return SyncAction::Receive;
    case SyncPrefer::Newer:
        if (!sameTime(row.local, row.remote, options))
            return row.local.mtimeMs > row.remote.mtimeMs ? SyncAction::Send : SyncAction::Receive;
        break;
    }
    return SyncAction::Conflict;
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
                              const ContentProbe &probe, const SyncRecord *record, const SideHash &sideHash)
{
    std::map<std::string, Group> groups;
    for (const auto &f : local)
        groups[FoldSyncName(f.name)].local.push_back(&f);
    for (const auto &f : remote)
        groups[FoldSyncName(f.name)].remote.push_back(&f);

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
        const SyncRecordEntry *entry = record ? record->find(key) : nullptr;
        SyncRow row =
            entry ? decideWithRecord(l, r, *entry, options, probe, sideHash) : decide(l, r, options, probe);
        if (row.action == SyncAction::Conflict && row.settleable) {
            // A one-way synchronisation only ever moves its own way.
            const SyncAction settled = preferred(row, options);
            if (settled != (options.direction == SyncDirection::ToRemote ? SyncAction::Receive
                            : options.direction == SyncDirection::ToPc   ? SyncAction::Send
                                                                         : SyncAction::Conflict))
                SettleConflict(row, settled);
        }
        rows.push_back(row);
    }
    return rows;
}

bool SettleConflict(SyncRow &row, SyncAction action)
{
    if (!row.settleable ||
        !(action == SyncAction::Send || action == SyncAction::Receive || action == SyncAction::Conflict))
        return false;
    row.action = action;
    row.selected = action != SyncAction::Conflict;
    return true;
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
