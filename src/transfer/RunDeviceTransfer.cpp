#include "transfer/RunDeviceTransfer.h"

#include "app/main.h"
#include "device/DevicePane.h"
#include "engine/DeviceSession.h"
#include "transfer/DoProcess.h"

namespace vexo
{

void RunDeviceTransfer(TFormMain &window, const QStringList &sources, const QStringList &destinations,
                       TransferDirection direction)
{
    int lost = 0;
    {
        TFormDoProcess form(window, &window);
        form.SetLists(sources, destinations);
        form.SetDirection(direction);
        form.exec();
        lost = form.linkLostResult();
    }
    // A lost link is shown as such; listing a dead device would only leave
    // an empty list under a connected caption.
    if (lost != 0)
        window.devicePane->linkLost(lost);
    else if (direction == tdSend && window.deviceSession().isConnected())
        window.RefreshRpc();
}

} // namespace vexo
