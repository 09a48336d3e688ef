#pragma once

#include "sync/SyncPlanner.h"
#include "sync/SyncRecord.h"

#include <functional>
#include <string>
#include <vector>

namespace vexo
{

// The record after a run of `rows` (planned with `before`): every file both
// sides now hold alike, as listed again afterwards (`localNow`,
// `remoteNow`), with its hash. A file moved (`ran[i]`) counts only when both
// copies now agree in size and time; one that did not move, failed or was a
// conflict keeps what `before` said of it, so that its change is still seen
// next time; a deleted file is dropped. `localHash` hashes a PC file, asked
// only for a pair the record did not already hold as it is now.
SyncRecord RecordAfterSync(const SyncRecord &before, const std::vector<SyncRow> &rows,
                           const std::vector<bool> &ran, const std::vector<SyncFile> &localNow,
                           const std::vector<SyncFile> &remoteNow, const SyncOptions &options,
                           const std::function<std::string(const SyncFile &)> &localHash);

} // namespace vexo
