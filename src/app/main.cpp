#include "app/main.h"

#include "app/LocalPane.h"
#include "app/SettingsFile.h"
#include "app/common.h"
#include "device/DevicePane.h"
#include "dialogs/setup.h"
#include "platform/Prompter.h"
#include "platform/SystemPaths.h"
#include "transfer/RunDeviceTransfer.h"
#include "transfer/RunSync.h"
#include "transfer/TransferPlanner.h"
#include "vdisk/VDiskPane.h"
#include "widgets/CaptionPanel.h"
#include "widgets/FileListView.h"
#include "widgets/FileRowModel.h"
#include "widgets/ToolbarArtwork.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

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
    : QMainWindow(parent), m_services(services)
{
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("VexoFileManager"));
    resize(712, 564);
    setMinimumSize(130, 50);
    FormCreate();
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
    devicePane = new DevicePane(*this);
    vdiskPane = new VDiskPane(*this);
    wireTransfers();

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

    SpLeft = new QSplitter(Qt::Horizontal, central);
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
    SpTop = new QSplitter(Qt::Vertical, PRight);
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

void TFormMain::wireTransfers()
{
    transfers = new TransferPlanner(*this);
    transfers->attachLists();
    connect(PLeft, &LocalPane::copyRequested, this, &TFormMain::CopyLocalToClipboard);
    connect(PLeft, &LocalPane::pasteRequested, this, &TFormMain::PasteToLocal);
    connect(devicePane, &DevicePane::copyRequested, this, &TFormMain::CopyDeviceToClipboard);
    connect(devicePane, &DevicePane::pasteRequested, this, &TFormMain::PasteToDevice);
    connect(vdiskPane, &VDiskPane::copyRequested, this, &TFormMain::CopyVDiskToClipboard);
    connect(vdiskPane, &VDiskPane::pasteRequested, this, &TFormMain::PasteToVDisk);
    // Each list offers Synchronize on its context menu, with its own side.
    for (FileListView *list : {ShellList, RpcList, VDiskList}) {
        auto *action = new QAction(list);
        action->setObjectName(QStringLiteral("SyncAction"));
        list->addAction(action);
        list->setContextMenuPolicy(Qt::ActionsContextMenu);
        connect(action, &QAction::triggered, this, [this, list] {
            if (list == ShellList)
                TB_SyncClick();
            else
                RunSync(*this, list == RpcList);
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
        StatusPanel[i] = new QLabel(bar);
        StatusPanel[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        StatusPanel[i]->setMinimumWidth(widths[i]);
        if (i < 2)
            StatusPanel[i]->setFixedWidth(widths[i]);
        bar->addWidget(StatusPanel[i], i == 2 ? 1 : 0);
    }
}

void TFormMain::reportSettingsError(const QString &message)
{
    m_services.prompter->ask(message, QStringLiteral("VexoFileManager"), PromptButtons::Ok,
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
    const std::pair<QToolButton *, const char *> hints[] = {{TB_Format, "FormatVDisk"},
                                                            {TB_VDiskConnect, "LinkVDisk"},
                                                            {TB_RpcConnect, "LinkRpc"},
                                                            {TB_Delete, "Delete"},
                                                            {TB_Copy, "Copy"},
                                                            {TB_Paste, "Patse"},
                                                            {TB_Refresh, "Refresh"},
                                                            {TB_ViewIcon, "LargeIcon"},
                                                            {TB_ViewSmallIcon, "SmallIcon"},
                                                            {TB_ViewList, "ListView"},
                                                            {TB_ViewReport, "DetailView"},
                                                            {TB_Setup, "Setup"},
                                                            {TB_Exit, "Exit"}};
    for (const auto &[button, key] : hints)
        button->setToolTip(language.toolBar(QLatin1String(key)));
    TB_Sync->setToolTip(language.sync(QStringLiteral("Synchronize")) + QStringLiteral(" (F9)"));
    for (FileListView *list : {ShellList, RpcList, VDiskList}) {
        if (auto *action = list->findChild<QAction *>(QStringLiteral("SyncAction")))
            action->setText(language.sync(QStringLiteral("Synchronize")));
    }
    PRpcStatus->setText(language.other(QStringLiteral("RpcPanel")) + QStringLiteral(" - ") +
                        language.other(QStringLiteral("DisConnect")));
    PVDiskStatus->setText(language.other(QStringLiteral("VDiskPanel")) + QStringLiteral(" - ") +
                          language.other(QStringLiteral("DisConnect")));
    const QStringList titles{language.other(QStringLiteral("Filename")),
                             language.other(QStringLiteral("Size")), language.other(QStringLiteral("Date"))};
    RpcRows->setColumnTitles(titles);
    VDiskRows->setColumnTitles(titles);
    StatusPanel[0]->setText(language.statusBar(QStringLiteral("OpStatus")));
    StatusPanel[1]->clear();
    StatusPanel[2]->setText(language.statusBar(QStringLiteral("CopyRight")));
}

void TFormMain::SizePanes()
{
    const QSize screen = (this->screen() ? this->screen() : QGuiApplication::primaryScreen())->size();
    const int left = (screen.width() - 20) / 2;
    const int top = (screen.height() - 120) / 2;
    SpLeft->setSizes({left, qMax(1, screen.width() - left)});
    SpTop->setSizes({top, qMax(1, screen.height() - top)});
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
        setStatusText(language.other(QStringLiteral("Init")) + language.other(QStringLiteral("Fail")));
}

void TFormMain::FormShow()
{
    ShellList->setFocus();
    if (ShellList->rowCount() > 0 && !ShellList->currentIndex().isValid())
        ShellList->setCurrentRow(0);
}

void TFormMain::FormDestroy()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    qApp->removeEventFilter(this);
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

void TFormMain::setStatusText(const QString &text)
{
    StatusPanel[1]->setText(text);
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

void TFormMain::TB_RefreshClick()
{
    if (ShellList->hasFocusInside())
        PLeft->reread();
    else if (RpcList->hasFocusInside())
        RefreshRpc();
    else if (VDiskList->hasFocusInside())
        RefreshVDisk();
}

void TFormMain::TB_SyncClick()
{
    const bool image =
        VDiskList->hasFocusInside() || (!RpcList->hasFocusInside() && !RpcConnected && VDiskState == 1);
    RunSync(*this, !image);
}

void TFormMain::TB_ExitClick()
{
    close();
}

void TFormMain::TB_FormatClick()
{
    vdiskPane->TB_FormatClick();
}

void TFormMain::TB_VDiskConnectClick()
{
    TB_VDiskConnect->setChecked(VDiskState == 1);
    if (VDiskState == 1)
        DisconnectVDisk();
    else
        RefreshVDisk();
}

void TFormMain::TB_RpcConnectClick()
{
    TB_RpcConnect->setChecked(RpcConnected);
    if (RpcConnected)
        DisconnectRpc();
    else
        RefreshRpc();
}

void TFormMain::TB_DeleteClick()
{
    if (ShellList->hasFocusInside())
        PLeft->deleteSelection();
    else if (RpcList->hasFocusInside())
        devicePane->DeleteRpcFiles();
    else if (VDiskList->hasFocusInside())
        vdiskPane->DeleteVDiskFiles();
}

void TFormMain::TB_CopyClick()
{
    if (ShellList->hasFocusInside())
        CopyLocalToClipboard();
    else if (RpcList->hasFocusInside())
        CopyDeviceToClipboard();
    else if (VDiskList->hasFocusInside())
        CopyVDiskToClipboard();
}

void TFormMain::TB_PasteClick()
{
    if (ShellList->hasFocusInside())
        PasteToLocal();
    else if (RpcList->hasFocusInside())
        PasteToDevice();
    else if (VDiskList->hasFocusInside())
        PasteToVDisk();
}

void TFormMain::TB_SetupClick()
{
    TFormSetup setup(settings, language, *m_settingsFile, *m_services.profiles, *m_services.prompter, this);
    setup.exec();
    // The window may have been closed while the dialog was open.
    if (m_destroyed)
        return;
    // With the connection closed, RefreshRpc starts a fresh attempt, which
    // picks up the port and speed just stored.
    if (!setup.SetupCancelled && devicePane->CloseRpcLink() == 0)
        RefreshRpc();
    if (ShellList->gridLines() != settings.GridLines)
        ApplyGridLines(settings.GridLines);
}

void TFormMain::RefreshRpc()
{
    devicePane->RefreshRpc();
}

void TFormMain::DisconnectRpc()
{
    devicePane->DisconnectRpc();
}

void TFormMain::RefreshVDisk()
{
    vdiskPane->RefreshVDisk();
}

void TFormMain::DisconnectVDisk()
{
    vdiskPane->DisconnectVDisk();
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
    vexo::RunDeviceTransfer(*this, sources, destinations, direction);
}

void TFormMain::Timer1Timer()
{
    if (OpIdle && (RpcConnected || VDiskState != -1))
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
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const bool keypad = event->modifiers() & Qt::KeypadModifier;
    switch (event->key()) {
    case Qt::Key_F3:
        RefreshRpc();
        break;
    case Qt::Key_F4:
        DisconnectRpc();
        break;
    case Qt::Key_F5:
        TB_RefreshClick();
        break;
    case Qt::Key_F6:
        RefreshVDisk();
        break;
    case Qt::Key_F7:
        DisconnectVDisk();
        break;
    case Qt::Key_F8:
        TB_SetupClick();
        break;
    case Qt::Key_F9:
        TB_SyncClick();
        break;
    case Qt::Key_1:
    case Qt::Key_2:
    case Qt::Key_3:
    case Qt::Key_4:
        if (ctrl && !keypad)
            applyViewCommand(static_cast<ViewStyle>(event->key() - Qt::Key_1));
        break;
    default:
        break;
    }
}

bool TFormMain::eventFilter(QObject *watched, QEvent *event)
{
    // A key press is offered to each parent in turn when a child ignores it;
    // the hook acts once, where it was first delivered.
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        auto *widget = static_cast<QWidget *>(watched);
        const bool propagated =
            event == m_lastKeyEvent && m_lastKeyTarget && widget->isAncestorOf(m_lastKeyTarget);
        m_lastKeyEvent = event;
        m_lastKeyTarget = widget;
        if (!propagated)
            KeyHook(static_cast<QKeyEvent *>(event));
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
