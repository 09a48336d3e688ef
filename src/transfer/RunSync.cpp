#include "transfer/RunSync.h"

#include "engine/DeviceAccess.h"
#include "engine/ImageAccess.h"
#include "engine/LanguageTable.h"
#include "engine/Settings.h"
#include "engine/SpaceCheck.h"
#include "engine/SyncSources.h"
#include "engine/TransferWindow.h"
#include "engine/VDiskCopy.h"
#include "engine/common.h"
#include "platform/Prompter.h"
#include "platform/VDiskLibrary.h"
#include "transfer/DoProcess.h"
#include "transfer/TFormSync.h"

#include <QFile>

namespace vexo
{

namespace
{

QString q(const std::string &text)
{
    return QString::fromStdString(text);
}

// False when the run did not reach its end (stopped, or the device went away).
bool runDevice(const TransferContext &context, QWidget *parent, const QStringList &sources,
               const QStringList &destinations, TransferDirection direction)
{
    if (sources.isEmpty())
        return true;
    TFormDoProcess form(context, parent);
    form.SetLists(sources, destinations);
    form.SetDirection(direction);
    form.SetReplaceState(rsAllYes);
    form.exec();
    return form.workerStarted() && !form.runStopped();
}

} // namespace

void RunSync(const TransferContext &context, QWidget *parent, bool toDevice)
{
    const LanguageTable &t = context.language;
    Prompter &prompter = *context.prompter;
    TransferWindow &window = context.window;
    using Pointer = TransferWindow::Pointer;
    auto refuse = [&](const char *key) {
        prompter.ask(t.sync(QLatin1String(key)), t.sync(QStringLiteral("Synchronize")), PromptButtons::Ok,
                     PromptIcon::Warning);
    };
    const QString folder = window.localFolder();
    if (GetPathKind(folder) != pkLocal)
        return refuse("NoFolder");
    DeviceAccess &device = context.device;
    if (toDevice ? !device.RpcConnected() : !context.image.isMounted())
        return refuse("NoOtherSide");

    TFormSync::Sides sides;
    sides.other = toDevice ? TFormSync::Other::Device : TFormSync::Other::VDisk;
    sides.folder = folder;
    sides.baud = context.settings.Comport == 0 ? 0 : context.settings.Baudrate;
    VDiskLibrary &image = *context.image.library();
    // Listing the other side and asking its checksums (the preview plans at
    // once) hold the window thread for a moment.
    window.pushPointer(Pointer::Busy);
    const bool listed =
        ListLocalSyncFiles(folder, sides.local) &&
        (toDevice ? ListDeviceSyncFiles(device, sides.remote) : ListVDiskSyncFiles(image, sides.remote));
    if (!listed) {
        window.popPointer();
        return refuse("ListFailed");
    }
    sides.probe = toDevice ? DeviceContentProbe(device, folder) : VDiskContentProbe(image, folder);
    TFormSync preview(t, std::move(sides), parent);
    window.popPointer();
    if (preview.exec() != QDialog::Accepted)
        return;

    QStringList sendFrom, sendTo, receiveFrom, receiveTo;
    for (const SyncRow &row : preview.rows()) {
        if (!row.selected)
            continue;
        if (row.action == SyncAction::Send) {
            sendFrom << JoinPath(folder, q(row.local.name));
            sendTo << q(row.remoteTarget());
        } else if (row.action == SyncAction::Receive) {
            receiveFrom << q(row.remote.name);
            receiveTo << JoinPath(folder, q(row.localTarget()));
        }
    }
    // What cannot fit is said before anything moves or goes.
    if (!SpaceCheck(context).allows(toDevice ? Route::DeviceSend : Route::VDiskCopy, sendFrom, sendTo))
        return;
    bool copyFailed = false;
    bool completed = true;
    if (toDevice) {
        completed = runDevice(context, parent, sendFrom, sendTo, tdSend) &&
                    runDevice(context, parent, receiveFrom, receiveTo, tdReceive);
    } else {
        window.setIdle(false);
        window.pushPointer(Pointer::Busy);
        for (int i = 0; i < sendFrom.size(); ++i)
            copyFailed |= CopyVDiskFile(image, sendFrom[i], sendTo[i], true) != 1;
        for (int i = 0; i < receiveFrom.size(); ++i)
            copyFailed |= CopyVDiskFile(image, receiveFrom[i], receiveTo[i], true) != 1;
        window.popPointer();
        window.setIdle(true);
    }
    // Deletes last, once everything that had to arrive has arrived; a stopped
    // run deletes nothing.
    for (const SyncRow &row : preview.rows()) {
        if (!row.selected || !completed)
            continue;
        if (row.action == SyncAction::DeleteLocal)
            QFile::remove(JoinPath(folder, q(row.local.name)));
        else if (row.action == SyncAction::DeleteRemote && toDevice)
            device.deleteFile(q(row.remote.name));
        else if (row.action == SyncAction::DeleteRemote)
            image.zfdelete(q(row.remote.name));
    }
    if (copyFailed)
        ShowCopyFailed(prompter, t);
    window.relist(Pane::Local);
    window.relist(toDevice ? Pane::Device : Pane::VDisk);
}

} // namespace vexo
