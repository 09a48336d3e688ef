#include "app/main.h"

#include "app/PaneMenus.h"
#include "app/TransferWiring.h"
#include "device/DevicePane.h"
#include "dialogs/setup.h"
#include "engine/DevicePorts.h"
#include "engine/DeviceSession.h"
#include "engine/ImageMount.h"
#include "engine/SettingsFile.h"
#include "engine/common.h"
#include "local/LocalPane.h"
#include "platform/Prompter.h"
#include "platform/SystemPaths.h"
#include "transfer/RunDeviceTransfer.h"
#include "transfer/RunSync.h"
#include "transfer/TransferPlanner.h"
#include "vdisk/VDiskPane.h"
#include "widgets/CaptionPanel.h"
#include "widgets/FileListView.h"
#include "widgets/FileRowModel.h"
#include "widgets/ShareSplitter.h"
#include "widgets/StatusLabel.h"
#include "widgets/ToolbarArtwork.h"
#include "widgets/WindowPlacement.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTranslator>
#include <QVBoxLayout>

#include <tuple>

namespace vexo
{

namespace
{

QWidget *separator(const char *name, QWidget *parent)
{
    auto *gap = new QWidget(parent);
    gap->setObjectName(QLatin1String(name));
    gap->setFixedWidth(8);
    return gap;
}

} // namespace

TFormMain::TFormMain(const PlatformServices &services, QWidget *parent)
    : QMainWindow(parent), m_services(services), m_device(std::make_shared<DeviceSession>(services.link)),
      m_image(std::make_shared<ImageMount>(services.vdisk, services.registry)),
      m_paneContext{*services.prompter, *services.shell, language, *this, settings, TempDir}
{
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("VexoFileManager"));
    resize(712, 564);
    // Where the window goes when restored from maximised.
    CenterOnScreen(*this);
    FormCreate();
    // Never so narrow that toolbar buttons fold away into its overflow menu.
    setMinimumSize(ToolBar1->sizeHint().width(), 240);
}

TFormMain::~TFormMain()
{
    FormDestroy();
}

void TFormMain::FormCreate()
{
    buildToolBar();
    buildLayout();
    buildStatusBar();
    devicePane = new DevicePane(
        m_paneContext, m_device, {*RpcList, *RpcRows, *PRpcStatus, *TB_RpcConnect},
        [this](int port) { return ResolveDevicePath(*m_services.profiles, m_settingsFile->path(), port); },
        this);
    vdiskPane = new VDiskPane(m_paneContext, m_image,
                              {*VDiskList, *VDiskRows, *PVDiskStatus, *TB_VDiskConnect}, this);
    vdiskPane->setIdleCheck([this] { return OpIdle; });
    wireCommands();
    wireTransfers();
    new PaneMenus(*this, this);
    connect(qApp, &QApplication::focusChanged, this, &TFormMain::markFocusedPane);

    // 1. State starts disconnected, idle, never mounted (member initialisers).
    // 2. Settings: work folder, file, values, grid lines, view mode, start folder.
    LoadSettings();
    // 3. Texts.
    LoadLanguage();
    // 5. Pane sizes.
    SizePanes();
    // 7. Start-up status.
    setStatusText(language.other(QStringLiteral("Init")));
    // 8. Automatic connections.
    startAutomaticConnections();
    // 10. The window-wide key hook.
    qApp->installEventFilter(this);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(3000);
    connect(Timer1, &QTimer::timeout, this, &TFormMain::Timer1Timer);
    Timer1->start();
}

void TFormMain::buildToolBar()
{
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(ToolbarArtwork::ImageSize, ToolbarArtwork::ImageSize));
    ToolBar1->toggleViewAction()->setVisible(false);
    addToolBar(Qt::TopToolBarArea, ToolBar1);

    auto button = [this](const char *name, int image, bool checkable, void (TFormMain::*handler)()) {
        auto *b = new QToolButton(ToolBar1);
        b->setObjectName(QLatin1String(name));
        b->setIcon(ToolbarArtwork::toolbarIcon(image));
        b->setIconSize(QSize(ToolbarArtwork::ImageSize, ToolbarArtwork::ImageSize));
        b->setFixedSize(39, 38);
        b->setAutoRaise(true);
        b->setCheckable(checkable);
        b->setFocusPolicy(Qt::NoFocus);
        connect(b, &QToolButton::clicked, this, handler);
        ToolBar1->addWidget(b);
        return b;
    };
    TB_Format = button("TB_Format", ToolbarArtwork::Format, false, &TFormMain::TB_FormatClick);
    TB_VDiskConnect =
        button("TB_VDiskConnect", ToolbarArtwork::ImageConnect, true, &TFormMain::TB_VDiskConnectClick);
    TB_RpcConnect =
        button("TB_RpcConnect", ToolbarArtwork::PalmtopConnect, true, &TFormMain::TB_RpcConnectClick);
    ToolBar1->addWidget(separator("TB_SP1", ToolBar1));
    TB_Delete = button("TB_Delete", ToolbarArtwork::Delete, false, &TFormMain::TB_DeleteClick);
    TB_Copy = button("TB_Copy", ToolbarArtwork::Copy, false, &TFormMain::TB_CopyClick);
    TB_Paste = button("TB_Paste", ToolbarArtwork::Paste, false, &TFormMain::TB_PasteClick);
    TB_Refresh = button("TB_Refresh", ToolbarArtwork::Refresh, false, &TFormMain::TB_RefreshClick);
    TB_Sync = button("TB_Sync", ToolbarArtwork::Sync, false, &TFormMain::TB_SyncClick);
    ToolBar1->addWidget(separator("TB_SP2", ToolBar1));
    TB_ViewIcon = button("TB_ViewIcon", ToolbarArtwork::LargeIcons, true, &TFormMain::TB_ViewIconClick);
    TB_ViewSmallIcon =
        button("TB_ViewSmallIcon", ToolbarArtwork::SmallIcons, true, &TFormMain::TB_ViewSmallIconClick);
    TB_ViewList = button("TB_ViewList", ToolbarArtwork::List, true, &TFormMain::TB_ViewListClick);
    TB_ViewReport = button("TB_ViewReport", ToolbarArtwork::Details, true, &TFormMain::TB_ViewReportClick);
    ToolBar1->addWidget(separator("ToolButton10", ToolBar1));
    TB_Setup = button("TB_Setup", ToolbarArtwork::Setup, false, &TFormMain::TB_SetupClick);
    TB_Exit = button("TB_Exit", ToolbarArtwork::Exit, false, &TFormMain::TB_ExitClick);
}

void TFormMain::buildLayout()
{
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("ClientArea"));
    auto *outer = new QHBoxLayout(central);
    outer->setContentsMargins(0, 0, 0, 0);

    SpLeft = new ShareSplitter(Qt::Horizontal, central);
    SpLeft->setObjectName(QStringLiteral("SpLeft"));
    SpLeft->setHandleWidth(5);
    SpLeft->setChildrenCollapsible(false);
    outer->addWidget(SpLeft);

    PLeft = new LocalPane(*m_services.prompter, *m_services.shell, language, SpLeft);
    ShellList = PLeft->ShellList;
    SpLeft->addWidget(PLeft);

    PRight = new QWidget(SpLeft);
    PRight->setObjectName(QStringLiteral("PRight"));
    auto *right = new QVBoxLayout(PRight);
    right->setContentsMargins(0, 0, 0, 0);
    SpTop = new ShareSplitter(Qt::Vertical, PRight);
    SpTop->setObjectName(QStringLiteral("SpTop"));
    SpTop->setHandleWidth(5);
    SpTop->setChildrenCollapsible(false);
    right->addWidget(SpTop);
    SpLeft->addWidget(PRight);
    SpLeft->setStretchFactor(0, 0);
    SpLeft->setStretchFactor(1, 1);

    auto pane = [this](const char *panelName, const char *captionName, const char *listName,
                       CaptionPanel **caption, FileListView **list, FileRowModel **rows) {
        auto *panel = new QWidget(SpTop);
        panel->setObjectName(QLatin1String(panelName));
        auto *layout = new QVBoxLayout(panel);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        *caption = new CaptionPanel(panel);
        (*caption)->setObjectName(QLatin1String(captionName));
        layout->addWidget(*caption);
        *list = new FileListView(panel);
        (*list)->setObjectName(QLatin1String(listName));
        (*list)->setFont(FileListView::defaultFont());
        *rows = new FileRowModel(*list);
        (*list)->setModel(*rows);
        (*list)->setColumnWidths(FileListView::defaultColumnWidths());
        layout->addWidget(*list, 1);
        SpTop->addWidget(panel);
        return panel;
    };
    PTop = pane("PTop", "PRpcStatus", "RpcList", &PRpcStatus, &RpcList, &RpcRows);
    PBottom = pane("PBottom", "PVDiskStatus", "VDiskList", &PVDiskStatus, &VDiskList, &VDiskRows);
    SpTop->setStretchFactor(0, 0);
    SpTop->setStretchFactor(1, 1);

    setCentralWidget(central);
    connect(SpLeft, &QSplitter::splitterMoved, this, &TFormMain::SpLeftMoved);
}

void TFormMain::wireCommands()
{
    connect(this, &TFormMain::rpcRefreshRequested, devicePane, &DevicePane::RefreshRpc);
    connect(this, &TFormMain::rpcDisconnectRequested, devicePane, &DevicePane::DisconnectRpc);
    connect(this, &TFormMain::vdiskRefreshRequested, vdiskPane, &VDiskPane::RefreshVDisk);
    connect(this, &TFormMain::vdiskDisconnectRequested, vdiskPane, &VDiskPane::DisconnectVDisk);
    connect(this, &TFormMain::setupRequested, this, &TFormMain::TB_SetupClick);
}

void TFormMain::wireTransfers()
{
    m_transferWiring = std::make_unique<TransferWiring>(*this);
    transfers = new TransferPlanner(transferContext(), transferExecutor(),
                                    {ShellList, RpcList, VDiskList, &DragSource, m_services.clipboard}, this);
    transfers->attachLists();
    connect(PLeft, &LocalPane::copyRequested, this, &TFormMain::CopyLocalToClipboard);
    connect(PLeft, &LocalPane::pasteRequested, this, &TFormMain::PasteToLocal);
    connect(PLeft, &LocalPane::statusMessage, this, [this](const QString &text) { showReason(text); });
    connect(devicePane, &DevicePane::copyRequested, this, &TFormMain::CopyDeviceToClipboard);
    connect(devicePane, &DevicePane::pasteRequested, this, &TFormMain::PasteToDevice);
    connect(vdiskPane, &VDiskPane::copyRequested, this, &TFormMain::CopyVDiskToClipboard);
    connect(vdiskPane, &VDiskPane::pasteRequested, this, &TFormMain::PasteToVDisk);
    // Each list offers Synchronize on its context menu, with its own side.
    for (FileListView *list : {ShellList, RpcList, VDiskList}) {
        auto *action = new QAction(list);
        action->setObjectName(QStringLiteral("SyncAction"));
        list->addAction(action);
        connect(action, &QAction::triggered, this, [this, list] {
            if (list == ShellList)
                TB_SyncClick();
            else
                RunSync(transferContext(), this, list == RpcList);
        });
    }
}

void TFormMain::buildStatusBar()
{
    QStatusBar *bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setFixedHeight(22);
    bar->setSizeGripEnabled(false);
    const int widths[3] = {80, 300, 50};
    for (int i = 0; i < 3; ++i) {
        // The middle field holds reasons that may name a long path.
        StatusPanel[i] = i == 1 ? new StatusLabel(bar) : new QLabel(bar);
        StatusPanel[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        StatusPanel[i]->setMinimumWidth(widths[i]);
        if (i < 2)
            StatusPanel[i]->setFixedWidth(widths[i]);
        bar->addWidget(StatusPanel[i], i == 2 ? 1 : 0);
    }
}

void TFormMain::reportSettingsError(const QString &message)
{
    m_services.prompter->ask(message, language.msg(QStringLiteral("MsgError")), PromptButtons::Ok,
                             PromptIcon::Error);
}

void TFormMain::LoadSettings()
{
    m_settingsFile = std::make_unique<SettingsFile>(*m_services.profiles, m_services.paths->programFolder() +
                                                                              QStringLiteral("VexoFile.ini"));
    m_settingsFile->setErrorHandler([this](const QString &message) { reportSettingsError(message); });
    settings = vexo::LoadSettings(*m_settingsFile, *m_services.paths, &TempDir);

    ApplyGridLines(settings.GridLines);
    const int style = StartViewStyle(settings.ViewMode);
    if (style >= 0)
        ApplyViewStyle(viewButton(static_cast<ViewStyle>(style)), static_cast<ViewStyle>(style));
    const QString start = StartFolder(settings);
    if (!start.isEmpty())
        PLeft->showFolder(start);
}

void TFormMain::LoadLanguage()
{
    language =
        vexo::LoadLanguage(*m_services.profiles, m_services.paths->languageFolders(), settings.Language);
    applyLanguage();
    StatusPanel[1]->clear();
}

void TFormMain::installToolkitTranslation()
{
    if (m_toolkitTranslation) {
        QCoreApplication::removeTranslator(m_toolkitTranslation);
        delete m_toolkitTranslation;
        m_toolkitTranslation = nullptr;
    }
    if (language.locale.isEmpty())
        return;
    // The standard buttons of message boxes and the folder dialog speak the
    // interface language too (Debian ships these in qt6-translations-l10n).
    auto *translation = new QTranslator(this);
    if (translation->load(QLocale(language.locale), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
        QCoreApplication::installTranslator(translation))
        m_toolkitTranslation = translation;
    else
        delete translation;
}

void TFormMain::applyLanguage()
{
    installToolkitTranslation();
    // Each tip names the keys that do the same.
    const QKeySequence ctrl1(Qt::CTRL | Qt::Key_1), ctrl2(Qt::CTRL | Qt::Key_2), ctrl3(Qt::CTRL | Qt::Key_3),
        ctrl4(Qt::CTRL | Qt::Key_4);
    const std::tuple<QToolButton *, const char *, QList<QKeySequence>> hints[] = {
        {TB_Format, "FormatVDisk", {}},
        {TB_VDiskConnect, "LinkVDisk", {Qt::Key_F6, Qt::Key_F7}},
        {TB_RpcConnect, "LinkRpc", {Qt::Key_F3, Qt::Key_F4}},
        {TB_Delete, "Delete", {Qt::Key_Delete}},
        {TB_Copy, "Copy", {QKeySequence(Qt::CTRL | Qt::Key_C)}},
        {TB_Paste, "Patse", {QKeySequence(Qt::CTRL | Qt::Key_V)}},
        {TB_Refresh, "Refresh", {Qt::Key_F5}},
        {TB_ViewIcon, "LargeIcon", {ctrl1}},
        {TB_ViewSmallIcon, "SmallIcon", {ctrl2}},
        {TB_ViewList, "ListView", {ctrl3}},
        {TB_ViewReport, "DetailView", {ctrl4}},
        {TB_Setup, "Setup", {Qt::Key_F8}},
        {TB_Exit, "Exit", {}}};
    for (const auto &[button, key, keys] : hints)
        button->setToolTip(PaneMenus::withKeys(language.toolBar(QLatin1String(key)), keys));
    TB_Sync->setToolTip(PaneMenus::withKeys(language.sync(QStringLiteral("Synchronize")), {Qt::Key_F9}));
    for (FileListView *list : {ShellList, RpcList, VDiskList}) {
        if (auto *action = list->findChild<QAction *>(QStringLiteral("SyncAction")))
            action->setText(language.sync(QStringLiteral("Synchronize")) + QStringLiteral("\tF9"));
    }
    devicePane->applyLanguage();
    vdiskPane->applyLanguage();
    const QStringList titles{language.other(QStringLiteral("Filename")),
                             language.other(QStringLiteral("Size")), language.other(QStringLiteral("Date"))};
    RpcRows->setColumnTitles(titles);
    VDiskRows->setColumnTitles(titles);
    StatusPanel[0]->setText(language.statusBar(QStringLiteral("OpStatus")));
    StatusPanel[2]->setText(language.statusBar(QStringLiteral("CopyRight")));
    PLeft->applyLanguage();
    m_settingsFile->setErrorText(language.message(QStringLiteral("WriteFailed")));
    m_services.prompter->setInputButtonTexts(language.window(QStringLiteral("InputOk")),
                                             language.window(QStringLiteral("InputCancel")));
}

void TFormMain::SizePanes()
{
    const QSize screen = (this->screen() ? this->screen() : QGuiApplication::primaryScreen())->size();
    const int left = (screen.width() - 20) / 2;
    const int top = (screen.height() - 120) / 2;
    SpLeft->setSizes({left, qMax(1, screen.width() - left)});
    SpTop->setSizes({top, qMax(1, screen.height() - top)});
    // The start-up division is kept, as shares, when the window changes size.
    SpLeft->setFirstShare(double(left) / qMax(1, screen.width()));
    SpTop->setFirstShare(double(top) / qMax(1, screen.height()));
    SpLeftMoved();
}

void TFormMain::startAutomaticConnections()
{
    bool started = true;
    if (settings.AutoRpc)
        started = devicePane->startConnect();
    if (started && settings.AutoVDisk)
        started = vdiskPane->startMount();
    if (!started)
        setStatusText(language.status(QStringLiteral("InitFailed")));
}

void TFormMain::FormShow()
{
    ShellList->setFocus();
    // The start folder is read on a thread: its first entry becomes current
    // once it is listed, unless the user has moved in the list by then.
    auto makeFirstCurrent = [this] {
        if (ShellList->rowCount() > 0 && !ShellList->currentIndex().isValid())
            ShellList->setCurrentRow(0);
    };
    if (ShellList->rowCount() > 0) {
        makeFirstCurrent();
        return;
    }
    auto *once = new QObject(this);
    connect(PLeft, &LocalPane::folderListed, once, [once, makeFirstCurrent] {
        makeFirstCurrent();
        once->deleteLater();
    });
}

void TFormMain::FormDestroy()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    qApp->removeEventFilter(this);
    // The panes lose their focus widgets while they are taken down.
    disconnect(qApp, &QApplication::focusChanged, this, &TFormMain::markFocusedPane);
    if (Timer1)
        Timer1->stop();
    // The view mode and the last local folder.
    m_settingsFile->saveOnExit(settings, PLeft->currentPathText());
    // The image and the device link: running attempts are cut off from the
    // window and the libraries released once they have ended, before the
    // work folder goes, so no late listing leaves placeholders behind.
    vdiskPane->shutdown();
    devicePane->shutdown();
    DeleteFolderTree(TempDir);
}

void TFormMain::markFocusedPane()
{
    // The window's focus widget stays while another window is active, so the
    // mark shows where typing goes on return.
    const QWidget *focus = focusWidget();
    const std::pair<QWidget *, QWidget *> panes[] = {
        {PLeft, PLeft->PShellStatus}, {PTop, PRpcStatus}, {PBottom, PVDiskStatus}};
    for (const auto &[pane, caption] : panes)
        CaptionPanel::setFocusMark(caption, focus && pane->isAncestorOf(focus));
}

bool TFormMain::linkWorkAbandoned() const
{
    return devicePane && devicePane->attemptAbandoned();
}

void TFormMain::setStatusText(const QString &text)
{
    m_reasonShown.invalidate();
    StatusPanel[1]->setText(text);
}

void TFormMain::showReason(const QString &text, QWidget *caption)
{
    setStatusText(text);
    m_reasonShown.start();
    if (caption)
        caption->setToolTip(text);
}

QString TFormMain::statusText() const
{
    return StatusPanel[1]->text();
}

void TFormMain::ApplyGridLines(bool on)
{
    for (FileListView *list : {ShellList, RpcList, VDiskList})
        list->setGridLines(on);
}

QToolButton *TFormMain::viewButton(ViewStyle style) const
{
    switch (style) {
    case vsIcon:
        return TB_ViewIcon;
    case vsSmallIcon:
        return TB_ViewSmallIcon;
    case vsList:
        return TB_ViewList;
    case vsReport:
        return TB_ViewReport;
    }
    return TB_ViewReport;
}

void TFormMain::ApplyViewStyle(QToolButton *button, ViewStyle style)
{
    const bool wasPressed = button->isChecked();
    for (QToolButton *b : {TB_ViewIcon, TB_ViewSmallIcon, TB_ViewList, TB_ViewReport})
        b->setChecked(false);
    button->setChecked(!wasPressed);
    for (FileListView *list : {ShellList, RpcList, VDiskList})
        list->setViewStyle(static_cast<FileListView::ViewStyle>(style));
}

void TFormMain::applyViewCommand(ViewStyle style)
{
    QToolButton *button = viewButton(style);
    ApplyViewStyle(button, style);
    button->setChecked(true);
    settings.ViewMode = ViewModeOf(style);
}

void TFormMain::TB_ViewIconClick()
{
    applyViewCommand(vsIcon);
}

void TFormMain::TB_ViewSmallIconClick()
{
    applyViewCommand(vsSmallIcon);
}

void TFormMain::TB_ViewListClick()
{
    applyViewCommand(vsList);
}

void TFormMain::TB_ViewReportClick()
{
    applyViewCommand(vsReport);
}

void TFormMain::onFocusedList(const std::function<void()> &local, const std::function<void()> &device,
                              const std::function<void()> &image)
{
    if (ShellList->hasFocusInside())
        local();
    else if (RpcList->hasFocusInside())
        device();
    else if (VDiskList->hasFocusInside())
        image();
}

void TFormMain::TB_RefreshClick()
{
    onFocusedList([this] { PLeft->reread(); }, [this] { RefreshRpc(); }, [this] { RefreshVDisk(); });
}

void TFormMain::TB_SyncClick()
{
    const bool image = VDiskList->hasFocusInside() ||
                       (!RpcList->hasFocusInside() && !m_device->RpcConnected() && m_image->isMounted());
    RunSync(transferContext(), this, !image);
}

void TFormMain::TB_ExitClick()
{
    close();
}

void TFormMain::TB_FormatClick()
{
    vdiskPane->TB_FormatClick();
}

void TFormMain::toggleLink(QToolButton *button, bool linked, void (TFormMain::*disconnect)(),
                           void (TFormMain::*connect)())
{
    // The button shows the state until the command has changed it.
    button->setChecked(linked);
    (this->*(linked ? disconnect : connect))();
}

void TFormMain::TB_VDiskConnectClick()
{
    toggleLink(TB_VDiskConnect, m_image->isMounted(), &TFormMain::DisconnectVDisk, &TFormMain::RefreshVDisk);
}

void TFormMain::TB_RpcConnectClick()
{
    toggleLink(TB_RpcConnect, m_device->RpcConnected(), &TFormMain::DisconnectRpc, &TFormMain::RefreshRpc);
}

void TFormMain::TB_DeleteClick()
{
    onFocusedList([this] { PLeft->deleteSelection(); }, [this] { devicePane->DeleteRpcFiles(); },
                  [this] { vdiskPane->DeleteVDiskFiles(); });
}

void TFormMain::TB_CopyClick()
{
    onFocusedList([this] { CopyLocalToClipboard(); }, [this] { CopyDeviceToClipboard(); },
                  [this] { CopyVDiskToClipboard(); });
}

void TFormMain::TB_PasteClick()
{
    onFocusedList([this] { PasteToLocal(); }, [this] { PasteToDevice(); }, [this] { PasteToVDisk(); });
}

void TFormMain::TB_SetupClick()
{
    const QString languageBefore = settings.Language;
    TFormSetup setup(settings, language, *m_settingsFile, *m_services.profiles, *m_services.prompter,
                     m_services.paths->languageFolders(), this);
    setup.showImageSource(m_image->findImage());
    setup.exec();
    // The window may have been closed while the dialog was open.
    if (m_destroyed)
        return;
    if (settings.Language != languageBefore) {
        language =
            vexo::LoadLanguage(*m_services.profiles, m_services.paths->languageFolders(), settings.Language);
        applyLanguage();
    }
    if (!setup.SetupCancelled)
        devicePane->applyLinkSettings();
    if (ShellList->gridLines() != settings.GridLines)
        ApplyGridLines(settings.GridLines);
}

void TFormMain::RefreshRpc()
{
    emit rpcRefreshRequested();
}

void TFormMain::DisconnectRpc()
{
    emit rpcDisconnectRequested();
}

void TFormMain::RefreshVDisk()
{
    emit vdiskRefreshRequested();
}

void TFormMain::DisconnectVDisk()
{
    emit vdiskDisconnectRequested();
}

void TFormMain::CopyLocalToClipboard()
{
    transfers->CopyLocalToClipboard();
}

void TFormMain::PasteToLocal()
{
    transfers->PasteToLocal();
}

void TFormMain::CopyDeviceToClipboard()
{
    transfers->CopyDeviceToClipboard();
}

void TFormMain::PasteToDevice()
{
    transfers->PasteToDevice();
}

void TFormMain::CopyVDiskToClipboard()
{
    transfers->CopyVDiskToClipboard();
}

void TFormMain::PasteToVDisk()
{
    transfers->PasteToVDisk();
}

void TFormMain::RunDeviceTransfer(const QStringList &sources, const QStringList &destinations,
                                  TransferDirection direction)
{
    vexo::RunDeviceTransfer(transferContext(), this, sources, destinations, direction);
}

const TransferContext &TFormMain::transferContext() const
{
    return m_transferWiring->context();
}

TransferExecutor &TFormMain::transferExecutor() const
{
    return m_transferWiring->executor();
}

void TFormMain::Timer1Timer()
{
    // A reason stays long enough to be read.
    if (m_reasonShown.isValid() && !m_reasonShown.hasExpired(ReasonHoldMs))
        return;
    if (OpIdle && (m_device->RpcConnected() || m_image->VDiskState() != ImageMount::NeverTried))
        setStatusText(QString());
}

void TFormMain::SpLeftMoved()
{
    PLeft->LayoutShellHeader(PLeft->width());
}

void TFormMain::KeyHook(QKeyEvent *event)
{
    // While a dialog or the progress window is open the shortcuts rest, so a
    // disconnect can never pull the link from under a running transfer.
    if (QApplication::activeModalWidget() != nullptr)
        return;
    // F3 to F9, in key order.
    static void (TFormMain::*const functionKeys[])() = {
        &TFormMain::RefreshRpc,   &TFormMain::DisconnectRpc,   &TFormMain::TB_RefreshClick,
        &TFormMain::RefreshVDisk, &TFormMain::DisconnectVDisk, &TFormMain::openSetupLater,
        &TFormMain::syncLater,
    };
    const int key = event->key();
    if (key >= Qt::Key_F3 && key <= Qt::Key_F9) {
        (this->*functionKeys[key - Qt::Key_F3])();
        return;
    }
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const bool keypad = event->modifiers() & Qt::KeypadModifier;
    if (key >= Qt::Key_1 && key <= Qt::Key_4 && ctrl && !keypad)
        applyViewCommand(static_cast<ViewStyle>(key - Qt::Key_1));
}

void TFormMain::openSetupLater()
{
    // The dialog opens once the key press has been delivered: a modal loop
    // inside the delivery would see the key's release, and the rest of the
    // delivery would then look like a new press.
    QTimer::singleShot(0, this, [this] {
        if (!m_destroyed && QApplication::activeModalWidget() == nullptr)
            emit setupRequested();
    });
}

void TFormMain::syncLater()
{
    // As the settings dialog: the preview's modal loop must not run inside
    // the key's delivery, or the rest of it would open a second preview. The
    // side is the one focused at the press.
    const bool image = VDiskList->hasFocusInside() ||
                       (!RpcList->hasFocusInside() && !m_device->RpcConnected() && m_image->isMounted());
    QTimer::singleShot(0, this, [this, image] {
        if (!m_destroyed && QApplication::activeModalWidget() == nullptr)
            RunSync(transferContext(), this, !image);
    });
}

bool TFormMain::eventFilter(QObject *watched, QEvent *event)
{
    // One action per physical press: the same press reaches the filter once
    // for each object it is offered to (the focus widget, then each parent
    // that it propagates to), and whichever widget accepted the key before
    // makes no difference to the next one.
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const KeyPress press{key->key(), key->nativeScanCode(), key->timestamp(), key->isAutoRepeat(),
                             key->modifiers()};
        if (!m_keyDown || !(*m_keyDown == press)) {
            m_keyDown = press;
            KeyHook(static_cast<QKeyEvent *>(event));
        }
    } else if (event->type() == QEvent::KeyRelease) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (!key->isAutoRepeat() && m_keyDown && m_keyDown->key == key->key())
            m_keyDown.reset();
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFormMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        QTimer::singleShot(0, this, &TFormMain::FormShow);
    }
}

void TFormMain::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (SpLeft)
        SpLeftMoved();
}

void TFormMain::closeEvent(QCloseEvent *event)
{
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        FormDestroy();
}

} // namespace vexo
