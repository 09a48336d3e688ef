#include "transfer/RunDeviceTransfer.h"

#include "engine/DeviceAccess.h"
#include "engine/TransferWindow.h"
#include "transfer/DoProcess.h"

namespace vexo
{

void RunDeviceTransfer(const TransferContext &context, QWidget *parent, const QStringList &sources,
                       const QStringList &destinations, TransferDirection direction)
{
    int lost = 0;
    {
        TFormDoProcess form(context, parent);
        form.SetLists(sources, destinations);
        form.SetDirection(direction);
        form.exec();
        lost = form.linkLostResult();
    }
    // A lost link is shown as such; listing a dead device would only leave
    // an empty list under a connected caption.
    if (lost != 0)
        context.window.deviceLinkLost(lost);
    else if (direction == tdSend && context.device.isConnected())
        context.window.relist(Pane::Device);
}

} // namespace vexo
