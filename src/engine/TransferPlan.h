#pragma once

#include <QString>
#include <QStringList>

namespace vexo
{

// The three panes files move between.
enum class Pane {
    Local,  // the PC: full local paths
    Device, // the palmtop: bare names, or prefixed ones from a clipboard list
    VDisk,  // the disk image: bare names
};

// How the pairs of one request travel.
enum class Route {
    None,            // nothing to copy
    DeviceSend,      // PC to device on the transfer worker
    DeviceReceive,   // device to PC on the transfer worker
    VDiskCopy,       // PC to image or image to PC, on the window thread
    RelayFromDevice, // device to image through the relay folder
    RelayFromVDisk,  // image to device through the relay folder
};

// One request: pair i is (sources[i], destinations[i]), all on one route.
// Local destinations are folder + "/" + a file name that IsSafeBareName
// accepts; device and image destinations are such bare names.
struct TransferPlan {
    Route route = Route::None;
    QStringList sources;
    QStringList destinations;
    // Names left out, in order: of another kind than the first name, or
    // whose file name may not become a file name in the destination (empty,
    // ".", "..", or holding "/", "\" or NUL).
    QStringList refused;
    // Local folders among the names, in order: only files are copied, and
    // the person is told which folders were left behind.
    QStringList skippedFolders;

    bool isEmpty() const { return sources.isEmpty(); }
};

// A paste into `target` of clipboard names. The first name's kind chooses the
// route for the whole list; names of another kind are refused, never sent
// down that route. Local names paste into the device (sent) or the image;
// device names into the local folder (received) or the image (relay); image
// names into the local folder or the device (relay). Local folders are
// skipped (skippedFolders), the files beside them still go. A paste into the
// pane the names come from, and a first name of any other kind, plan nothing.
// `localFolder` is the local pane's folder; the caller checks that it is a
// local path. Route None when no pair is left.
TransferPlan PlanPaste(Pane target, const QStringList &names, const QString &localFolder);

// A drag of `items` (full local paths, or device or image row captions) from
// the `source` pane onto the `target` pane; same routes and destinations as
// a paste of those items. A drag onto its own pane plans nothing.
TransferPlan PlanDrag(Pane source, Pane target, const QStringList &items, const QString &localFolder);

// Whether a route's sides are there: the device connected, the image
// mounted, or both for a relay. Never for None.
bool RouteAvailable(Route route, bool deviceConnected, bool imageMounted);

// The relay's middle list: relayFolder + "/" + the file name of each source.
QStringList RelayMiddle(const QString &relayFolder, const QStringList &sources);

} // namespace vexo
