#include "app/PaneMenus.h"

#include "app/main.h"
#include "device/DevicePane.h"
#include "engine/DeviceSession.h"
#include "engine/ImageMount.h"
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

PaneMenus::PaneMenus(TFormMain &window) : QObject(&window), m_window(window)
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
    const bool connected = m_window.deviceSession().isConnected();
    const bool mounted = m_window.imageMount().isMounted();
    const TransferPlan plan = PlanPaste(target, names, m_window.PLeft->currentPathText());
    switch (plan.route) {
    case Route::None:
        return false;
    case Route::DeviceSend:
    case Route::DeviceReceive:
        return connected;
    case Route::VDiskCopy:
        return mounted;
    case Route::RelayFromDevice:
    case Route::RelayFromVDisk:
        return connected && mounted;
    }
    return false;
}

QMenu *PaneMenus::buildMenu(FileListView *list, QWidget *parent)
{
    TFormMain &w = m_window;
    const LanguageTable &texts = w.language;
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
    const bool connected = w.deviceSession().isConnected();
    const bool mounted = w.imageMount().isMounted();
    bool usable = true;
    Pane pane = Pane::Local;
    QKeySequence openKeys;
    std::function<void()> open;
    std::function<void()> copy;
    std::function<void()> paste;
    std::function<void()> remove;
    std::function<void()> refresh;
    if (list == w.ShellList) {
        menu->setObjectName(QStringLiteral("PopupShell"));
        usable = GetPathKind(w.PLeft->currentPathText()) == pkLocal;
        openKeys = QKeySequence(Qt::Key_Enter);
        open = [&w] { w.PLeft->onActivated(w.ShellList->currentIndex()); };
        copy = [&w] { w.CopyLocalToClipboard(); };
        paste = [&w] { w.PasteToLocal(); };
        remove = [&w] { w.PLeft->deleteSelection(); };
        refresh = [&w] { w.PLeft->reread(); };
    } else if (list == w.RpcList) {
        menu->setObjectName(QStringLiteral("PopupRpc"));
        pane = Pane::Device;
        usable = connected;
        open = [&w] { w.devicePane->RpcListDblClick(w.RpcList->currentIndex()); };
        copy = [&w] { w.CopyDeviceToClipboard(); };
        paste = [&w] { w.PasteToDevice(); };
        remove = [&w] { w.devicePane->DeleteRpcFiles(); };
        refresh = [&w] { w.RefreshRpc(); };
    } else {
        menu->setObjectName(QStringLiteral("PopupVDisk"));
        pane = Pane::VDisk;
        usable = mounted;
        open = [&w] { w.vdiskPane->VDiskListDblClick(w.VDiskList->currentIndex()); };
        copy = [&w] { w.CopyVDiskToClipboard(); };
        paste = [&w] { w.PasteToVDisk(); };
        remove = [&w] { w.vdiskPane->DeleteVDiskFiles(); };
        refresh = [&w] { w.RefreshVDisk(); };
    }

    // Opening acts on the one selected row, as a double-click does.
    add("MI_Open", menuText("Open"), {openKeys}, selected == 1 && (usable || pane == Pane::Local), open);
    menu->addSeparator();
    add("MI_Copy", texts.toolBar(QStringLiteral("Copy")), {QKeySequence(Qt::CTRL | Qt::Key_C)},
        usable && selected > 0, copy);
    add("MI_Paste", menuText("Paste"), {QKeySequence(Qt::CTRL | Qt::Key_V)}, usable && canPaste(pane), paste);
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
    if (pane == Pane::Device) {
        menu->addSeparator();
        const bool trying = w.devicePane->attemptRunning();
        add("MI_RpcConnect", texts.toolBar(QStringLiteral("LinkRpc")), {QKeySequence(Qt::Key_F3)},
            !connected && !trying, [&w] { w.RefreshRpc(); });
        add("MI_RpcDisconnect", menuText("UnlinkRpc"), {QKeySequence(Qt::Key_F4)}, connected || trying,
            [&w] { w.DisconnectRpc(); });
    } else if (pane == Pane::VDisk) {
        menu->addSeparator();
        const bool trying = w.vdiskPane->mountRunning();
        add("MI_VDiskConnect", texts.toolBar(QStringLiteral("LinkVDisk")), {QKeySequence(Qt::Key_F6)},
            !mounted && !trying, [&w] { w.RefreshVDisk(); });
        add("MI_VDiskDisconnect", menuText("UnlinkVDisk"), {QKeySequence(Qt::Key_F7)}, mounted || trying,
            [&w] { w.DisconnectVDisk(); });
        menu->addSeparator();
        // The format runs mounted or not, as the toolbar's does.
        add("MI_Format", texts.toolBar(QStringLiteral("FormatVDisk")), {}, true,
            [&w] { w.TB_FormatClick(); });
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
    QMenu *menu = buildMenu(list, &m_window);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(globalPos);
}

} // namespace vexo
