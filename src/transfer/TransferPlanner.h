#pragma once

#include "engine/TransferPlan.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>

namespace vexo
{

class FileListView;
class TFormMain;

// Copy, Paste, drags between the three lists and drops from the desktop,
// turned into transfer lists and run along one of three routes: the device
// worker (TFormMain::RunDeviceTransfer), the image copy on the window thread
// (RunVDiskCopy) or the relay between device and image (RunRelayTransfer).
//
// A request whose target or source pane is not available (local pane not in
// a local folder, device not connected, image not mounted, empty clipboard,
// a list of an unsupported kind) does nothing and says nothing. Only files
// are copied: a folder in a local selection, a local drag or a desktop drop
// is refused with ShowNoFolderCopy and nothing is copied.
//
// Everything here runs on the window thread.
class TransferPlanner : public QObject
{
    Q_OBJECT
public:
    // The drag data of our own lists: the object name of the list dragged from.
    static constexpr const char *ListDragMimeType = "application/x-vexofile-list-drag";

    explicit TransferPlanner(TFormMain &window);

    // Wires the drag and drop signals of the three lists.
    void attachLists();

    // The local selection's paths, or the device (prefixed) or image names of
    // the selected rows, in list order, go to the clipboard. Nothing selected:
    // nothing happens. A folder among the local items: ShowNoFolderCopy and the
    // clipboard keeps its content; an item outside the local file system
    // leaves it alone silently.
    void CopyLocalToClipboard();
    void CopyDeviceToClipboard();
    void CopyVDiskToClipboard();

    // The clipboard's file list copied into the pane (see PlanPaste). Into
    // the local folder the local pane is read again afterwards, into the image
    // the image is listed again, into the device the device is listed again
    // by the device run.
    void PasteToLocal();
    void PasteToDevice();
    void PasteToVDisk();

    // Whether a drag from `source` (a drop event's source()) may end over
    // `sender`: yes when it comes from one of the three lists, which then
    // becomes the window's DragSource.
    bool ShellListDragOver(FileListView *sender, QObject *source);
    // The end of a drag started in `sender`; `target` is the list it was
    // dropped on, or null. Dropped back on DragSource: nothing.
    void ShellListEndDrag(FileListView *sender, FileListView *target);
    // Files dropped from the desktop onto the device or the image list: each
    // must be an existing local file (a folder, a missing path or another
    // URL shows ShowNoFolderCopy, and nothing is copied); the names replace
    // the clipboard's content and are pasted into that pane.
    void DeviceListDrop(const QList<QUrl> &urls);
    void VDiskListDrop(const QList<QUrl> &urls);

    // Copies pair by pair between the PC and the image on this thread, with
    // the hourglass cursor and OpIdle false meanwhile. An existing
    // destination is asked about (Yes copies, No skips, Cancel ends); each
    // file's name shows in the status line, a failed copy shows
    // ShowCopyFailed and the next pair follows. When the last pair was
    // copied (or there was none) the status line reports success.
    void RunVDiskCopy(const QStringList &sources, const QStringList &destinations);
    // Device to image (fromDevice) or image to device, through the relay
    // folder TempDir + "/Temp", made fresh for the run and removed afterwards:
    // the first stage fills it, the second takes every pair from it, whatever
    // the first stage did. OpIdle stays false for the whole relay.
    void RunRelayTransfer(const QStringList &sources, const QStringList &destinations, bool fromDevice);

    // The clipboard's file list (see ClipboardFiles.h); false without a
    // clipboard service.
    bool WriteClipboardFiles(const QStringList &names);
    bool ReadClipboardFiles(QStringList &names);
    void ShowNoFolderCopy();

    // The relay folder of the window's work folder; empty without one.
    QString relayFolder() const;
    // Whether the panes that `route` goes through are up (the device
    // connected, the image mounted).
    bool routeAvailable(Route route) const;

private:
    void pasteNames(Pane target, const QStringList &names);
    // The clipboard's files for a paste; without any, says so (on the status
    // line and as `caption`'s tool tip) and returns false.
    bool clipboardFiles(QStringList &names, QWidget *caption);
    void dropNames(Pane target, const QList<QUrl> &urls);
    void copyRowsToClipboard(FileListView *list, const QString &prefix);
    // Runs a plan whose preconditions hold; false when its route needs a pane
    // that is not available.
    bool run(const TransferPlan &plan);
    FileListView *listOf(QObject *source) const;
    Pane paneOf(FileListView *list) const;
    bool localFolder(QString *folder) const;
    void setStatus(const QString &text);

    TFormMain &m_window;
    // The list the running drag was dropped on (null: none of ours).
    QPointer<FileListView> m_dropTarget;
};

} // namespace vexo
