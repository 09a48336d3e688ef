#pragma once

#include "app/PaneWindow.h"
#include "engine/LanguageTable.h"
#include "engine/PaneContext.h"
#include "engine/Settings.h"
#include "platform/PlatformServices.h"

#include <QElapsedTimer>
#include <QMainWindow>

#include <functional>
#include <memory>
#include <optional>

class QTimer;
class QToolBar;
class QToolButton;
class QTranslator;

namespace vexo
{

class FileRowModel;
class SettingsFile;
class ShareSplitter;
class TransferWiring;
struct TransferContext;

// The main window: it composes the local, device and image panes, the
// toolbar and the status bar, and wires them; its menus and its transfer
// wiring see it as a PaneWindow. The device session and the
// image mount hold the link's and the image's state; the panes get what they
// use through a PaneContext. Construction runs the start-up (settings,
// language, layout, automatic connections, key hook); closing the window runs
// the shut-down (settings written back, work folder removed, links released).
class TFormMain : public QMainWindow, public PaneWindow
{
    Q_OBJECT
public:
    explicit TFormMain(const PlatformServices &services, QWidget *parent = nullptr);
    ~TFormMain() override;

    Settings settings;      // the program-wide settings
    LanguageTable language; // the user-interface texts
    QString TempDir;        // the work folder
    // The list the last accepted drag came from; none at first.
    FileListView *DragSource = nullptr;

    const PlatformServices &services() const { return m_services; }
    SettingsFile &settingsFile() { return *m_settingsFile; }
    // The link to the palmtop and the simulator's image.
    DeviceSession &deviceSession() const override { return *m_device; }
    ImageMount &imageMount() const override { return *m_image; }
    // What the panes use of the window.
    const PaneContext &paneContext() const override { return m_paneContext; }

    // Controls, by their designed names (the panes' lists, captions and the
    // status panels are PaneWindow's).
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
    ShareSplitter *SpLeft = nullptr;
    QWidget *PRight = nullptr;
    ShareSplitter *SpTop = nullptr;
    QWidget *PTop = nullptr;
    QWidget *PBottom = nullptr;
    FileRowModel *RpcRows = nullptr;
    FileRowModel *VDiskRows = nullptr;
    QTimer *Timer1 = nullptr;

    // What the transfer windows and runs work with, wired to this window, and
    // the executor that runs the plans.
    const TransferContext &transferContext() const;
    TransferExecutor &transferExecutor() const override;

    // True when shut-down left a device attempt inside the link library
    // (see DevicePane::attemptAbandoned).
    bool linkWorkAbandoned() const;

    // Status panel 1, the operation-status line.
    void setStatusText(const QString &text) override;
    // Why a command did nothing: on the status line, where the timer leaves
    // it for at least ReasonHoldMs (a newer text replaces it), and as the
    // tool tip of `caption` (the pane's caption panel; none for the local
    // pane), which keeps it.
    void showReason(const QString &text, QWidget *caption) override;
    void showReason(const QString &text) override { showReason(text, nullptr); }
    static constexpr int ReasonHoldMs = 10000;
    QString statusText() const;

    // Grid lines on the three lists.
    void ApplyGridLines(bool on);
    // Releases the four view buttons, sets `button` to the opposite of its
    // state before, and shows the three lists in `style`.
    void ApplyViewStyle(QToolButton *button, ViewStyle style);
    // The view button of a style.
    QToolButton *viewButton(ViewStyle style) const;

public slots:
    void TB_FormatClick();
    void TB_VDiskConnectClick();
    void TB_RpcConnectClick();
    void TB_DeleteClick();
    void TB_CopyClick();
    void TB_PasteClick();
    void TB_RefreshClick();
    // Synchronize (toolbar, F9, the lists' context menu): the local pane's
    // folder with the image when its pane has the focus, else with the palmtop
    // (or the image when only it is there).
    void TB_SyncClick();
    void TB_ViewIconClick();
    void TB_ViewSmallIconClick();
    void TB_ViewListClick();
    void TB_ViewReportClick();
    void TB_SetupClick();
    void TB_ExitClick();

    // Device and image connections: asked for by the signals below, which
    // the window wires to the device and image panes.
    void RefreshRpc() override;
    void DisconnectRpc() override;
    void RefreshVDisk() override;
    void DisconnectVDisk() override;

    // Copy and Paste of each pane: the toolbar and the lists' Ctrl and V
    // releases (see TransferPlanner).
    void CopyLocalToClipboard();
    void PasteToLocal();
    void CopyDeviceToClipboard();
    void PasteToDevice();
    void CopyVDiskToClipboard();
    void PasteToVDisk();

    // Runs a device transfer behind the modal progress window and returns
    // when it has closed; after a send the device is listed again. A test
    // may record the runs instead.
    void RunDeviceTransfer(const QStringList &sources, const QStringList &destinations,
                           TransferDirection direction) override;

    void Timer1Timer();
    void SpLeftMoved();
    // Marks the caption of the pane that holds the window's keyboard focus.
    void markFocusedPane();

signals:
    // The connection commands, from the keys, the toolbar, the menus and the
    // transfers, on their way to the pane that carries them out.
    void rpcRefreshRequested();
    void rpcDisconnectRequested();
    void vdiskRefreshRequested();
    void vdiskDisconnectRequested();
    // F8: the setup dialog, once the key press has been delivered.
    void setupRequested();

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
    // The connection commands to their panes.
    void wireCommands();
    void wireTransfers();
    void buildToolBar();
    void buildStatusBar();
    void LoadSettings();
    void LoadLanguage();
    // Puts the table's texts on the window, its panes and the toolkit's own
    // dialogs; also after the setup dialog chose another language.
    void applyLanguage();
    void installToolkitTranslation();
    void SizePanes();
    void startAutomaticConnections();
    // The window-wide key hook: acts on key-downs, never consumes them.
    void KeyHook(QKeyEvent *event);
    void applyViewCommand(ViewStyle style);
    // F8: the setup dialog, once the key press has been delivered.
    void openSetupLater();
    // F9: Synchronize the same way.
    void syncLater();
    // The command of the list that holds the keyboard focus; none when no
    // list does.
    void onFocusedList(const std::function<void()> &local, const std::function<void()> &device,
                       const std::function<void()> &image);
    // A connect button: disconnects when linked, else connects.
    void toggleLink(QToolButton *button, bool linked, void (TFormMain::*disconnect)(),
                    void (TFormMain::*connect)());
    void reportSettingsError(const QString &message);

    // One physical key press, as the hook saw it. Real input carries the
    // server's time stamp and scan code, so two presses of a key differ even
    // when their events share an address; a press seen again (offered to a
    // parent, or to another object) is the same in every field.
    struct KeyPress {
        int key = 0;
        quint32 scanCode = 0;
        quint64 timestamp = 0;
        bool autoRepeat = false;
        Qt::KeyboardModifiers modifiers;
        bool operator==(const KeyPress &other) const
        {
            return key == other.key && scanCode == other.scanCode && timestamp == other.timestamp &&
                   autoRepeat == other.autoRepeat && modifiers == other.modifiers;
        }
    };

    PlatformServices m_services;
    // Shared with the connect and mount threads: one left running at exit
    // keeps its session.
    std::shared_ptr<DeviceSession> m_device;
    std::shared_ptr<ImageMount> m_image;
    const PaneContext m_paneContext;
    std::unique_ptr<TransferWiring> m_transferWiring;
    QTranslator *m_toolkitTranslation = nullptr;
    std::unique_ptr<SettingsFile> m_settingsFile;
    // The press the hook last acted on, until its key is released.
    std::optional<KeyPress> m_keyDown;
    // Started when a reason was shown; invalid otherwise.
    QElapsedTimer m_reasonShown;
    bool m_shown = false;
    bool m_destroyed = false;
};

} // namespace vexo
