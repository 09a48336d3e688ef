#pragma once

#include "engine/DeviceResult.h"
#include "widgets/FileRowModel.h"

#include <QString>

namespace vexo
{

class DeviceAccess;

// Where the rows of one device listing go, step by step in the order the
// service reports them. The window thread fills the pane directly; the
// connect thread hands each step to the window thread.
class RpcListingSink
{
public:
    virtual ~RpcListingSink() = default;
    // The search has been opened, whatever its result: the old rows go.
    virtual void listingStarted() = 0;
    // One file. `placeholder` is the empty local file standing for it (its
    // type gives the icon); empty when the name may not become a local file.
    virtual void rowListed(const FileRow &row, const QString &placeholder) = 0;
    // The search has been closed.
    virtual void listingEnded() = 0;
    // Polled between entries: true ends the listing early (still closed).
    virtual bool stopRequested() const { return false; }
};

// The folder of the device pane's placeholder files under the work folder;
// empty when there is no work folder.
QString RpcPlaceholderFolder(const QString &tempDir);

// Lists the device's files into `sink` (DeviceAccess::listFiles). Each
// entry gets an empty placeholder file (PlaceholderFolder) under
// RpcPlaceholderFolder unless its name is unsafe as a local name. The
// listing's result tells an empty device from a lost link.
DeviceResult ListRpcFiles(const DeviceAccess &device, const QString &tempDir, RpcListingSink &sink);

} // namespace vexo
