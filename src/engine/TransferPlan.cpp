#include "engine/TransferPlan.h"

#include "engine/common.h"

#include <QFileInfo>

namespace vexo
{

namespace
{

// Where names of one pane go when they land in another.
Route routeOf(Pane from, Pane to)
{
    switch (from) {
    case Pane::Local:
        return to == Pane::Device ? Route::DeviceSend : to == Pane::VDisk ? Route::VDiskCopy : Route::None;
    case Pane::Device:
        return to == Pane::Local   ? Route::DeviceReceive
               : to == Pane::VDisk ? Route::RelayFromDevice
                                   : Route::None;
    case Pane::VDisk:
        return to == Pane::Local    ? Route::VDiskCopy
               : to == Pane::Device ? Route::RelayFromVDisk
                                    : Route::None;
    }
    return Route::None;
}

bool paneOfKind(PathKind kind, Pane *pane)
{
    switch (kind) {
    case pkLocal:
        *pane = Pane::Local;
        return true;
    case pkDevice:
        *pane = Pane::Device;
        return true;
    case pkVDisk:
        *pane = Pane::VDisk;
        return true;
    case pkOther:
        break;
    }
    return false;
}

// Pairs for names that all belong to `from`; `sameKind` refuses the others.
TransferPlan plan(Pane from, Pane to, const QStringList &names, const QString &localFolder, PathKind sameKind)
{
    TransferPlan result;
    const Route route = routeOf(from, to);
    if (route == Route::None)
        return result;
    for (const QString &name : names) {
        const QString file = PathFileName(name);
        if (GetPathKind(name) != sameKind || !IsSafeBareName(file)) {
            result.refused << name;
            continue;
        }
        if (from == Pane::Local && QFileInfo(name).isDir()) {
            result.skippedFolders << name;
            continue;
        }
        result.sources << name;
        result.destinations << (to == Pane::Local ? JoinPath(localFolder, file) : file);
    }
    if (!result.sources.isEmpty())
        result.route = route;
    return result;
}

} // namespace

TransferPlan PlanPaste(Pane target, const QStringList &names, const QString &localFolder)
{
    Pane from = Pane::Local;
    if (names.isEmpty() || !paneOfKind(GetPathKind(names.first()), &from))
        return {};
    return plan(from, target, names, localFolder, GetPathKind(names.first()));
}

TransferPlan PlanDrag(Pane source, Pane target, const QStringList &items, const QString &localFolder)
{
    // Row captions are bare names: kind pkVDisk, whichever pane they list.
    return plan(source, target, items, localFolder, source == Pane::Local ? pkLocal : pkVDisk);
}

bool RouteAvailable(Route route, bool deviceConnected, bool imageMounted)
{
    switch (route) {
    case Route::DeviceSend:
    case Route::DeviceReceive:
        return deviceConnected;
    case Route::VDiskCopy:
        return imageMounted;
    case Route::RelayFromDevice:
    case Route::RelayFromVDisk:
        return deviceConnected && imageMounted;
    case Route::None:
        break;
    }
    return false;
}

QStringList RelayMiddle(const QString &relayFolder, const QStringList &sources)
{
    QStringList middle;
    for (const QString &source : sources)
        middle << JoinPath(relayFolder, PathFileName(source));
    return middle;
}

} // namespace vexo
