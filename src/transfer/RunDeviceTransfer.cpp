#include "transfer/RunDeviceTransfer.h"

#include "app/main.h"
#include "transfer/DoProcess.h"

namespace vexo
{

void RunDeviceTransfer(TFormMain &window, const QStringList &sources, const QStringList &destinations,
                       TransferDirection direction)
{
    {
        TFormDoProcess form(window, &window);
        form.SetLists(sources, destinations);
        form.SetDirection(direction);
        form.exec();
    }
    if (direction == tdSend)
        window.RefreshRpc();
}

} // namespace vexo
