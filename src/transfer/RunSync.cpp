#include "transfer/RunSync.h"

#include "app/main.h"
#include "engine/DeviceSession.h"
#include "engine/ImageMount.h"
#include "engine/SyncSources.h"
#include "engine/VDiskCopy.h"
#include "engine/common.h"
#include "local/LocalPane.h"
#include "platform/DeviceLink.h"
#include "platform/Prompter.h"
#include "platform/VDiskLibrary.h"
#include "transfer/DoProcess.h"
#include "transfer/TFormSync.h"

#include <QFile>
#include <QGuiApplication>

namespace vexo
{

namespace
{

QString q(const std::string &text)
{
    return QString::fromStdString(text);
}

// False when the run did not reach its end (stopped, or the device went away).
bool runDevice(TFormMain &window, const QStringList &sources, const QStringList &destinations,
               TransferDirection direction)
{
    if (sources.isEmpty())
        return true;
    TFormDoProcess form(window, &window);
    form.SetLists(sources, destinations);
    form.SetDirection(direction);
    form.SetReplaceState(rsAllYes);
    form.exec();
    return form.workerStarted() && !form.runStopped();
}

} // namespace

void RunSync(TFormMain &window, bool toDevice)
{
    const LanguageTable &t = window.language;
    Prompter &prompter = *window.services().prompter;
    auto refuse = [&](const char *key) {
        prompter.ask(t.sync(QLatin1String(key)), t.sync(QStringLiteral("Synchronize")), PromptButtons::Ok,
                     PromptIcon::Warning);
    };
    const QString folder = window.PLeft->currentPathText();
    if (GetPathKind(folder) != pkLocal)
        return refuse("NoFolder");
    const int client = window.deviceSession().handles().client;
    if (toDevice ? !(window.deviceSession().isConnected() && client != 0) : window.imageMount().state() != 1)
        return refuse("NoOtherSide");

    TFormSync::Sides sides;
    sides.other = toDevice ? TFormSync::Other::Device : TFormSync::Other::VDisk;
    sides.folder = folder;
    sides.baud = window.settings.Comport == 0 ? 0 : window.settings.Baudrate;
    DeviceLink &link = *window.services().link;
    VDiskLibrary &image = *window.services().vdisk;
    // Listing the other side and asking its checksums (the preview plans at
    // once) hold the window thread for a moment.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const bool listed =
        ListLocalSyncFiles(folder, sides.local) && (toDevice ? ListDeviceSyncFiles(link, client, sides.remote)
                                                             : ListVDiskSyncFiles(image, sides.remote));
    if (!listed) {
        QGuiApplication::restoreOverrideCursor();
        return refuse("ListFailed");
    }
    sides.probe = toDevice ? DeviceContentProbe(link, client, folder) : VDiskContentProbe(image, folder);
    TFormSync preview(t, std::move(sides), &window);
    QGuiApplication::restoreOverrideCursor();
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
    bool copyFailed = false;
    bool completed = true;
    if (toDevice) {
        completed = runDevice(window, sendFrom, sendTo, tdSend) &&
                    runDevice(window, receiveFrom, receiveTo, tdReceive);
    } else {
        window.OpIdle = false;
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        for (int i = 0; i < sendFrom.size(); ++i)
            copyFailed |= CopyVDiskFile(image, sendFrom[i], sendTo[i], true) != 1;
        for (int i = 0; i < receiveFrom.size(); ++i)
            copyFailed |= CopyVDiskFile(image, receiveFrom[i], receiveTo[i], true) != 1;
        QGuiApplication::restoreOverrideCursor();
        window.OpIdle = true;
    }
    // Deletes last, once everything that had to arrive has arrived; a stopped
    // run deletes nothing.
    for (const SyncRow &row : preview.rows()) {
        if (!row.selected || !completed)
            continue;
        if (row.action == SyncAction::DeleteLocal)
            QFile::remove(JoinPath(folder, q(row.local.name)));
        else if (row.action == SyncAction::DeleteRemote && toDevice)
            link.RequestDeleteFile(client, q(row.remote.name));
        else if (row.action == SyncAction::DeleteRemote)
            image.zfdelete(q(row.remote.name));
    }
    if (copyFailed)
        ShowCopyFailed(prompter, t);
    window.PLeft->reread();
    if (toDevice)
        window.RefreshRpc();
    else
        window.RefreshVDisk();
}

} // namespace vexo
