#pragma once

#include "engine/TransferDirection.h"

#include <QStringList>

namespace vexo
{

class TFormMain;

// Runs a device transfer behind the modal progress window and returns once
// that window has closed (the worker has ended by then, so the lists may be
// freed at once). Pair i is (sources[i], destinations[i]); only as many pairs
// as the shorter list holds are run. After a send the device pane is listed
// again; when the run found the link lost, the pane shows it disconnected
// instead. Call on the window thread.
void RunDeviceTransfer(TFormMain &window, const QStringList &sources, const QStringList &destinations,
                       TransferDirection direction);

} // namespace vexo
