#include "transfer/RunSync.h"

#include "engine/DeviceAccess.h"
#include "engine/DevicePorts.h"
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
#include "sync/RecordAfterSync.h"
#include "transfer/DoProcess.h"
#include "transfer/TFormSync.h"

#include <QDir>
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

// What names the other side in the record of a pair: the simulator's one
// image, the palmtop's own identity, or the port an older palmtop without
// one is reached on.
std::string otherIdentity(const TransferContext &context, bool toDevice)
{
    if (!toDevice)
        return "image";
    const QString id = context.device.identity();
    if (!id.isEmpty())
        return "palmtop:" + id.toStdString();
    return "port:" + DevicePortName(context.settings.Comport).toStdString();
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
    sides.sideHash = toDevice ? DeviceSideHash(device, folder) : VDiskSideHash(image, folder);

    // The record of the last synchronisation of this folder with this side.
    SyncRecord record(QDir(folder).canonicalPath().toStdString(), otherIdentity(context, toDevice));
    const std::string dataFolder = SyncRecord::DataFolder();
    const std::string recordPath = dataFolder.empty() ? std::string() : record.pathIn(dataFolder);
    std::string setAside;
    const auto loaded = recordPath.empty() ? SyncRecord::Load::Missing : record.load(recordPath, &setAside);
    if (loaded == SyncRecord::Load::Loaded)
        sides.record = &record;
    else if (loaded == SyncRecord::Load::Damaged)
        sides.recordNote = t.sync(QStringLiteral("RecordDamaged")).arg(QString::fromStdString(setAside));
    else
        sides.recordNote = t.sync(QStringLiteral("NoRecord"));
    TFormSync preview(t, std::move(sides), parent);
    window.popPointer();
    // Nothing is deleted unless the person says so once more, seeing how many.
    for (;;) {
        if (preview.exec() != QDialog::Accepted)
            return;
        int deleteLocal = 0, deleteRemote = 0;
        for (const SyncRow &row : preview.rows()) {
            deleteLocal += row.selected && row.action == SyncAction::DeleteLocal;
            deleteRemote += row.selected && row.action == SyncAction::DeleteRemote;
        }
        if (deleteLocal + deleteRemote == 0 ||
            prompter.ask(t.sync(QStringLiteral("ConfirmDelete"))
                             .arg(deleteLocal)
                             .arg(deleteRemote)
                             .arg(preview.otherSide()),
                         t.sync(QStringLiteral("Synchronize")), PromptButtons::YesNo,
                         PromptIcon::Question) == PromptAnswer::Yes)
            break;
    }

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
    const std::vector<SyncRow> &rows = preview.rows();
    std::vector<bool> ran(rows.size(), false);
    for (size_t i = 0; i < rows.size(); ++i) {
        const SyncRow &row = rows[i];
        if (!row.selected || !completed)
            continue;
        if (row.action == SyncAction::DeleteLocal)
            ran[i] = QFile::remove(JoinPath(folder, q(row.local.name)));
        else if (row.action == SyncAction::DeleteRemote && toDevice)
            ran[i] = device.deleteFile(q(row.remote.name)).ok();
        else if (row.action == SyncAction::DeleteRemote)
            ran[i] = image.zfdelete(q(row.remote.name)) == 1;
        else
            ran[i] = row.acts(); // whether it arrived shows in the listings below
    }
    if (copyFailed)
        ShowCopyFailed(prompter, t);
    // The record of this synchronisation, from both sides as they are now.
    std::vector<SyncFile> localNow, remoteNow;
    if (!recordPath.empty() && ListLocalSyncFiles(folder, localNow) &&
        (toDevice ? ListDeviceSyncFiles(device, remoteNow) : ListVDiskSyncFiles(image, remoteNow))) {
        const auto hash = [&](const SyncFile &f) { return LocalSyncHash(JoinPath(folder, q(f.name))); };
        RecordAfterSync(record, rows, ran, localNow, remoteNow, preview.options(), hash).save(recordPath);
    }
    window.relist(Pane::Local);
    window.relist(toDevice ? Pane::Device : Pane::VDisk);
}

} // namespace vexo
