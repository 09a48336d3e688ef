// Comparing a PC folder with the palmtop (or the disk image) and deciding what
// a synchronisation moves. Plain C++ without Qt, so that the command-line
// client plans with the same rules as the window.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vexo
{

enum class SyncDirection {
    ToRemote, // the PC folder wins: the palmtop or image is made like it
    ToPc,     // the palmtop or image wins
    Both,     // each file goes where it is missing or older
};

enum class SyncAction {
    Send,         // PC to the other side
    Receive,      // the other side to the PC
    Equal,        // same file on both sides: nothing moves
    Keep,         // on one side only and the direction does not carry it: left alone
    Conflict,     // listed, never acted on
    DeleteLocal,  // gone on the other side; deleted from the PC when asked
    DeleteRemote, // gone on the PC; deleted from the other side when asked
};

enum class SyncReason {
    OnlyHere,     // on the PC only
    OnlyThere,    // on the other side only
    NewerHere,    // the PC's copy is newer
    NewerThere,   // the other side's copy is newer
    SameFile,     // same size and time, or same size and checksum
    BothChanged,  // same time but different content: no side can be called newer
    NameTooLong,  // the name takes more bytes than the other side allows
    NameInvalid,  // the name has no form on the other side (code page, forbidden characters)
    CaseConflict, // several names on one side differ only in case, which the other side cannot tell apart
};

struct SyncFile {
    std::string name; // UTF-8
    uint64_t size = 0;
    int64_t mtimeMs = 0; // ms since 1970-01-01 UTC
};

struct SyncOptions {
    SyncDirection direction = SyncDirection::Both;
    // Deletes files missing on the winning side; only in a one-way direction
    // (both ways cannot tell a deleted file from a new one, so it is ignored).
    bool deleteMissing = false;
    int nameLimit = 16; // bytes of a name on the other side (the palmtop: 16, the image: 17)
    // Times closer than this count as equal: the palmtop and the image keep
    // times in 2-second steps.
    int64_t timeToleranceMs = 2000;
};

// Bytes a PC name takes on the other side, or -1 when it has no valid form there.
using RemoteNameBytes = std::function<int(const std::string &name)>;

enum class ContentMatch { Same, Different, Unknown };
// Asked only for a pair of the same size whose times differ, so that a file
// copied earlier (its time on the other side is the copy's time) is not moved
// again. Unknown (an older device) counts as different.
using ContentProbe = std::function<ContentMatch(const SyncFile &local, const SyncFile &remote)>;

struct SyncRow {
    SyncAction action = SyncAction::Equal;
    SyncReason reason = SyncReason::SameFile;
    bool hasLocal = false;
    bool hasRemote = false;
    SyncFile local;       // valid with hasLocal
    SyncFile remote;      // valid with hasRemote
    bool selected = true; // the person may untick a row; only selected rows run

    // The name the file takes on the side it goes to: an existing file keeps
    // its own spelling (names differing only in case are the same file there).
    const std::string &localTarget() const { return hasLocal ? local.name : remote.name; }
    const std::string &remoteTarget() const { return hasRemote ? remote.name : local.name; }
    // Whether running the row changes anything.
    bool acts() const;
};

struct SyncTotals {
    int sendFiles = 0;
    uint64_t sendBytes = 0;
    int receiveFiles = 0;
    uint64_t receiveBytes = 0;
    int deleteLocal = 0;
    int deleteRemote = 0;
    int equal = 0;
    int conflicts = 0;
    int kept = 0;
};

// One row per file, sorted by name without regard to case. Names are matched
// as the palmtop sees them: ASCII letters without regard to case.
std::vector<SyncRow> PlanSync(const std::vector<SyncFile> &local, const std::vector<SyncFile> &remote,
                              const SyncOptions &options, const RemoteNameBytes &remoteNameBytes,
                              const ContentProbe &probe);

// Counts of the selected rows (unselected acting rows count as kept).
SyncTotals SumSync(const std::vector<SyncRow> &rows);

// Seconds the selected transfers take on a line of `baud` (8N1: ten bits a
// byte; 0 = USB), with a small cost per file for its request and answer.
double EstimateSyncSeconds(const SyncTotals &totals, int baud);

} // namespace vexo
