#pragma once

#include "engine/TransferContext.h"

class QWidget;

namespace vexo
{

// The Synchronize command: compares the folder of the local pane with the
// device (when `toDevice`) or the mounted image, shows the preview (TFormSync,
// a child of `parent`) and runs what the person started: sends and receives
// to and from the device on the transfer worker behind the progress window
// (already decided, so no replace question is asked), copies to and from the
// image on the window thread, then the deletes that were ticked (none after a
// stopped run, which also skips the other direction). Afterwards the panes
// involved are read again. A local pane without a local folder, a side that
// is not connected or a listing that fails is reported and nothing happens.
// Call on the window thread.
void RunSync(const TransferContext &context, QWidget *parent, bool toDevice);

} // namespace vexo
