#include "transfer/TransferPlanner.h"

#include "app/main.h"
#include "engine/ClipboardFiles.h"
#include "engine/DeviceSession.h"
#include "engine/ImageMount.h"
#include "engine/StatusTexts.h"
#include "engine/VDiskCopy.h"
#include "engine/common.h"
#include "local/LocalPane.h"
#include "platform/Prompter.h"
#include "widgets/CaptionPanel.h"
#include "widgets/FileListView.h"
#include "widgets/FileRowModel.h"

#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMimeData>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

namespace vexo
{

namespace
{

// Message boxes get the normal pointer back while an operation shows the
// hourglass; the operation's cursor returns with the answer.
class NormalCursor
{
public:
    NormalCursor() { QGuiApplication::setOverrideCursor(Qt::ArrowCursor); }
    ~NormalCursor() { QGuiApplication::restoreOverrideCursor(); }
    NormalCursor(const NormalCursor &) = delete;
    NormalCursor &operator=(const NormalCursor &) = delete;
};

// The hourglass and OpIdle false while a copy holds the window thread. The
// earlier OpIdle comes back, so a copy inside the relay leaves it false for
// the rest of the relay.
class BusyWindow
{
public:
    explicit BusyWindow(TFormMain &window) : m_window(window), m_wasIdle(window.OpIdle)
    {
        m_window.OpIdle = false;
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
    ~BusyWindow()
    {
        QGuiApplication::restoreOverrideCursor();
        m_window.OpIdle = m_wasIdle;
    }
    BusyWindow(const BusyWindow &) = delete;
    BusyWindow &operator=(const BusyWindow &) = delete;

private:
    TFormMain &m_window;
    const bool m_wasIdle;
};

// An empty folder made just now for this relay: whatever an earlier relay
// left under that name goes first, so no stale file is ever relayed.
bool makeFreshFolder(const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder);
    struct stat st {
    };
    if (::lstat(path.constData(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            DeleteFolderTree(folder);
        else
            ::unlink(path.constData());
    }
    return ::mkdir(path.constData(), 0700) == 0;
}

} // namespace

TransferPlanner::TransferPlanner(TFormMain &window) : QObject(&window), m_window(window)
{
}

void TransferPlanner::attachLists()
{
    for (FileListView *list : {m_window.ShellList, m_window.RpcList, m_window.VDiskList}) {
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
                const bool fromDesktop = list != m_window.ShellList && !listOf(event->source()) &&
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
                if (list == m_window.ShellList || !event->mimeData())
                    return;
                // The program the files come from waits until the drop is
                // taken; the copy and its questions come after that.
                const QList<QUrl> urls = event->mimeData()->urls();
                event->acceptProposedAction();
                QTimer::singleShot(0, this, [this, list, urls] {
                    if (list == m_window.RpcList)
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
    if (list == m_window.ShellList || list == m_window.RpcList || list == m_window.VDiskList)
        return list;
    return nullptr;
}

Pane TransferPlanner::paneOf(FileListView *list) const
{
    if (list == m_window.RpcList)
        return Pane::Device;
    if (list == m_window.VDiskList)
        return Pane::VDisk;
    return Pane::Local;
}

bool TransferPlanner::localFolder(QString *folder) const
{
    *folder = m_window.PLeft->currentPathText();
    return GetPathKind(*folder) == pkLocal;
}

void TransferPlanner::setStatus(const QString &text)
{
    m_window.setStatusText(text);
    // The window thread is about to be busy with the copy; show the text now.
    m_window.StatusPanel[1]->repaint();
}

bool TransferPlanner::WriteClipboardFiles(const QStringList &names)
{
    Clipboard *clipboard = m_window.services().clipboard;
    return clipboard && vexo::WriteClipboardFiles(*clipboard, names);
}

bool TransferPlanner::ReadClipboardFiles(QStringList &names)
{
    Clipboard *clipboard = m_window.services().clipboard;
    return clipboard && vexo::ReadClipboardFiles(*clipboard, names);
}

void TransferPlanner::ShowNoFolderCopy()
{
    const LanguageTable &language = m_window.language;
    m_window.services().prompter->ask(language.message(QStringLiteral("NoFolderCopy")),
                                      language.message(QStringLiteral("ErrorTitle")), PromptButtons::Ok,
                                      PromptIcon::Error);
}

QString TransferPlanner::relayFolder() const
{
    return m_window.TempDir.isEmpty() ? QString() : JoinPath(m_window.TempDir, QStringLiteral("Temp"));
}

void TransferPlanner::CopyLocalToClipboard()
{
    const QStringList paths = m_window.PLeft->selectedPaths();
    if (paths.isEmpty())
        return;
    for (const QString &path : paths) {
        if (QFileInfo(path).isDir()) {
            ShowNoFolderCopy();
            return;
        }
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
    copyRowsToClipboard(m_window.RpcList, DevicePrefix);
}

void TransferPlanner::CopyVDiskToClipboard()
{
    copyRowsToClipboard(m_window.VDiskList, QString());
}

void TransferPlanner::PasteToLocal()
{
    QString folder;
    if (!localFolder(&folder))
        return;
    QStringList names;
    if (!clipboardFiles(names, nullptr))
        return;
    if (run(PlanPaste(Pane::Local, names, folder)))
        m_window.PLeft->reread();
}

void TransferPlanner::PasteToDevice()
{
    if (!m_window.deviceSession().isConnected()) {
        m_window.showReason(StatusTexts::DeviceNotConnected(m_window.language), m_window.PRpcStatus);
        return;
    }
    QStringList names;
    if (clipboardFiles(names, m_window.PRpcStatus))
        pasteNames(Pane::Device, names);
}

void TransferPlanner::PasteToVDisk()
{
    if (m_window.imageMount().state() != 1) {
        m_window.showReason(StatusTexts::ImageNotMounted(m_window.language), m_window.PVDiskStatus);
        return;
    }
    QStringList names;
    if (clipboardFiles(names, m_window.PVDiskStatus))
        pasteNames(Pane::VDisk, names);
}

bool TransferPlanner::clipboardFiles(QStringList &names, QWidget *caption)
{
    if (ReadClipboardFiles(names) && !names.isEmpty())
        return true;
    m_window.showReason(StatusTexts::ClipboardEmpty(m_window.language), caption);
    return false;
}

void TransferPlanner::pasteNames(Pane target, const QStringList &names)
{
    // Device runs list the device again themselves.
    if (run(PlanPaste(target, names, QString())) && target == Pane::VDisk)
        m_window.RefreshVDisk();
}

bool TransferPlanner::routeAvailable(Route route) const
{
    const bool device = m_window.deviceSession().isConnected();
    const bool image = m_window.imageMount().state() == 1;
    switch (route) {
    case Route::DeviceSend:
    case Route::DeviceReceive:
        return device;
    case Route::VDiskCopy:
        return image;
    case Route::RelayFromDevice:
    case Route::RelayFromVDisk:
        return device && image;
    case Route::None:
        break;
    }
    return false;
}

bool TransferPlanner::run(const TransferPlan &plan)
{
    if (!routeAvailable(plan.route))
        return false;
    switch (plan.route) {
    case Route::DeviceSend:
        m_window.RunDeviceTransfer(plan.sources, plan.destinations, tdSend);
        break;
    case Route::DeviceReceive:
        m_window.RunDeviceTransfer(plan.sources, plan.destinations, tdReceive);
        break;
    case Route::VDiskCopy:
        RunVDiskCopy(plan.sources, plan.destinations);
        break;
    case Route::RelayFromDevice:
        RunRelayTransfer(plan.sources, plan.destinations, true);
        break;
    case Route::RelayFromVDisk:
        RunRelayTransfer(plan.sources, plan.destinations, false);
        break;
    case Route::None:
        return false;
    }
    return true;
}

bool TransferPlanner::ShellListDragOver(FileListView *, QObject *source)
{
    FileListView *list = listOf(source);
    if (!list)
        return false;
    m_window.DragSource = list;
    return true;
}

void TransferPlanner::ShellListEndDrag(FileListView *sender, FileListView *target)
{
    if (target == m_window.DragSource)
        return;
    FileListView *shell = m_window.ShellList;
    QString folder;
    if (sender == shell) {
        if (shell->rowCount() > 0 && !localFolder(&folder))
            return;
        const QStringList items = m_window.PLeft->selectedPaths();
        for (const QString &path : items) {
            if (QFileInfo(path).isDir()) {
                ShowNoFolderCopy();
                m_window.PLeft->reread();
                return;
            }
        }
        if (target == m_window.RpcList || target == m_window.VDiskList) {
            const bool toDevice = target == m_window.RpcList;
            if (toDevice ? !m_window.deviceSession().isConnected() : m_window.imageMount().state() != 1)
                return;
            if (run(PlanDrag(Pane::Local, paneOf(target), items, folder)) && !toDevice)
                m_window.RefreshVDisk();
        }
        m_window.PLeft->reread();
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
    if (!run(PlanDrag(paneOf(sender), paneOf(target), items, folder)))
        return;
    if (target == shell)
        m_window.PLeft->reread();
    else if (target == m_window.VDiskList)
        m_window.RefreshVDisk();
}

void TransferPlanner::dropNames(Pane target, const QList<QUrl> &urls)
{
    if (urls.isEmpty())
        return;
    QStringList names;
    for (const QUrl &url : urls) {
        const QString path = url.isLocalFile() ? url.toLocalFile() : QString();
        const QFileInfo info(path);
        if (path.isEmpty() || !info.isAbsolute() || !info.isFile()) {
            ShowNoFolderCopy();
            return;
        }
        names << path;
    }
    WriteClipboardFiles(names);
    // The dropped names themselves are pasted, even where the clipboard
    // could not take them.
    if (target == Pane::Device ? m_window.deviceSession().isConnected() : m_window.imageMount().state() == 1)
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

void TransferPlanner::RunVDiskCopy(const QStringList &sources, const QStringList &destinations)
{
    VDiskLibrary *library = m_window.services().vdisk;
    Prompter &prompter = *m_window.services().prompter;
    const LanguageTable &language = m_window.language;
    BusyWindow busy(m_window);

    enum class State { Go, Skipped, Cancelled, Failed };
    State state = State::Go;
    const qsizetype pairs = qMin(sources.size(), destinations.size());
    for (qsizetype i = 0; i < pairs; ++i) {
        state = State::Go;
        const QString &destination = destinations.at(i);
        if (library && CopyTargetExists(*library, destination)) {
            PromptAnswer answer = PromptAnswer::Cancel;
            {
                NormalCursor normal;
                answer =
                    prompter.ask(Filled(language.message(QStringLiteral("ReplaceQuestion")), {destination}),
                                 language.msg(QStringLiteral("MsgTitle")), PromptButtons::YesNoCancel,
                                 PromptIcon::Question);
            }
            state = answer == PromptAnswer::Yes  ? State::Go
                    : answer == PromptAnswer::No ? State::Skipped
                                                 : State::Cancelled;
        }
        setStatus(Filled(language.status(QStringLiteral("CopyingFile")), {PathFileName(destination)}));
        if (state == State::Cancelled)
            break;
        if (state == State::Go &&
            (!library || CopyVDiskFile(*library, sources.at(i), destination, true) != 1)) {
            NormalCursor normal;
            ShowCopyFailed(prompter, language);
            state = State::Failed;
        }
    }
    if (state == State::Go)
        setStatus(language.status(QStringLiteral("CopyDone")));
}

void TransferPlanner::RunRelayTransfer(const QStringList &sources, const QStringList &destinations,
                                       bool fromDevice)
{
    BusyWindow busy(m_window);
    const QString relay = relayFolder();
    if (relay.isEmpty() || !makeFreshFolder(relay)) {
        NormalCursor normal;
        ShowCopyFailed(*m_window.services().prompter, m_window.language);
        return;
    }
    const QStringList middle = RelayMiddle(relay, sources);
    auto deviceStage = [this](const QStringList &from, const QStringList &to, TransferDirection direction) {
        // The progress window's Cancel wants the normal pointer.
        NormalCursor normal;
        m_window.RunDeviceTransfer(from, to, direction);
    };
    if (fromDevice) {
        deviceStage(sources, middle, tdReceive);
        RunVDiskCopy(middle, destinations);
    } else {
        RunVDiskCopy(sources, middle);
        deviceStage(middle, destinations, tdSend);
    }
    DeleteFolderTree(relay);
}

} // namespace vexo
