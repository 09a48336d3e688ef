#pragma once

#include "engine/StatusLine.h"
#include "engine/TransferDirection.h"

#include <QStringList>

class QLabel;
class QWidget;

namespace vexo
{

class CaptionPanel;
class DevicePane;
class DeviceSession;
class FileListView;
class ImageMount;
class LocalPane;
class TransferExecutor;
class TransferPlanner;
class VDiskPane;
struct PaneContext;

// The part of the main window that its context menus and its transfer wiring
// work on: the three panes with their lists and captions, the status line,
// the idle flag, the sessions and the transfers, and the window's commands
// for connecting and for running a device transfer. TFormMain builds the
// controls and carries out the commands; the menus and the wiring see the
// window only through this class, so the window may include them.
class PaneWindow : public StatusLine
{
public:
    bool OpIdle = true; // false while a copy runs on the window thread

    // Controls, by their designed names; set while the window is built.
    LocalPane *PLeft = nullptr;
    CaptionPanel *PRpcStatus = nullptr;
    CaptionPanel *PVDiskStatus = nullptr;
    FileListView *ShellList = nullptr;
    FileListView *RpcList = nullptr;
    FileListView *VDiskList = nullptr;
    QLabel *StatusPanel[3] = {nullptr, nullptr, nullptr};

    // The device and image panes' commands.
    DevicePane *devicePane = nullptr;
    VDiskPane *vdiskPane = nullptr;
    // Copy, paste, drag and drop between the panes.
    TransferPlanner *transfers = nullptr;

    // What the panes use of the window: services, texts, settings, work folder.
    virtual const PaneContext &paneContext() const = 0;
    // The link to the palmtop and the simulator's image.
    virtual DeviceSession &deviceSession() const = 0;
    virtual ImageMount &imageMount() const = 0;
    // Runs the transfers' plans with this window.
    virtual TransferExecutor &transferExecutor() const = 0;

    // Why a command did nothing: on the status line and as the tool tip of
    // `caption` (a pane's caption panel; none for the local pane).
    using StatusLine::showReason;
    virtual void showReason(const QString &text, QWidget *caption) = 0;

    // Device and image connections, as the keys and the toolbar ask for them.
    virtual void RefreshRpc() = 0;
    virtual void DisconnectRpc() = 0;
    virtual void RefreshVDisk() = 0;
    virtual void DisconnectVDisk() = 0;

    // Runs a device transfer behind the modal progress window and returns
    // when it has closed; after a send the device is listed again.
    virtual void RunDeviceTransfer(const QStringList &sources, const QStringList &destinations,
                                   TransferDirection direction) = 0;
};

} // namespace vexo
