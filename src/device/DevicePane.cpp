#include "device/DevicePane.h"

#include "device/RpcListing.h"
#include "device/RunDeletes.h"
#include "device/TInitRPCThread.h"
#include "engine/DeviceName.h"
#include "engine/DeviceSession.h"
#include "engine/PaneKeys.h"
#include "engine/Settings.h"
#include "engine/SpaceCheck.h"
#include "engine/StatusLine.h"
#include "engine/StatusTexts.h"
#include "engine/StopThread.h"
#include "engine/common.h"
#include "platform/CodePage.h"
#include "platform/DesktopShell.h"
#include "widgets/CaptionPanel.h"
#include "widgets/DeleteSelectedRows.h"
#include "widgets/FileListView.h"
#include "widgets/FileRowModel.h"
#include "widgets/OverrideCursor.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <utility>

namespace vexo
{

namespace
{

// Beyond the time-out, what an attempt may take to hand back at exit.
constexpr int ShutdownGraceMs = 1000;

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

DevicePane::DevicePane(const PaneContext &context, std::shared_ptr<DeviceSession> session, const View &view,
                       PortNode portNode, QObject *parent)
    : QObject(parent), m_context(context), m_session(std::move(session)), m_view(view),
      m_portNode(std::move(portNode)), m_icons(view.rows)
{
    m_view.list.connectPane(this, &DevicePane::RpcListKeyUp, &DevicePane::RpcListDblClick,
                            &DevicePane::RpcListEdited);
    // A transfer that reconnected hands over what was asked for meanwhile;
    // it is carried out here, on the window thread.
    m_session->setFollowUpHandler([this](DeviceSession::FollowUp followUp) {
        QMetaObject::invokeMethod(
            this, [this, followUp] { carryOut(followUp); }, Qt::QueuedConnection);
    });
}

DevicePane::~DevicePane()
{
    // The window always shuts the pane down first; this only guards against
    // a thread outliving the pane.
    shutdown();
}

bool DevicePane::attemptRunning() const
{
    return m_session->attemptRunning();
}

bool DevicePane::startConnect()
{
    if (m_shutDown || !m_session->hasLink() || m_session->attemptRunning())
        return true;
    return startAttempt();
}

bool DevicePane::startAttempt()
{
    if (!m_session->beginAttempt())
        return true;
    TInitRPCThread::Request request;
    request.port = m_context.settings.Comport;
    request.baudRate = m_context.settings.Baudrate;
    request.devicePath = m_portNode(request.port);
    request.tempDir = m_context.workFolder;
    request.language = m_context.language;

    auto *thread = new TInitRPCThread(m_session, request);
    connect(thread, &TInitRPCThread::connecting, this, [this] { showLinkState(LinkState::Connecting); });
    connect(thread, &TInitRPCThread::connected, this, [this] { showLinkState(LinkState::Connected); });
    connect(thread, &TInitRPCThread::failed, this, &DevicePane::threadFailed);
    connect(thread, &TInitRPCThread::listingStarted, this, &DevicePane::threadListingStarted);
    connect(thread, &TInitRPCThread::rowListed, this, &DevicePane::threadRowListed);
    connect(thread, &TInitRPCThread::listingEnded, this, &DevicePane::threadListingEnded);
    connect(thread, &TInitRPCThread::linkLost, this, &DevicePane::threadLinkLost);
    connect(thread, &TInitRPCThread::ended, this, &DevicePane::attemptEnded);
    if (m_attemptStackSize != 0)
        thread->setStackSize(m_attemptStackSize);
    thread->start();
    // A thread the system would not start leaves the pane as it was, ready
    // for the next request.
    if (!thread->isRunning() && !thread->isFinished()) {
        delete thread;
        m_session->endAttempt();
        showConnectFailure(m_context.language.status(QStringLiteral("InitFailed")));
        return false;
    }
    m_attempt = thread;
    return true;
}

void DevicePane::RefreshRpc()
{
    if (m_shutDown || !m_session->hasLink())
        return;
    // A second request while an attempt connects (F5 down and up, F3 twice)
    // would only start a duplicate attempt. Once connected the attempt is
    // listing: a refresh asked for then (after a copy) lists again after it.
    if (m_session->admit(DeviceSession::FollowUp::Refresh) != DeviceSession::Admission::Now)
        return;
    if (m_session->RpcConnected())
        ListRpc();
    else
        startAttempt();
}

void DevicePane::DisconnectRpc()
{
    if (m_shutDown)
        return;
    if (m_session->admit(DeviceSession::FollowUp::Disconnect) != DeviceSession::Admission::Now) {
        if (m_attempt)
            m_attempt->stopListing();
        return;
    }
    m_session->CloseRpcLink();
    m_view.rows.clear();
    m_view.toggle.setChecked(false);
    setCaption("DisConnect");
}

void DevicePane::ListRpc()
{
    if (!m_session->hasLink())
        return;
    OverrideCursor wait(Qt::WaitCursor);
    PaneSink sink(m_view.rows, m_view.list,
                  [this](const FileRow &row, const QString &placeholder) { addRow(row, placeholder); });
    const DeviceResult listed = ListRpcFiles(*m_session, m_context.workFolder, sink);
    if (listed.linkLost())
        linkLost(listed);
    else
        showFreeSpace();
}

void DevicePane::showFreeSpace()
{
    if (!m_session->RpcConnected() || !m_session->freeSpace(&m_freeBytes, &m_totalBytes).ok())
        m_freeBytes = -1;
    setCaption(m_captionKey);
}

void DevicePane::linkLost(const DeviceResult &result)
{
    if (m_shutDown)
        return;
    // The session is not closed here: a silent device would hold the window
    // for another time-out. The next attempt says hello again.
    m_session->markLost();
    m_view.rows.clear();
    m_view.toggle.setChecked(false);
    setCaption("DisConnect");
    const LanguageTable &language = m_context.language;
    const QString why = result.kind() == DeviceResult::Kind::TimedOut ? StatusTexts::LinkTimedOut(language)
                                                                      : StatusTexts::LinkClosed(language);
    showConnectFailure(StatusTexts::LinkLost(language, why));
}

void DevicePane::addRow(FileRow row, const QString &placeholder)
{
    row.iconIndex = placeholder.isEmpty() ? m_icons.genericIndex() : m_icons.GetShellIconIndex(placeholder);
    m_view.rows.appendRow(row);
}

void DevicePane::applyLanguage()
{
    setCaption(m_captionKey);
}

void DevicePane::setCaption(const char *stateKey)
{
    m_captionKey = stateKey;
    const LanguageTable &language = m_context.language;
    if (qstrcmp(stateKey, "Connected") != 0)
        m_freeBytes = -1;
    // The state stays the caption's last word, where people and tools look for it.
    const QString space =
        m_freeBytes < 0 ? QString() : " " + FreeSpaceText(language, m_freeBytes, m_totalBytes);
    m_view.caption.setText(language.other(QStringLiteral("RpcPanel")) + space + QStringLiteral(" - ") +
                           language.other(QLatin1String(stateKey)));
}

void DevicePane::showReconnecting(bool on)
{
    if (m_shutDown)
        return;
    if (on)
        setCaption("LinkReconnecting");
    else if (m_session->RpcConnected())
        setCaption("Connected");
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
        m_view.caption.setToolTip(QString());
        m_view.toggle.setChecked(true);
        break;
    case LinkState::Failed:
        setCaption("DisConnect");
        m_view.toggle.setChecked(false);
        break;
    }
}

void DevicePane::threadFailed(const QString &why)
{
    showLinkState(LinkState::Failed);
    showConnectFailure(why);
}

void DevicePane::threadLinkLost(const DeviceResult &result)
{
    linkLost(result);
}

void DevicePane::showConnectFailure(const QString &text)
{
    if (m_shutDown)
        return;
    m_view.caption.setToolTip(text);
    m_context.status.showReason(text);
}

void DevicePane::threadListingStarted()
{
    if (m_shutDown)
        return;
    m_view.rows.clear();
    m_view.rows.beginBatch();
}

void DevicePane::threadRowListed(const FileRow &row, const QString &placeholder)
{
    if (!m_shutDown)
        addRow(row, placeholder);
}

void DevicePane::threadListingEnded()
{
    if (!m_shutDown)
        m_view.rows.endBatch();
}

void DevicePane::applyLinkSettings()
{
    if (m_shutDown)
        return;
    // The running attempt uses the settings it started with; the new ones
    // take over when it has ended.
    if (m_session->admit(DeviceSession::FollowUp::Reconnect) != DeviceSession::Admission::Now)
        return;
    // With the connection closed, RefreshRpc starts a fresh attempt, which
    // picks up the port and speed just stored.
    if (m_session->CloseRpcLink().ok())
        RefreshRpc();
}

void DevicePane::attemptEnded(bool connected)
{
    if (m_shutDown)
        return;
    m_attempt = nullptr;
    const DeviceSession::FollowUp followUp = m_session->endAttempt();
    carryOut(followUp);
    if (followUp == DeviceSession::FollowUp::None && connected)
        showFreeSpace();
    emit attemptFinished(connected);
}

void DevicePane::carryOut(DeviceSession::FollowUp followUp)
{
    if (m_shutDown)
        return;
    switch (followUp) {
    case DeviceSession::FollowUp::Disconnect:
        DisconnectRpc();
        break;
    case DeviceSession::FollowUp::Reconnect:
        applyLinkSettings();
        break;
    case DeviceSession::FollowUp::Refresh:
        if (m_session->RpcConnected())
            ListRpc();
        break;
    case DeviceSession::FollowUp::None:
        break;
    }
}

QList<qint64> DevicePane::listedSizes(const QStringList &names) const
{
    QHash<QString, qint64> listed;
    for (int row = 0; row < m_view.rows.rowCount(); ++row)
        listed.insert(m_view.rows.row(row).caption, m_view.rows.row(row).size);
    QList<qint64> sizes;
    for (const QString &name : names)
        sizes.append(listed.value(BareDeviceName(name), -1));
    return sizes;
}

QStringList DevicePane::selectedNames() const
{
    QStringList names;
    for (const QModelIndex &index : m_view.list.selectedRows())
        names.append(m_view.rows.caption(index.row()));
    return names;
}

void DevicePane::DeleteRpcFiles()
{
    if (m_view.list.selectedRows().isEmpty())
        return;
    if (ConfirmFileDelete(m_context.prompter, m_context.language, selectedNames()))
        DeleteSelectedRpcFiles();
}

DeviceResult DevicePane::DeleteSelectedRpcFiles()
{
    const QStringList names = selectedNames();
    if (names.isEmpty())
        return {};
    const QVector<DeviceResult> results =
        RunDeletes(*m_session, names, m_context.language, m_view.list.window());
    // Rows are matched by name: a listing may have come in meanwhile.
    QHash<QString, bool> deleted;
    DeviceResult result;
    DeviceResult lost;
    for (int i = 0; i < names.size(); ++i) {
        deleted.insert(names.at(i), results.at(i).ok());
        if (!results.at(i).ok() && result.ok())
            result = results.at(i);
        if (results.at(i).linkLost() && lost.ok())
            lost = results.at(i);
    }
    DeleteSelectedRows(m_view.list, m_view.rows, [&](const QString &name) {
        return deleted.value(name, false) ? RowDelete::Deleted : RowDelete::Kept;
    });
    if (!lost.ok())
        linkLost(lost);
    else
        showFreeSpace();
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
    if (!m_session->hasLink())
        return false;
    const LanguageTable &language = m_context.language;
    // Names the device would refuse are not sent; the user learns why.
    QString problem = renameProblem(language, newName);
    if (problem.isEmpty()) {
        const DeviceResult result = m_session->rename(oldName, newName);
        if (result.ok())
            return true;
        if (result.linkLost()) {
            linkLost(result);
            return false;
        }
        problem = result.kind() == DeviceResult::Kind::Exists
                      ? StatusTexts::RenameNameTaken(language, newName)
                      : StatusTexts::RenameRefused(language, newName);
    }
    showConnectFailure(problem);
    return false;
}

bool DevicePane::RpcFileExists(const QString &name, bool local) const
{
    // Only a file counts: a folder of that name is no file to replace.
    if (local)
        return QFileInfo(name).isFile();
    return m_session->fileExists(name);
}

void DevicePane::RpcListKeyUp(int key, Qt::KeyboardModifiers)
{
    if (m_view.list.isEditing())
        return;
    PaneKeyActions keys;
    // Asked even with nothing selected: the key always answers.
    keys.remove = [this] {
        if (ConfirmFileDelete(m_context.prompter, m_context.language, selectedNames()))
            DeleteSelectedRpcFiles();
    };
    keys.refresh = [this] { RefreshRpc(); };
    keys.copy = [this] { emit copyRequested(); };
    keys.paste = [this] { emit pasteRequested(); };
    keys.selectAll = [this] { m_view.list.selectAll(); };
    ReleasePaneKey(key, keys);
}

void DevicePane::RpcListDblClick(const QModelIndex &)
{
    const QModelIndexList selected = m_view.list.selectedRows();
    if (selected.size() != 1 || !m_session->hasLink())
        return;
    const QString name = m_view.rows.caption(selected.first().row());
    const QString &workFolder = m_context.workFolder;
    // The name comes from the device: it must not reach outside the work folder.
    if (!IsSafeBareName(name) || workFolder.isEmpty())
        return;
    const QString local = JoinPath(workFolder, name);
    int progress = 0, stop = 0;
    DeviceResult result;
    {
        OverrideCursor wait(Qt::WaitCursor);
        result = m_session->receive(name, local, &progress, &stop, true);
    }
    if (result.ok()) {
        if (!m_context.shell.openWithAssociatedProgram(local))
            showConnectFailure(StatusTexts::CannotOpen(m_context.language, name));
    } else if (result.linkLost()) {
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
    // A transfer still reconnecting has nobody left to hand requests to.
    m_session->setFollowUpHandler(nullptr);
    if (m_attempt) {
        // A long first listing arrives in one library call that cannot be
        // cut short; the window does not wait for more than a silent device
        // would take. Cut off, the attempt touches nothing of the window.
        TInitRPCThread *attempt = m_attempt;
        if (!StopThread(
                *attempt, this, [attempt] { attempt->detach(); },
                QDeadlineTimer(DeviceSession::RespondTimeoutMs + ShutdownGraceMs))) {
            // The client is still in use: it goes with the process.
            m_abandoned = true;
            m_session->release();
            return;
        }
        delete attempt;
    }
    m_session->endAttempt();
    m_session->release();
}

} // namespace vexo
