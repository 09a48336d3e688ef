#pragma once

#include "app/LanguageTable.h"
#include "app/Settings.h"
#include "platform/PlatformServices.h"
#include "transfer/TransferDirection.h"

#include <QMainWindow>
#include <QPointer>

#include <atomic>
#include <memory>

class QLabel;
class QSplitter;
class QTimer;
class QToolBar;
class QToolButton;

namespace vexo
{

class CaptionPanel;
class DevicePane;
class FileListView;
class FileRowModel;
class LocalPane;
class SettingsFile;
class TransferPlanner;
class VDiskPane;

// The main window: the local, device and image panes, the toolbar, the status
// bar, and the state the panes share. Construction runs the start-up
// (settings, language, layout, automatic connections, key hook); closing the
// window runs the shut-down (settings written back, work folder removed,
// links released).
class TFormMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit TFormMain(const PlatformServices &services, QWidget *parent = nullptr);
    ~TFormMain() override;

    // Shared state; the atomics are also read by background threads.
    std::atomic<bool> RpcConnected{false};
    std::atomic<int> VDiskState{-1}; // -1 never tried, 0 not mounted, 1 mounted
    bool OpIdle = true;              // false while a copy runs on the window thread
    std::atomic<int> RpcPipe{0};     // open serial or USB pipe, 0 = none
    std::atomic<int> RpcClient{0};   // open file-service client, 0 = none
    std::atomic<int> RpcPipePort{0}; // port the pipe was opened for (0 = USB)
    Settings settings;               // the program-wide settings
    LanguageTable language;          // the user-interface texts
    QString TempDir;                 // the work folder
    // The list the last accepted drag came from; none at first.
    FileListView *DragSource = nullptr;

    const PlatformServices &services() const { return m_services; }
    SettingsFile &settingsFile() { return *m_settingsFile; }

    // Controls, by their designed names.
    QToolBar *ToolBar1 = nullptr;
    QToolButton *TB_Format = nullptr;
    QToolButton *TB_VDiskConnect = nullptr;
    QToolButton *TB_RpcConnect = nullptr;
    QToolButton *TB_Delete = nullptr;
    QToolButton *TB_Copy = nullptr;
    QToolButton *TB_Paste = nullptr;
    QToolButton *TB_Refresh = nullptr;
    QToolButton *TB_Sync = nullptr;
    QToolButton *TB_ViewIcon = nullptr;
    QToolButton *TB_ViewSmallIcon = nullptr;
    QToolButton *TB_ViewList = nullptr;
    QToolButton *TB_ViewReport = nullptr;
    QToolButton *TB_Setup = nullptr;
    QToolButton *TB_Exit = nullptr;
    LocalPane *PLeft = nullptr;
    QSplitter *SpLeft = nullptr;
    QWidget *PRight = nullptr;
    QSplitter *SpTop = nullptr;
    QWidget *PTop = nullptr;
    QWidget *PBottom = nullptr;
    CaptionPanel *PRpcStatus = nullptr;
    CaptionPanel *PVDiskStatus = nullptr;
    FileListView *ShellList = nullptr;
    FileListView *RpcList = nullptr;
    FileListView *VDiskList = nullptr;
    FileRowModel *RpcRows = nullptr;
    FileRowModel *VDiskRows = nullptr;
    QLabel *StatusPanel[3] = {nullptr, nullptr, nullptr};
    QTimer *Timer1 = nullptr;

    // The device and image panes' commands.
    DevicePane *devicePane = nullptr;
    VDiskPane *vdiskPane = nullptr;
    // Copy, paste, drag and drop between the panes.
    TransferPlanner *transfers = nullptr;

    // Status panel 1, the operation-status line.
    void setStatusText(const QString &text);
    QString statusText() const;

    // Grid lines on the three lists.
    void ApplyGridLines(bool on);
    // Releases the four view buttons, sets `button` to the opposite of its
    // state before, and shows the three lists in `style`.
    void ApplyViewStyle(QToolButton *button, ViewStyle style);
    // The view button of a style.
    QToolButton *viewButton(ViewStyle style) const;

public slots:
    virtual void TB_FormatClick();
    void TB_VDiskConnectClick();
    void TB_RpcConnectClick();
    virtual void TB_DeleteClick();
    virtual void TB_CopyClick();
    virtual void TB_PasteClick();
    void TB_RefreshClick();
    // Synchronize (toolbar, F9, the lists' context menu): the local pane's
    // folder with the image when its pane has the focus, else with the palmtop
    // (or the image when only it is there).
    virtual void TB_SyncClick();
    void TB_ViewIconClick();
    void TB_ViewSmallIconClick();
    void TB_ViewListClick();
    void TB_ViewReportClick();
    virtual void TB_SetupClick();
    void TB_ExitClick();

    // Device and image connections.
    virtual void RefreshRpc();
    virtual void DisconnectRpc();
    virtual void RefreshVDisk();
    virtual void DisconnectVDisk();

    // Copy and Paste of each pane: the toolbar and the lists' Ctrl and V
    // releases (see TransferPlanner).
    virtual void CopyLocalToClipboard();
    virtual void PasteToLocal();
    void CopyDeviceToClipboard();
    void PasteToDevice();
    void CopyVDiskToClipboard();
    void PasteToVDisk();

    // Runs a device transfer behind the modal progress window and returns
    // when it has closed; after a send the device is listed again.
    virtual void RunDeviceTransfer(const QStringList &sources, const QStringList &destinations,
                                   TransferDirection direction);

    void Timer1Timer();
    void SpLeftMoved();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void FormCreate();
    void FormShow();
    void FormDestroy();
    void buildLayout();
    void wireTransfers();
    void buildToolBar();
    void buildStatusBar();
    void LoadSettings();
    void LoadLanguage();
    void SizePanes();
    void startAutomaticConnections();
    // The window-wide key hook: acts on key-downs, never consumes them.
    void KeyHook(QKeyEvent *event);
    void applyViewCommand(ViewStyle style);
    void reportSettingsError(const QString &message);

    PlatformServices m_services;
    std::unique_ptr<SettingsFile> m_settingsFile;
    const QEvent *m_lastKeyEvent = nullptr;
    QPointer<QWidget> m_lastKeyTarget;
    bool m_shown = false;
    bool m_destroyed = false;
};

} // namespace vexo
