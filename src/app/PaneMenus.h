#pragma once

#include <QKeySequence>
#include <QList>
#include <QObject>

class QMenu;
class QPoint;

namespace vexo
{

class FileListView;
class PaneWindow;
enum class Pane;

// The context menus of the three lists. Each entry runs the handler that the
// toolbar button or the pane's key runs, shows that key, and is disabled when
// it cannot apply at the moment (nothing selected, nothing on the clipboard
// that the pane takes, device not connected, image not mounted ...).
//
// Entries are named for tests: MI_Open, MI_Copy, MI_Paste, MI_Delete,
// MI_Rename, MI_SelectAll, MI_Refresh; in the local menu MI_NewFolder and
// MI_Up; in the device menu MI_RpcConnect and MI_RpcDisconnect; in the image
// menu MI_VDiskConnect, MI_VDiskDisconnect and MI_Format.
class PaneMenus : public QObject
{
    Q_OBJECT
public:
    // The language section of the menu texts that the toolbar has none for.
    static constexpr const char *Section = "Menu";

    // Opens the menus on the context-menu requests of the window's lists.
    PaneMenus(PaneWindow &window, QObject *parent);

    // `text` followed by its keys in brackets, "Copy (Ctrl+C)", several keys
    // apart by "/"; without keys the text alone.
    static QString withKeys(const QString &text, const QList<QKeySequence> &keys);

    // A menu for `list` (one of the window's three) in the window's present
    // state; the caller owns it. Its entries act after the menu has closed,
    // from the event loop.
    QMenu *buildMenu(FileListView *list, QWidget *parent = nullptr);

private:
    void popup(FileListView *list, const QPoint &globalPos);
    // Whether the clipboard holds files that a paste into `target` would copy
    // over a link that is up.
    bool canPaste(Pane target) const;

    PaneWindow &m_window;
};

} // namespace vexo
