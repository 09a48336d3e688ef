#include "app/PaneMenus.h"

#include "app/PaneWindow.h"
#include "device/DevicePane.h"
#include "engine/DeviceSession.h"
#include "engine/ImageMount.h"
#include "engine/PaneContext.h"
#include "engine/TransferExecutor.h"
#include "engine/TransferPlan.h"
#include "engine/common.h"
#include "local/LocalPane.h"
#include "transfer/TransferPlanner.h"
#include "vdisk/VDiskPane.h"
#include "widgets/FileListView.h"

#include <QMenu>

#include <functional>

namespace vexo
{

namespace
{

// Each pane's menu name and the transfers' clipboard commands for it, in the
// order of Pane.
struct ClipboardCommands {
    const char *menuName;
    void (TransferPlanner::*copy)();
    void (TransferPlanner::*paste)();
};
const ClipboardCommands ClipboardCommandsOf[] = {
    {"PopupShell", &TransferPlanner::CopyLocalToClipboard, &TransferPlanner::PasteToLocal},
    {"PopupRpc", &TransferPlanner::CopyDeviceToClipboard, &TransferPlanner::PasteToDevice},
    {"PopupVDisk", &TransferPlanner::CopyVDiskToClipboard, &TransferPlanner::PasteToVDisk}};

// The connect and disconnect entries of the device's and the image's menus:
// name, text (a toolbar key for connect, a menu key for disconnect), key and
// the window's command.
struct LinkEntry {
    const char *name;
    const char *text;
    Qt::Key key;
    void (PaneWindow::*run)();
};
struct LinkEntries {
    LinkEntry connect;
    LinkEntry disconnect;
};
const LinkEntries DeviceLinkEntries = {
    {"MI_RpcConnect", "LinkRpc", Qt::Key_F3, &PaneWindow::RefreshRpc},
    {"MI_RpcDisconnect", "UnlinkRpc", Qt::Key_F4, &PaneWindow::DisconnectRpc}};
const LinkEntries ImageLinkEntries = {
    {"MI_VDiskConnect", "LinkVDisk", Qt::Key_F6, &PaneWindow::RefreshVDisk},
    {"MI_VDiskDisconnect", "UnlinkVDisk", Qt::Key_F7, &PaneWindow::DisconnectVDisk}};

} // namespace

PaneMenus::PaneMenus(PaneWindow &window, QObject *parent) : QObject(parent), m_window(window)
{
    for (FileListView *list : {window.ShellList, window.RpcList, window.VDiskList}) {
        connect(list, &FileListView::contextMenuRequested, this,
                [this, list](const QPoint &at) { popup(list, at); });
    }
}

QString PaneMenus::withKeys(const QString &text, const QList<QKeySequence> &keys)
{
    QStringList names;
    for (const QKeySequence &k : keys)
        names << k.toString(QKeySequence::NativeText);
    if (names.isEmpty())
        return text;
    return text + QStringLiteral(" (") + names.join(u'/') + u')';
}

bool PaneMenus::canPaste(Pane target) const
{
    QStringList names;
    if (!m_window.transfers->ReadClipboardFiles(names))
        return false;
    return m_window.transferExecutor().available(
        PlanPaste(target, names, m_window.PLeft->currentPathText()).route);
}

QMenu *PaneMenus::buildMenu(FileListView *list, QWidget *parent)
{
    PaneWindow &w = m_window;
    const LanguageTable &texts = w.paneContext().language;
    auto *menu = new QMenu(parent);
    // Queued, so that a question asked by an entry comes after the menu has
    // gone and the list has its focus back.
    auto add = [this, menu](const char *name, const QString &text, const QList<QKeySequence> &keys,
                            bool enabled, std::function<void()> run) {
        QString label = text;
        if (!keys.isEmpty() && !keys.first().isEmpty())
            label += u'\t' + keys.first().toString(QKeySequence::NativeText);
        QAction *action = menu->addAction(label);
        action->setObjectName(QLatin1String(name));
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, std::move(run), Qt::QueuedConnection);
        return action;
    };
    auto menuText = [&texts](const char *key) {
        return texts.text(QLatin1String(Section), QLatin1String(key));
    };

    const int selected = static_cast<int>(list->selectedRows().size());
    const QModelIndex current = list->currentIndex();
    const bool currentSelected = current.isValid() && list->isRowSelected(current.row());
    const bool connected = w.deviceSession().RpcConnected();
    const bool mounted = w.imageMount().isMounted();
    bool usable = true;
    Pane pane = Pane::Local;
    QKeySequence openKeys;
    std::function<void()> open;
    std::function<void()> remove;
    std::function<void()> refresh;
    if (list == w.ShellList) {
        usable = GetPathKind(w.PLeft->currentPathText()) == pkLocal;
        openKeys = QKeySequence(Qt::Key_Enter);
        open = [&w] { w.PLeft->onActivated(w.ShellList->currentIndex()); };
        remove = [&w] { w.PLeft->deleteSelection(); };
        refresh = [&w] { w.PLeft->reread(); };
    } else if (list == w.RpcList) {
        pane = Pane::Device;
        usable = connected;
        open = [&w] { w.devicePane->RpcListDblClick(w.RpcList->currentIndex()); };
        remove = [&w] { w.devicePane->DeleteRpcFiles(); };
        refresh = [&w] { w.RefreshRpc(); };
    } else {
        pane = Pane::VDisk;
        usable = mounted;
        open = [&w] { w.vdiskPane->VDiskListDblClick(w.VDiskList->currentIndex()); };
        remove = [&w] { w.vdiskPane->DeleteVDiskFiles(); };
        refresh = [&w] { w.RefreshVDisk(); };
    }
    const ClipboardCommands &clipboard = ClipboardCommandsOf[static_cast<int>(pane)];
    menu->setObjectName(QLatin1String(clipboard.menuName));
    auto windowCommand = [&w](void (PaneWindow::*run)()) { return [&w, run] { (w.*run)(); }; };
    auto clipboardCommand = [&w](void (TransferPlanner::*run)()) {
        return [&w, run] { (w.transfers->*run)(); };
    };

    // Opening acts on the one selected row, as a double-click does.
    add("MI_Open", menuText("Open"), {openKeys}, selected == 1 && (usable || pane == Pane::Local), open);
    menu->addSeparator();
    add("MI_Copy", texts.toolBar(QStringLiteral("Copy")), {QKeySequence(Qt::CTRL | Qt::Key_C)},
        usable && selected > 0, clipboardCommand(clipboard.copy));
    add("MI_Paste", menuText("Paste"), {QKeySequence(Qt::CTRL | Qt::Key_V)}, usable && canPaste(pane),
        clipboardCommand(clipboard.paste));
    menu->addSeparator();
    add("MI_Delete", texts.toolBar(QStringLiteral("Delete")), {QKeySequence(Qt::Key_Delete)},
        usable && selected > 0, remove);
    add("MI_Rename", texts.msg(QStringLiteral("Rename")), {QKeySequence(Qt::Key_F2)},
        usable && currentSelected, [list] { list->editCurrent(); });
    menu->addSeparator();
    if (pane == Pane::Local) {
        add("MI_NewFolder", texts.other(QStringLiteral("CreateNewFolder")), {}, usable,
            [&w] { w.PLeft->butShellNewFolderClick(); });
        add("MI_Up", texts.other(QStringLiteral("ToUpFolder")), {QKeySequence(Qt::Key_Backspace)},
            w.PLeft->currentPathText() != w.PLeft->computerText(), [&w] { w.PLeft->butShellUpClick(); });
        menu->addSeparator();
    }
    add("MI_SelectAll", menuText("SelectAll"), {QKeySequence(Qt::CTRL | Qt::Key_A)}, list->rowCount() > 0,
        [list] { list->selectAll(); });
    add("MI_Refresh", texts.toolBar(QStringLiteral("Refresh")), {QKeySequence(Qt::Key_F5)}, true, refresh);
    if (pane != Pane::Local) {
        const bool device = pane == Pane::Device;
        const LinkEntries &link = device ? DeviceLinkEntries : ImageLinkEntries;
        const bool up = device ? connected : mounted;
        const bool trying = device ? w.devicePane->attemptRunning() : w.vdiskPane->mountRunning();
        menu->addSeparator();
        add(link.connect.name, texts.toolBar(QLatin1String(link.connect.text)),
            {QKeySequence(link.connect.key)}, !up && !trying, windowCommand(link.connect.run));
        add(link.disconnect.name, menuText(link.disconnect.text), {QKeySequence(link.disconnect.key)},
            up || trying, windowCommand(link.disconnect.run));
    }
    if (pane == Pane::VDisk) {
        menu->addSeparator();
        // The format runs mounted or not, as the toolbar's does.
        add("MI_Format", texts.toolBar(QStringLiteral("FormatVDisk")), {}, true,
            [&w] { w.vdiskPane->TB_FormatClick(); });
    }
    // Commands a list carries itself (Synchronize) come last.
    if (const QList<QAction *> own = list->actions(); !own.isEmpty()) {
        menu->addSeparator();
        menu->addActions(own);
    }
    return menu;
}

void PaneMenus::popup(FileListView *list, const QPoint &globalPos)
{
    // The entries act on the focused pane, like the toolbar.
    list->setFocus(Qt::PopupFocusReason);
    QMenu *menu = buildMenu(list, list->window());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(globalPos);
}

} // namespace vexo
