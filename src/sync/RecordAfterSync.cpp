#include "sync/RecordAfterSync.h"

#include <map>

namespace vexo
{

SyncRecord RecordAfterSync(const SyncRecord &before, const std::vector<SyncRow> &rows,
                           const std::vector<bool> &ran, const std::vector<SyncFile> &localNow,
                           const std::vector<SyncFile> &remoteNow, const SyncOptions &options,
                           const std::function<std::string(const SyncFile &)> &localHash)
{
    std::map<std::string, const SyncFile *> local, remote;
    for (const auto &f : localNow)
        local.emplace(FoldSyncName(f.name), &f);
    for (const auto &f : remoteNow)
        remote.emplace(FoldSyncName(f.name), &f);
    SyncRecord after = before;
    after.clear();
    for (size_t i = 0; i < rows.size(); ++i) {
        const SyncRow &row = rows[i];
        const std::string key = FoldSyncName(row.hasLocal ? row.local.name : row.remote.name);
        const SyncRecordEntry *old = before.find(key);
        const bool moved = i < ran.size() && ran[i];
        const bool copied = moved && (row.action == SyncAction::Send || row.action == SyncAction::Receive);
        if (row.action != SyncAction::Equal && !copied) {
            // Unchanged knowledge, unless the file was deleted.
            if (old && !(moved && row.acts()))
                after.put(*old);
            continue;
        }
        const auto l = local.find(key);
        const auto r = remote.find(key);
        if (l == local.end() || r == remote.end() || l->second->size != r->second->size) {
            if (old && !copied)
                after.put(*old);
            continue;
        }
        const SyncFile &pc = *l->second;
        const SyncFile &other = *r->second;
        const int64_t diff = pc.mtimeMs - other.mtimeMs;
        if (copied && (diff > options.timeToleranceMs || -diff > options.timeToleranceMs))
            continue; // not the copy that was sent: its change must still show
        SyncRecordEntry e{pc.name, pc.size, pc.mtimeMs, other.mtimeMs, std::string()};
        if (old && old->size == e.size && old->localMtimeMs == e.localMtimeMs &&
            old->remoteMtimeMs == e.remoteMtimeMs)
            e.hash = old->hash;
        else if (localHash)
            e.hash = localHash(pc);
        after.put(e);
    }
    return after;
}

} // namespace vexo
