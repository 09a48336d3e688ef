#include "device/DevicePane.h"

#include "app/main.h"
#include "device/RpcListing.h"
#include "device/TInitRPCThread.h"
#include "engine/DeviceNodeProbe.h"
#include "engine/DevicePorts.h"
#include "engine/PaneKeys.h"
#include "engine/SettingsFile.h"
#include "engine/StatusTexts.h"
#include "engine/common.h"
#include "platform/CodePage.h"
#include "platform/DesktopShell.h"
#include "platform/DeviceLink.h"
#include "widgets/CaptionPanel.h"
#include "widgets/FileListView.h"
#include "widgets/FileRowModel.h"

#include <VexoFileClient.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QToolButton>

#include <algorithm>
#include <utility>

namespace vexo
{

namespace
{

constexpr int RespondTimeoutMs = 3000;
// Beyond the time-out, what an attempt may take to hand back at exit.
constexpr int ShutdownGraceMs = 1000;

// The window waits for the device: show it.
class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;
};

// A listing on the window thread: rows go straight into the pane, and the
// list is repainted whenever the model shows a batch, so rows appear while
// the window waits for the rest.
class PaneSink : public RpcListingSink
{
public:
    PaneSink(FileRowModel &rows, FileListView &list,
             std::function<void(const FileRow &, const QString &)> add)
        : m_rows(rows), m_list(list), m_add(std::move(add))
    {
    }
    void listingStarted() override
    {
        m_rows.clear();
        m_rows.beginBatch();
    }
    void rowListed(const FileRow &row, const QString &placeholder) override
    {
        m_add(row, placeholder);
        if (m_rows.pendingCount() == 0)
            m_list.currentView()->viewport()->repaint();
    }
    void listingEnded() override { m_rows.endBatch(); }

private:
    FileRowModel &m_rows;
    FileListView &m_list;
    std::function<void(const FileRow &, const QString &)> m_add;
};

} // namespace

DevicePane::DevicePane(TFormMain &window)
    : QObject(&window), m_window(window), m_link(window.services().link), m_icons(*window.RpcRows)
{
    FileListView *list = m_window.RpcList;
    connect(list, &FileListView::keyReleased, this, &DevicePane::RpcListKeyUp);
    connect(list, &FileListView::itemDoubleClicked, this, &DevicePane::RpcListDblClick);
    connect(list, &FileListView::itemEdited, this, &DevicePane::RpcListEdited, Qt::DirectConnection);
}

DevicePane::~DevicePane()
{
    // The window always shuts the pane down first; this only guards against
    // a thread outliving the pane.
    if (m_attempt && !m_abandoned) {
        m_attempt->detach();
        m_attempt->wait();
    }
}

bool DevicePane::startConnect()
{
    if (m_shutDown || !m_link || m_attemptRunning)
        return true;
    return startAttempt();
}

bool DevicePane::startAttempt()
{
    TInitRPCThread::Request request;
    request.port = m_window.settings.Comport;
    request.baudRate = m_window.settings.Baudrate;
    request.devicePath =
        ResolveDevicePath(*m_window.services().profiles, m_window.settingsFile().path(), request.port);
    request.tempDir = m_window.TempDir;
    request.language = m_window.language;

    auto *thread = new TInitRPCThread(*this, request);
    if (m_attemptStackSize != 0)
        thread->setStackSize(m_attemptStackSize);
    thread->start();
    // A thread the system would not start leaves the pane as it was, ready
    // for the next request.
    if (!thread->isRunning() && !thread->isFinished()) {
        delete thread;
        showConnectFailure(m_window.language.status(QStringLiteral("InitFailed")));
        return false;
    }
    m_attempt = thread;
    m_attemptRunning = true;
    m_disconnectAfterAttempt = false;
    return true;
}

void DevicePane::RefreshRpc()
{
    if (m_shutDown || !m_link)
        return;
    // A second request while an attempt connects (F5 down and up, F3 twice)
    // would only start a duplicate attempt. Once connected the attempt is
    // listing: a refresh asked for then (after a copy) lists again after it.
    if (m_attemptRunning) {
        if (m_window.RpcConnected)
            m_refreshAfterAttempt = true;
        return;
    }
    if (m_window.RpcConnected)
        ListRpc();
    else
        startAttempt();
}

void DevicePane::DisconnectRpc()
{
    if (m_shutDown)
        return;
    if (m_attemptRunning) {
        m_disconnectAfterAttempt = true;
        if (m_attempt)
            m_attempt->stopListing();
        return;
    }
    CloseRpcLink();
    m_window.RpcRows->clear();
    m_window.TB_RpcConnect->setChecked(false);
    setCaption("DisConnect");
}

int DevicePane::CloseRpcLink()
{
    const int result = m_link ? m_link->CloseConnection(m_window.RpcClient) : 0;
    m_window.RpcConnected = false;
    return result;
}

bool DevicePane::OpenRpcLink(int port, int baudRate, const QString &devicePath)
{
    if (!m_link)
        return false;
    DeviceLink &link = *m_link;
    TFormMain &w = m_window;

    // A pipe made for another port goes, with its client. A pipe without a
    // client is released too, so it is never reused on the wrong port.
    if (port != w.RpcPipePort && (w.RpcClient != 0 || w.RpcPipe != 0)) {
        if (w.RpcClient != 0) {
            link.CloseConnection(w.RpcClient);
            link.UnInitVexoFileClient(w.RpcClient);
        }
        if (w.RpcPipe != 0) {
            if (w.RpcPipePort != 0) {
                link.CloseUartPipe(w.RpcPipe);
                link.UnInitUartPipe(w.RpcPipe);
            } else {
                link.CloseUSBPipe(w.RpcPipe);
                link.UnInitUSBPipe(w.RpcPipe);
            }
        }
        w.RpcPipe = 0;
        w.RpcClient = 0;
        w.RpcConnected = false;
    }
    if (w.RpcConnected)
        return true;

    if (w.RpcPipe == 0) {
        int pipe = 0;
        if (port == 0) {
            pipe = link.InitUSBPipe();
            link.SetPipeDevicePath(pipe, devicePath);
            m_nodeOpenFailed = link.OpenUSBPipe(pipe) != 0;
        } else {
            pipe = link.InitUartPipe();
            link.SetPipeDevicePath(pipe, devicePath);
            link.SetUartIntParam(pipe, port, baudRate, 8, 0, 1);
            m_nodeOpenFailed = link.OpenUartPipe(pipe) != 0;
        }
        w.RpcPipe = pipe;
    }
    if (w.RpcClient == 0)
        w.RpcClient = link.InitVexoFileClient(w.RpcPipe);
    w.RpcPipePort = port;
    link.SetRespondTimeout(w.RpcClient, RespondTimeoutMs);
    return link.ConnectServer(w.RpcClient) == 0;
}

void DevicePane::ListRpc()
{
    if (!m_link)
        return;
    WaitCursor wait;
    PaneSink sink(*m_window.RpcRows, *m_window.RpcList,
                  [this](const FileRow &row, const QString &placeholder) { addRow(row, placeholder); });
    int opened = 0;
    ListRpcFiles(*m_link, m_window.RpcClient, m_window.TempDir, sink, &opened);
    if (IsLinkLost(opened))
        linkLost(opened);
}

bool DevicePane::IsLinkLost(int result)
{
    return result == VEXO_ERR_NOT_CONNECTED || result == VEXO_ERR_TIMEOUT;
}

void DevicePane::linkLost(int result)
{
    if (m_shutDown)
        return;
    // The session is not closed here: a silent device would hold the window
    // for another time-out. The next attempt says hello again.
    m_window.RpcConnected = false;
    m_window.RpcRows->clear();
    m_window.TB_RpcConnect->setChecked(false);
    setCaption("DisConnect");
    const LanguageTable &language = m_window.language;
    const QString why =
        result == VEXO_ERR_TIMEOUT ? StatusTexts::LinkTimedOut(language) : StatusTexts::LinkClosed(language);
    showConnectFailure(StatusTexts::LinkLost(language, why));
}

void DevicePane::addRow(FileRow row, const QString &placeholder)
{
    row.iconIndex = placeholder.isEmpty() ? m_icons.genericIndex() : m_icons.GetShellIconIndex(placeholder);
    m_window.RpcRows->appendRow(row);
}

void DevicePane::applyLanguage()
{
    setCaption(m_captionKey);
}

void DevicePane::setCaption(const char *stateKey)
{
    m_captionKey = stateKey;
    m_window.PRpcStatus->setText(m_window.language.other(QStringLiteral("RpcPanel")) + QStringLiteral(" - ") +
                                 m_window.language.other(QLatin1String(stateKey)));
}

void DevicePane::showLinkState(LinkState state)
{
    if (m_shutDown)
        return;
    switch (state) {
    case LinkState::Connecting:
        setCaption("Connecting");
        break;
    case LinkState::Connected:
        setCaption("Connected");
        m_window.PRpcStatus->setToolTip(QString());
        m_window.TB_RpcConnect->setChecked(true);
        break;
    case LinkState::Failed:
        setCaption("DisConnect");
        m_window.TB_RpcConnect->setChecked(false);
        break;
    }
}

QString DevicePane::connectFailureText(const LanguageTable &language, const QString &node) const
{
    // Only a node the pipe could not open is looked at: a port that opened
    // is not opened a second time behind the pipe's back.
    const QString problem = m_nodeOpenFailed ? DeviceNodeProblem(language, node) : QString();
    return DeviceConnectFailedText(language, node, problem);
}

void DevicePane::showConnectFailure(const QString &text)
{
    if (m_shutDown)
        return;
    m_window.showReason(text, m_window.PRpcStatus);
}

void DevicePane::threadListingStarted()
{
    if (m_shutDown)
        return;
    m_window.RpcRows->clear();
    m_window.RpcRows->beginBatch();
}

void DevicePane::threadRowListed(const FileRow &row, const QString &placeholder)
{
    if (!m_shutDown)
        addRow(row, placeholder);
}

void DevicePane::threadListingEnded()
{
    if (!m_shutDown)
        m_window.RpcRows->endBatch();
}

void DevicePane::applyLinkSettings()
{
    if (m_shutDown)
        return;
    // The running attempt uses the settings it started with; the new ones
    // take over when it has ended.
    if (m_attemptRunning) {
        m_reconnectAfterAttempt = true;
        return;
    }
    // With the connection closed, RefreshRpc starts a fresh attempt, which
    // picks up the port and speed just stored.
    if (CloseRpcLink() == 0)
        RefreshRpc();
}

void DevicePane::attemptEnded(bool connected)
{
    if (m_shutDown)
        return;
    m_attemptRunning = false;
    m_attempt = nullptr;
    const bool reconnect = std::exchange(m_reconnectAfterAttempt, false);
    const bool refresh = std::exchange(m_refreshAfterAttempt, false);
    if (m_disconnectAfterAttempt) {
        m_disconnectAfterAttempt = false;
        DisconnectRpc();
    } else if (reconnect) {
        applyLinkSettings();
    } else if (refresh && m_window.RpcConnected) {
        ListRpc();
    }
    emit attemptFinished(connected);
}

void DevicePane::DeleteRpcFiles()
{
    if (m_window.RpcList->selectedRows().isEmpty())
        return;
    if (ConfirmFileDelete(*m_window.services().prompter, m_window.language))
        DeleteSelectedRpcFiles();
}

int DevicePane::DeleteSelectedRpcFiles()
{
    FileListView *list = m_window.RpcList;
    FileRowModel *rows = m_window.RpcRows;
    int result = 0;
    for (int row = 0; row < rows->rowCount();) {
        if (!list->isRowSelected(row)) {
            ++row;
            continue;
        }
        result = m_link ? m_link->RequestDeleteFile(m_window.RpcClient, rows->caption(row)) : -1;
        if (IsLinkLost(result)) {
            linkLost(result);
            break;
        }
        // The row below moves up into this place and is examined next.
        if (result == 0)
            rows->removeRows(row, 1);
        else
            ++row;
    }
    return result;
}

QString DevicePane::renameProblem(const LanguageTable &language, const QString &name)
{
    bool encodable = false;
    CodePage::toCp936(name, &encodable);
    const bool badCharacter = std::any_of(name.begin(), name.end(), [](QChar c) {
        return c == u'/' || c == u'\\' || c.unicode() < 0x20 || c.unicode() == 0x7f;
    });
    if (name.isEmpty())
        return StatusTexts::RenameRefused(language, name);
    if (badCharacter || !encodable || name == QLatin1String(".") || name == QLatin1String(".."))
        return StatusTexts::RenameBadCharacters(language, name);
    if (CodePage::cp936Length(name) > MaxNameBytes)
        return StatusTexts::RenameTooLong(language, name, MaxNameBytes);
    return QString();
}

bool DevicePane::RenameRpcFile(const QString &oldName, const QString &newName)
{
    if (!m_link)
        return false;
    // Names the device would refuse are not sent; the user learns why.
    QString problem = renameProblem(m_window.language, newName);
    if (problem.isEmpty()) {
        const int result = m_link->RequestRenameFile(m_window.RpcClient, oldName, newName);
        if (result == 0)
            return true;
        if (IsLinkLost(result)) {
            linkLost(result);
            return false;
        }
        problem = result == VEXO_ERR_EXISTS ? StatusTexts::RenameNameTaken(m_window.language, newName)
                                            : StatusTexts::RenameRefused(m_window.language, newName);
    }
    m_window.showReason(problem, m_window.PRpcStatus);
    return false;
}

bool DevicePane::RpcFileExists(const QString &name, bool local)
{
    // Only a file counts: a folder of that name is no file to replace.
    if (local)
        return QFileInfo(name).isFile();
    return m_link && m_link->RequestLookupFile(m_window.RpcClient, name) == 0;
}

void DevicePane::RpcListKeyUp(int key, Qt::KeyboardModifiers)
{
    if (m_window.RpcList->isEditing())
        return;
    PaneKeyActions keys;
    // Asked even with nothing selected: the key always answers.
    keys.remove = [this] {
        if (ConfirmFileDelete(*m_window.services().prompter, m_window.language))
            DeleteSelectedRpcFiles();
    };
    keys.refresh = [this] { RefreshRpc(); };
    keys.copy = [this] { emit copyRequested(); };
    keys.paste = [this] { emit pasteRequested(); };
    keys.selectAll = [this] { m_window.RpcList->selectAll(); };
    ReleasePaneKey(key, keys);
}

void DevicePane::RpcListDblClick(const QModelIndex &)
{
    const QModelIndexList selected = m_window.RpcList->selectedRows();
    if (selected.size() != 1 || !m_link)
        return;
    const QString name = m_window.RpcRows->caption(selected.first().row());
    // The name comes from the device: it must not reach outside the work folder.
    if (!IsSafeBareName(name) || m_window.TempDir.isEmpty())
        return;
    const QString local = JoinPath(m_window.TempDir, name);
    int progress = 0, extra = 0, stop = 0;
    int result = 0;
    {
        WaitCursor wait;
        result = m_link->RequestReceiveFileEx(m_window.RpcClient, name, local, &progress, &extra, &stop, 1);
    }
    if (result == 1) {
        if (!m_window.services().shell->openWithAssociatedProgram(local))
            m_window.showReason(StatusTexts::CannotOpen(m_window.language, name), m_window.PRpcStatus);
    } else if (IsLinkLost(result)) {
        linkLost(result);
    }
}

void DevicePane::RpcListEdited(int, const QString &oldText, const QString &newText, bool *accept)
{
    // The row keeps the new name only when the device took it.
    *accept = newText == oldText || RenameRpcFile(oldText, newText);
}

void DevicePane::shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    if (m_attempt) {
        m_attempt->detach();
        // A long first listing arrives in one library call that cannot be
        // cut short; the window does not wait for more than a silent device
        // would take. Cut off, the attempt touches nothing of the window.
        if (!m_attempt->wait(QDeadlineTimer(RespondTimeoutMs + ShutdownGraceMs))) {
            m_abandoned = true;
            m_attemptRunning = false;
            // The client is still in use: it goes with the process.
            return;
        }
        delete m_attempt;
    }
    m_attemptRunning = false;
    releaseLink();
}

void DevicePane::releaseLink()
{
    if (!m_link)
        return;
    TFormMain &w = m_window;
    if (w.RpcClient != 0) {
        m_link->CloseConnection(w.RpcClient);
        m_link->UnInitVexoFileClient(w.RpcClient);
    }
    if (w.RpcPipe != 0) {
        if (w.RpcPipePort != 0) {
            m_link->CloseUartPipe(w.RpcPipe);
            m_link->UnInitUartPipe(w.RpcPipe);
        } else {
            m_link->CloseUSBPipe(w.RpcPipe);
            m_link->UnInitUSBPipe(w.RpcPipe);
        }
    }
    w.RpcClient = 0;
    w.RpcPipe = 0;
    w.RpcConnected = false;
}

} // namespace vexo
