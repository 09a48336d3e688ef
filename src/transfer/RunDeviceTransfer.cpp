#include "transfer/RunDeviceTransfer.h"

#include "engine/DeviceAccess.h"
#include "engine/TransferWindow.h"
#include "transfer/DoProcess.h"

namespace vexo
{

void RunDeviceTransfer(const TransferContext &context, QWidget *parent, const QStringList &sources,
                       const QStringList &destinations, TransferDirection direction)
{
    DeviceResult lost;
    bool restored = false;
    {
        TFormDoProcess form(context, parent);
        form.SetLists(sources, destinations);
        form.SetDirection(direction);
        if (direction == tdReceive)
            form.SetSizes(context.window.deviceSizes(sources));
        form.exec();
        lost = form.linkLostResult();
        restored = form.linkRestored();
    }
    // A lost link is shown as such; listing a dead device would only leave
    // an empty list under a connected caption. A device that came back may
    // have restarted: its list is read again after a receive too.
    if (!lost.ok())
        context.window.deviceLinkLost(lost);
    else if ((direction == tdSend || restored) && context.device.RpcConnected())
        context.window.relist(Pane::Device);
}

} // namespace vexo
