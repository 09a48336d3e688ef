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
    // With the record of the last synchronisation:
    ChangedHere,  // changed on the PC since, not on the other side
    ChangedThere, // changed on the other side since, not on the PC
    GoneHere,     // deleted from the PC since, unchanged on the other side
    GoneThere,    // deleted from the other side since, unchanged on the PC
};

// Which side a conflict between two copies is settled for.
enum class SyncPrefer {
    None,   // conflicts stay conflicts
    Pc,     // the PC's copy
    Remote, // the palmtop's or the image's copy
    Newer,  // the newer copy; copies of the same time stay conflicts
};

struct SyncFile {
    std::string name; // UTF-8
    uint64_t size = 0;
    int64_t mtimeMs = 0; // ms since 1970-01-01 UTC
};

struct SyncOptions {
    SyncDirection direction = SyncDirection::Both;
    // Deletes files missing on the winning side. Both ways only files the
    // record shows were deleted since the last synchronisation: without it a
    // file on one side may as well be new.
    bool deleteMissing = false;
    // Applies to conflicts between two copies the direction allows to move.
    SyncPrefer prefer = SyncPrefer::None;
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

// The hash of a file's content on the PC (`local`) or the other side, in the
// record's form; empty when it cannot be had. Asked only for a file whose
// size is the recorded one but whose time is not: a file touched without a
// change is not a change.
using SideHash = std::function<std::string(bool local, const SyncFile &file)>;

class SyncRecord;

struct SyncRow {
    SyncAction action = SyncAction::Equal;
    SyncReason reason = SyncReason::SameFile;
    bool hasLocal = false;
    bool hasRemote = false;
    SyncFile local;       // valid with hasLocal
    SyncFile remote;      // valid with hasRemote
    bool selected = true; // the person may untick a row; only selected rows run
    // A conflict between two copies, which may be settled either way
    // (SettleConflict); stays set once settled.
    bool settleable = false;

    // The name the file takes on the side it goes to: an existing file keeps
    // its own spelling (names differing only in case are the same file there).
    const std::string &localTarget() const { return hasLocal ? local.name : remote.name; }
    const std::string &remoteTarget() const { return hasRemote ? remote.name : local.name; }
    // Whether running the row changes anything.
    bool acts() const;
};

// What the selected rows do. An unticked row that would act counts as kept.
struct SyncTotals {
    int sendFiles = 0; // files sent, with their bytes
    uint64_t sendBytes = 0;
    int receiveFiles = 0; // files received, with their bytes
    uint64_t receiveBytes = 0;
    int deleteLocal = 0; // files deleted from the PC and from the other side
    int deleteRemote = 0;
    int equal = 0;
    int conflicts = 0;
    int kept = 0;
};

// One row per file, sorted by name without regard to case. Names are matched
// as the palmtop sees them: ASCII letters without regard to case. With the
// `record` of the last synchronisation a side changed when it differs from
// the record, and a file the record holds that one side no longer has was
// deleted there; files the record does not hold are decided by their times.
std::vector<SyncRow> PlanSync(const std::vector<SyncFile> &local, const std::vector<SyncFile> &remote,
                              const SyncOptions &options, const RemoteNameBytes &remoteNameBytes,
                              const ContentProbe &probe, const SyncRecord *record = nullptr,
                              const SideHash &sideHash = nullptr);

// A conflict between two copies set to go one way (Send or Receive, ticked)
// or left (Conflict, unticked). False, and the row unchanged, for a row that
// is no such conflict: a name the other side cannot hold never moves.
bool SettleConflict(SyncRow &row, SyncAction action);

// Counts of the selected rows (unselected acting rows count as kept).
SyncTotals SumSync(const std::vector<SyncRow> &rows);

// Seconds the selected transfers take on a line of `baud` (8N1: ten bits a
// byte; 0 = USB), with a small cost per file for its request and answer.
double EstimateSyncSeconds(const SyncTotals &totals, int baud);

} // namespace vexo
