#pragma once

#include "engine/TransferContext.h"
#include "engine/TransferPlan.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QUrl>

namespace vexo
{

class Clipboard;
class FileListView;
class TransferExecutor;

// Copy, Paste, drags between the three lists and drops from the desktop,
// turned into plans (TransferPlan) that the executor runs. Nothing here
// copies a file itself.
//
// A request whose target or source pane is not available (local pane not in
// a local folder, device not connected, image not mounted, empty clipboard,
// a list of an unsupported kind) does nothing and says nothing. Only files
// are copied: folders in a local selection, a local drag or a desktop drop
// are skipped, the files beside them are copied, and one box afterwards
// names the folders left behind.
//
// Everything here runs on the window thread.
class TransferPlanner : public QObject
{
    Q_OBJECT
public:
    // The drag data of our own lists: the object name of the list dragged from.
    static constexpr const char *ListDragMimeType = "application/x-vexofile-list-drag";

    // Where the commands take their names from.
    struct Inputs {
        FileListView *local = nullptr;
        FileListView *device = nullptr;
        FileListView *image = nullptr;
        // The window's DragSource: the list the last accepted drag came from.
        FileListView **dragSource = nullptr;
        // Null: no clipboard, so Copy and Paste do nothing.
        Clipboard *clipboard = nullptr;
    };

    TransferPlanner(const TransferContext &context, TransferExecutor &executor, const Inputs &inputs,
                    QObject *parent);

    // Wires the drag and drop signals of the three lists.
    void attachLists();

    // The local selection's paths, or the device (prefixed) or image names of
    // the selected rows, in list order, go to the clipboard. Nothing selected:
    // nothing happens. Local folders go too (the paste skips them and says
    // so); an item outside the local file system leaves it alone silently.
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
    // must be an existing local file or folder (a missing path or another URL
    // shows ShowNoFolderCopy, and nothing is copied); the names replace the
    // clipboard's content and are pasted into that pane.
    void DeviceListDrop(const QList<QUrl> &urls);
    void VDiskListDrop(const QList<QUrl> &urls);

    // The clipboard's file list (see ClipboardFiles.h); false without a
    // clipboard service.
    bool WriteClipboardFiles(const QStringList &names);
    bool ReadClipboardFiles(QStringList &names);
    void ShowNoFolderCopy();
    // One box naming the folders a copy left behind, and its text.
    void ShowSkippedFolders(const QStringList &folders);
    QString SkippedFoldersText(const QStringList &folders) const;

private:
    // A paste into the device or the image; `unavailable` says why not when
    // that side is not there.
    void pasteInto(Pane target, const QString &unavailable);
    void pasteNames(Pane target, const QStringList &names);
    // The clipboard's files for a paste into `target`; without any, says so
    // and returns false.
    bool clipboardFiles(QStringList &names, Pane target);
    void dropNames(Pane target, const QList<QUrl> &urls);
    void copyRowsToClipboard(FileListView *list, const QString &prefix);
    // Runs the plan, reads its target pane again and names the folders it
    // skipped; false when it did not run.
    bool run(const TransferPlan &plan, Pane target);
    // Whether the device is connected (Device) or the image mounted (VDisk).
    bool paneAvailable(Pane pane) const;
    FileListView *listOf(QObject *source) const;
    Pane paneOf(FileListView *list) const;
    bool localFolder(QString *folder) const;

    TransferContext m_context;
    TransferExecutor &m_executor;
    Inputs m_inputs;
    // The list the running drag was dropped on (null: none of ours).
    QPointer<FileListView> m_dropTarget;
};

} // namespace vexo
