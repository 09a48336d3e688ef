#pragma once

#include "engine/TransferContext.h"
#include "engine/TransferPlan.h"

#include <QStringList>

namespace vexo
{

// Runs a plan along its route: device runs behind the progress window (the
// window's runDevice), copies between the PC and the image on the window
// thread, and the relay between the device and the image through a folder of
// its own. It decides nothing about which files go where: that is the plan.
//
// Window thread only. The panes are not read again here; the command that
// made the plan does that.
class TransferExecutor
{
public:
    explicit TransferExecutor(const TransferContext &context);

    // Whether the route's sides are there: the device connected, the image
    // mounted, or both for a relay.
    bool available(Route route) const;
    // Runs the plan; false, and nothing done, when its route is None or not
    // available. A run refused for want of room drops the window's run notes:
    // the refusal is its one box.
    bool run(const TransferPlan &plan);

    // Copies pair by pair between the PC and the image, with the busy pointer
    // and OpIdle false meanwhile. An existing destination is asked about (Yes
    // copies, No skips, Cancel ends); each file's name (and, for several,
    // its number) shows in the status line, a failed copy shows ShowCopyFailed and the next pair follows.
    // When the last pair was copied (or there was none) the status line
    // reports success. A name too long for the image is not copied; the copy
    // ends with one box: the window's run notes (the folders left out), the
    // failures an earlier relay stage left with the window, then those names;
    // while the window holds run failures, all that stays with the window.
    void RunVDiskCopy(const QStringList &sources, const QStringList &destinations);
    // Device to image (fromDevice) or image to device, through the relay
    // folder, made fresh for the run and removed afterwards: the first stage
    // fills it, the second takes the pairs whose file arrived there, so a
    // file that failed (or was not reached after a stop) is reported once.
    // The first stage's failures and notes wait for the second stage's box,
    // so the relay ends with one box (a file the image fails to copy is still
    // told at once). OpIdle stays false for the whole relay.
    void RunRelayTransfer(const QStringList &sources, const QStringList &destinations, bool fromDevice);

    // The work folder's "Temp"; empty without a work folder.
    QString relayFolder() const;

private:
    TransferContext m_context;
};

} // namespace vexo
