#include "transfer/TransferPlanner.h"

#include "engine/ClipboardFiles.h"
#include "engine/DeviceAccess.h"
#include "engine/ImageAccess.h"
#include "engine/LanguageTable.h"
#include "engine/StatusTexts.h"
#include "engine/TransferExecutor.h"
#include "engine/TransferWindow.h"
#include "engine/common.h"
#include "platform/Prompter.h"
#include "widgets/FileListView.h"
#include "widgets/FileRowModel.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>

namespace vexo
{

TransferPlanner::TransferPlanner(const TransferContext &context, TransferExecutor &executor,
                                 const Inputs &inputs, QObject *parent)
    : QObject(parent), m_context(context), m_executor(executor), m_inputs(inputs)
{
}

void TransferPlanner::attachLists()
{
    for (FileListView *list : {m_inputs.local, m_inputs.device, m_inputs.image}) {
        connect(
            list, &FileListView::dragStarting, this,
            [this, list](const QModelIndexList &, QMimeData *mime) {
                m_dropTarget = nullptr;
                // Only our lists understand this, so a drag never copies
                // anything when it ends on another program.
                mime->setData(QLatin1String(ListDragMimeType), list->objectName().toUtf8());
            },
            Qt::DirectConnection);
        connect(
            list, &FileListView::dragOver, this,
            [this, list](QDragMoveEvent *event, const QModelIndex &) {
                const bool fromDesktop = list != m_inputs.local && !listOf(event->source()) &&
                                         event->mimeData() && event->mimeData()->hasUrls();
                if (ShellListDragOver(list, event->source()) || fromDesktop)
                    event->acceptProposedAction();
            },
            Qt::DirectConnection);
        connect(
            list, &FileListView::dropped, this,
            [this, list](QDropEvent *event, const QModelIndex &) {
                if (listOf(event->source())) {
                    m_dropTarget = list;
                    event->acceptProposedAction();
                    return;
                }
                if (list == m_inputs.local || !event->mimeData())
                    return;
                // The program the files come from waits until the drop is
                // taken; the copy and its questions come after that.
                const QList<QUrl> urls = event->mimeData()->urls();
                event->acceptProposedAction();
                QTimer::singleShot(0, this, [this, list, urls] {
                    if (list == m_inputs.device)
                        DeviceListDrop(urls);
                    else
                        VDiskListDrop(urls);
                });
            },
            Qt::DirectConnection);
        connect(list, &FileListView::dragFinished, this, [this, list](Qt::DropAction) {
            const QPointer<FileListView> target = m_dropTarget;
            m_dropTarget = nullptr;
            // The drag's own event loop has ended; the copy runs once the
            // view that started it has left its drag state.
            QTimer::singleShot(0, this, [this, list, target] { ShellListEndDrag(list, target); });
        });
    }
}

FileListView *TransferPlanner::listOf(QObject *source) const
{
    FileListView *list = FileListView::fromDragSource(source);
    if (list == m_inputs.local || list == m_inputs.device || list == m_inputs.image)
        return list;
    return nullptr;
}

Pane TransferPlanner::paneOf(FileListView *list) const
{
    if (list == m_inputs.device)
        return Pane::Device;
    if (list == m_inputs.image)
        return Pane::VDisk;
    return Pane::Local;
}

bool TransferPlanner::paneAvailable(Pane pane) const
{
    switch (pane) {
    case Pane::Device:
        return m_context.device.RpcConnected();
    case Pane::VDisk:
        return m_context.image.isMounted();
    case Pane::Local:
        break;
    }
    return true;
}

bool TransferPlanner::localFolder(QString *folder) const
{
    *folder = m_context.window.localFolder();
    return GetPathKind(*folder) == pkLocal;
}

bool TransferPlanner::WriteClipboardFiles(const QStringList &names)
{
    return m_inputs.clipboard && vexo::WriteClipboardFiles(*m_inputs.clipboard, names);
}

bool TransferPlanner::ReadClipboardFiles(QStringList &names)
{
    return m_inputs.clipboard && vexo::ReadClipboardFiles(*m_inputs.clipboard, names);
}

void TransferPlanner::ShowNoFolderCopy()
{
    const LanguageTable &language = m_context.language;
    m_context.prompter->ask(language.message(QStringLiteral("NoFolderCopy")),
                            language.message(QStringLiteral("ErrorTitle")), PromptButtons::Ok,
                            PromptIcon::Error);
}

void TransferPlanner::ShowSkippedFolders(const QStringList &folders)
{
    m_context.prompter->ask(SkippedFoldersText(folders),
                            m_context.language.message(QStringLiteral("PromptTitle")), PromptButtons::Ok,
                            PromptIcon::Information);
}

QString TransferPlanner::SkippedFoldersText(const QStringList &folders) const
{
    QStringList names;
    for (const QString &folder : folders)
        names << PathFileName(folder);
    return m_context.language.message(QStringLiteral("FoldersSkipped")) + QStringLiteral("\n\n") +
           names.join(u'\n');
}

void TransferPlanner::CopyLocalToClipboard()
{
    const QStringList paths = m_context.window.localSelection();
    if (paths.isEmpty())
        return;
    for (const QString &path : paths) {
        if (GetPathKind(path) != pkLocal)
            return;
    }
    WriteClipboardFiles(paths);
}

void TransferPlanner::copyRowsToClipboard(FileListView *list, const QString &prefix)
{
    auto *rows = qobject_cast<FileRowModel *>(list->model());
    if (!rows)
        return;
    QStringList names;
    for (const QModelIndex &index : list->selectedRows())
        names << prefix + rows->caption(index.row());
    WriteClipboardFiles(names);
}

void TransferPlanner::CopyDeviceToClipboard()
{
    // Marked as device files, so a paste fetches them from the device and
    // never takes a same-named image file instead.
    copyRowsToClipboard(m_inputs.device, DevicePrefix);
}

void TransferPlanner::CopyVDiskToClipboard()
{
    copyRowsToClipboard(m_inputs.image, QString());
}

void TransferPlanner::PasteToLocal()
{
    QString folder;
    if (!localFolder(&folder))
        return;
    QStringList names;
    if (clipboardFiles(names, Pane::Local))
        run(PlanPaste(Pane::Local, names, folder), Pane::Local);
}

void TransferPlanner::PasteToDevice()
{
    pasteInto(Pane::Device, StatusTexts::DeviceNotConnected(m_context.language));
}

void TransferPlanner::PasteToVDisk()
{
    pasteInto(Pane::VDisk, StatusTexts::ImageNotMounted(m_context.language));
}

void TransferPlanner::pasteInto(Pane target, const QString &unavailable)
{
    if (!paneAvailable(target)) {
        m_context.window.showReason(unavailable, target);
        return;
    }
    QStringList names;
    if (clipboardFiles(names, target))
        pasteNames(target, names);
}

bool TransferPlanner::clipboardFiles(QStringList &names, Pane target)
{
    if (ReadClipboardFiles(names) && !names.isEmpty())
        return true;
    m_context.window.showReason(StatusTexts::ClipboardEmpty(m_context.language), target);
    return false;
}

void TransferPlanner::pasteNames(Pane target, const QStringList &names)
{
    run(PlanPaste(target, names, QString()), target);
}

bool TransferPlanner::run(const TransferPlan &plan, Pane target)
{
    if (!plan.skippedFolders.isEmpty())
        m_context.window.setRunNotes(SkippedFoldersText(plan.skippedFolders));
    const bool ran = m_executor.run(plan);
    // Device runs list the device again themselves.
    if (ran && target != Pane::Device)
        m_context.window.relist(target);
    // After the copy, so the box holds up none of the files; unless the
    // progress window told it in its box already.
    if (m_context.window.takeRunNotes().isEmpty())
        return ran;
    ShowSkippedFolders(plan.skippedFolders);
    return ran;
}

bool TransferPlanner::ShellListDragOver(FileListView *, QObject *source)
{
    FileListView *list = listOf(source);
    if (!list)
        return false;
    *m_inputs.dragSource = list;
    return true;
}

void TransferPlanner::ShellListEndDrag(FileListView *sender, FileListView *target)
{
    if (target == *m_inputs.dragSource)
        return;
    FileListView *shell = m_inputs.local;
    QString folder;
    if (sender == shell) {
        if (shell->rowCount() > 0 && !localFolder(&folder))
            return;
        const QStringList items = m_context.window.localSelection();
        if (target == m_inputs.device || target == m_inputs.image) {
            if (!paneAvailable(paneOf(target)))
                return;
            run(PlanDrag(Pane::Local, paneOf(target), items, folder), paneOf(target));
        }
        m_context.window.relist(Pane::Local);
        return;
    }

    if (!target || target == sender || (target == shell && !localFolder(&folder)))
        return;
    auto *rows = qobject_cast<FileRowModel *>(sender->model());
    if (!rows)
        return;
    QStringList items;
    for (const QModelIndex &index : sender->selectedRows())
        items << rows->caption(index.row());
    run(PlanDrag(paneOf(sender), paneOf(target), items, folder), paneOf(target));
}

void TransferPlanner::dropNames(Pane target, const QList<QUrl> &urls)
{
    if (urls.isEmpty())
        return;
    QStringList names;
    for (const QUrl &url : urls) {
        const QString path = url.isLocalFile() ? url.toLocalFile() : QString();
        const QFileInfo info(path);
        if (path.isEmpty() || !info.isAbsolute() || !(info.isFile() || info.isDir())) {
            ShowNoFolderCopy();
            return;
        }
        names << path;
    }
    WriteClipboardFiles(names);
    // The dropped names themselves are pasted, even where the clipboard
    // could not take them.
    if (paneAvailable(target))
        pasteNames(target, names);
}

void TransferPlanner::DeviceListDrop(const QList<QUrl> &urls)
{
    dropNames(Pane::Device, urls);
}

void TransferPlanner::VDiskListDrop(const QList<QUrl> &urls)
{
    dropNames(Pane::VDisk, urls);
}

} // namespace vexo
