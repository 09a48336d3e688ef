#pragma once

#include "engine/DeviceSession.h"
#include "engine/PaneContext.h"
#include "widgets/ShellIconList.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>

class QAbstractButton;
class QModelIndex;

namespace vexo
{

class CaptionPanel;
class FileListView;
class FileRowModel;
class TInitRPCThread;
struct FileRow;

// The device pane's commands on its session with the palmtop: connecting on
// a thread, listing, refresh, disconnect, keys, open, delete and rename.
//
// The session holds the link's state and owns the running attempt's
// handles; the pane shows it. One attempt runs at a time: a connect request
// while one runs is ignored, a disconnect or new link settings wait for its
// end (the session hands them back). Without a device link service nothing
// is ever attempted.
class DevicePane : public QObject
{
    Q_OBJECT
public:
    // The window's controls the pane works on.
    struct View {
        FileListView &list;
        FileRowModel &rows;
        CaptionPanel &caption;
        QAbstractButton &toggle; // the toolbar's connect button
    };
    // The device node of a port (0 = USB, n = COMn), as configured.
    using PortNode = std::function<QString(int port)>;

    DevicePane(const PaneContext &context, std::shared_ptr<DeviceSession> session, const View &view,
               PortNode portNode, QObject *parent);
    ~DevicePane() override;

    // The caption again in the window's current language.
    void applyLanguage();

    // Starts a connection attempt (AutoRpc at start-up); false when the
    // attempt could not be started.
    bool startConnect();
    // Connected: lists the device again at once, on this thread. Otherwise
    // starts a connection attempt. While an attempt connects a request is
    // ignored; while its first listing runs, the list is read again after it.
    void RefreshRpc();
    // Closes the connection, empties the list, releases the toolbar toggle
    // and shows the disconnected caption. While an attempt runs this happens
    // when it ends (its listing is cut short).
    void DisconnectRpc();
    // The toolbar Delete while the device list has the focus: with a
    // selection, asks and deletes.
    void DeleteRpcFiles();
    // The sizes the listing shows for these names, -1 where it shows none.
    QList<qint64> listedSizes(const QStringList &names) const;
    // Whether the destination exists: a local file (not a folder) when local
    // is true, else a device name (asks the device; false when it cannot be
    // reached). Any thread may call.
    bool RpcFileExists(const QString &name, bool local) const;
    // At exit: a running attempt is cut off from the window and awaited for
    // at most the response time-out and a second, then the session is
    // released. An attempt still in the library after that (a long first
    // listing) is left to end with the process: see attemptAbandoned.
    // Idempotent.
    void shutdown();
    // True when shutdown left an attempt running inside the link library;
    // the process should then end without running the library's clean-up.
    bool attemptAbandoned() const { return m_abandoned; }

    // After the setup dialog: closes the connection and, when that worked,
    // connects with the stored port and speed. While an attempt runs this
    // happens when it has ended.
    void applyLinkSettings();
    // Stack size of the connect threads in bytes (0: the system's default).
    // A size the system refuses makes every attempt fail to start.
    void setAttemptStackSize(uint bytes) { m_attemptStackSize = bytes; }
    // Rebuilds the list from the device on this (the window's) thread; the
    // window waits until the last entry has arrived.
    void ListRpc();
    // Deletes the file of every selected row, top down, each tried once; a
    // row goes when its delete succeeded. Returns the last request's result
    // (ok when nothing was selected).
    DeviceResult DeleteSelectedRpcFiles();
    // Renames a file on the device; true when it was renamed. Otherwise the
    // reason (too long, bad characters, name taken, link lost) is shown.
    bool RenameRpcFile(const QString &oldName, const QString &newName);
    // The longest device name, in CP936 bytes.
    static constexpr int MaxNameBytes = 16;
    // Why the device would refuse `name` as a file name; empty when it may
    // be sent.
    static QString renameProblem(const LanguageTable &language, const QString &name);
    // True while a connection attempt (with its first listing) runs.
    bool attemptRunning() const;

    // A call reported the link lost (`result`, see DeviceResult::linkLost):
    // the pane shows disconnected with the reason on the status line and in
    // the caption's tool tip; the next refresh (F3, F5) connects again.
    // Window thread only.
    void linkLost(const DeviceResult &result);
    // A transfer waits for the lost link to come back (on), or it came back.
    void showReconnecting(bool on);
    // Carries out what was asked for while an attempt ran (see
    // DeviceSession::endAttempt), also for an attempt made by another
    // thread. Window thread only.
    void carryOut(DeviceSession::FollowUp followUp);

public slots:
    void RpcListKeyUp(int key, Qt::KeyboardModifiers modifiers);
    // Receives the one selected file into the work folder and opens it.
    void RpcListDblClick(const QModelIndex &index);
    void RpcListEdited(int row, const QString &oldText, const QString &newText, bool *accept);

signals:
    // Ctrl released in the list: copy the selection to the clipboard.
    void copyRequested();
    // V released in the list: paste into the device.
    void pasteRequested();
    // An attempt has ended and its changes are on screen.
    void attemptFinished(bool connected);

private:
    // Captions of the selected rows, top down.
    QStringList selectedNames() const;
    enum class LinkState { Connecting, Connected, Failed };

    bool startAttempt();
    // The attempt's steps, handed over to the window thread in order.
    void showLinkState(LinkState state);
    void threadListingStarted();
    void threadRowListed(const vexo::FileRow &row, const QString &placeholder);
    void threadListingEnded();
    void threadFailed(const QString &why);
    void threadLinkLost(const vexo::DeviceResult &result);
    void attemptEnded(bool connected);
    // The failure on the status line, kept as the caption's tool tip.
    void showConnectFailure(const QString &text);

    // Asks the connected device for its free space (one short request) and
    // shows it in the caption; an older device leaves the caption as it was.
    void showFreeSpace();
    void setCaption(const char *stateKey);
    void addRow(FileRow row, const QString &placeholder);

    const PaneContext m_context;
    const std::shared_ptr<DeviceSession> m_session;
    const View m_view;
    const PortNode m_portNode;
    const char *m_captionKey = "DisConnect";
    // The device's free and total bytes for the caption; free -1 when unknown.
    qint64 m_freeBytes = -1;
    qint64 m_totalBytes = 0;
    ShellIconList m_icons;
    QPointer<TInitRPCThread> m_attempt;
    uint m_attemptStackSize = 0;
    bool m_shutDown = false;
    bool m_abandoned = false;
};

} // namespace vexo
