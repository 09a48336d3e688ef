#pragma once

#include "engine/TransferContext.h"
#include "engine/TransferDirection.h"

#include <QStringList>

class QWidget;

namespace vexo
{

// Runs a device transfer behind the modal progress window (a child of
// `parent`) and returns once that window has closed (the worker has ended by
// then, so the lists may be freed at once). Pair i is (sources[i],
// destinations[i]); only as many pairs as the shorter list holds are run.
// After a send the device pane is listed again; when the run found the link
// lost, the device is reported lost instead. Call on the window thread.
void RunDeviceTransfer(const TransferContext &context, QWidget *parent, const QStringList &sources,
                       const QStringList &destinations, TransferDirection direction);

} // namespace vexo
