#include "local/LocalPane.h"

#include "engine/LanguageTable.h"
#include "engine/PaneKeys.h"
#include "engine/StatusTexts.h"
#include "engine/common.h"
#include "local/LocalFileModel.h"
#include "platform/DesktopShell.h"
#include "platform/Prompter.h"
#include "widgets/FileListView.h"
#include "widgets/ToolbarArtwork.h"

#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFrame>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QStorageInfo>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace vexo
{

namespace
{

constexpr int PathRole = Qt::UserRole + 1;

bool isVolumeRoot(const QString &path)
{
    const QString clean = QDir::cleanPath(path);
    return clean == QLatin1String("/") || QStorageInfo(clean).rootPath() == clean;
}

QStringList volumeRoots()
{
    QStringList roots{QStringLiteral("/")};
    const QString home = QDir::homePath();
    if (home != QLatin1String("/"))
        roots << home;
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        if (!volume.isValid() || !volume.isReady() || roots.contains(root))
            continue;
        if (root.startsWith(QLatin1String("/media/")) || root.startsWith(QLatin1String("/mnt/")) ||
            root.startsWith(QLatin1String("/run/media/")))
            roots << root;
    }
    return roots;
}

} // namespace

QString LocalPane::computerText() const
{
    return m_language.window(QStringLiteral("Computer"));
}

LocalPane::LocalPane(Prompter &prompter, DesktopShell &shell, const LanguageTable &language, QWidget *parent)
    : QWidget(parent), m_prompter(prompter), m_shell(shell), m_language(language)
{
    setObjectName(QStringLiteral("PLeft"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    PShellStatus = new QFrame(this);
    PShellStatus->setObjectName(QStringLiteral("PShellStatus"));
    PShellStatus->setFixedHeight(30);
    PShellStatus->setFrameStyle(QFrame::Panel | QFrame::Raised);
    ShellComboBox = new QComboBox(PShellStatus);
    ShellComboBox->setObjectName(QStringLiteral("ShellComboBox"));
    ShellComboBox->setEditable(true);
    ShellComboBox->setInsertPolicy(QComboBox::NoInsert);
    ShellComboBox->setMaxVisibleItems(8);
    ShellComboBox->setGeometry(6, 4, 270, 22);
    // Offered in a list, never filled in: what the user typed stays as typed.
    ShellComboBox->completer()->setCompletionMode(QCompleter::PopupCompletion);
    ShellComboBox->completer()->setCaseSensitivity(Qt::CaseSensitive);
    // Enter is taken where the edit field reports it: the combo box hands
    // its keys to the edit field directly, out of sight of event filters,
    // while a key sent to the edit field never reaches the combo box.
    connect(ShellComboBox->lineEdit(), &QLineEdit::returnPressed, this,
            [this] { ShellComboBoxKeyUp(Qt::Key_Return); });
    butShellUp = new QToolButton(PShellStatus);
    butShellUp->setObjectName(QStringLiteral("butShellUp"));
    butShellUp->setAutoRaise(true);
    butShellUp->setIcon(ToolbarArtwork::headerIcon(ToolbarArtwork::HeaderUp));
    butShellUp->setGeometry(282, 4, 22, 22);
    butShellNewFolder = new QToolButton(PShellStatus);
    butShellNewFolder->setObjectName(QStringLiteral("butShellNewFolder"));
    butShellNewFolder->setAutoRaise(true);
    butShellNewFolder->setIcon(ToolbarArtwork::headerIcon(ToolbarArtwork::HeaderNewFolder));
    butShellNewFolder->setGeometry(307, 4, 22, 22);
    layout->addWidget(PShellStatus);

    ShellList = new FileListView(this);
    ShellList->setObjectName(QStringLiteral("ShellList"));
    ShellList->setDropEnabled(true);
    // Name, size and date as in the other panes; the type column stays out.
    ShellList->setColumnWidths(
        {FileListView::defaultColumnWidths().at(0), FileListView::defaultColumnWidths().at(1), 0, 130});
    ShellList->setHiddenColumns({LocalFileModel::TypeColumn});
    layout->addWidget(ShellList, 1);

    m_computer = new QStandardItemModel(this);
    fillComputer();
    applyLanguage();

    connect(butShellUp, &QToolButton::clicked, this, &LocalPane::butShellUpClick);
    connect(butShellNewFolder, &QToolButton::clicked, this, &LocalPane::butShellNewFolderClick);
    connect(ShellComboBox, qOverload<int>(&QComboBox::activated), this,
            [this](int index) { showFolder(ShellComboBox->itemData(index, PathRole).toString()); });
    connect(ShellList, &FileListView::keyReleased, this, [this](int key) { ShellListKeyUp(key); });
    connect(ShellList, &FileListView::keyPressed, this, [this](int key) {
        if (key == Qt::Key_Backspace)
            butShellUpClick();
        else if (key == Qt::Key_F5)
            reread();
    });
    connect(ShellList, &FileListView::itemActivated, this, &LocalPane::onActivated);
    connect(ShellList, &FileListView::itemEdited, this, &LocalPane::onEdited, Qt::DirectConnection);

    showFolder(QString());
}

LocalPane::~LocalPane()
{
    // The model's gatherer thread uses the icon provider: it goes first.
    delete m_fs;
}

QString LocalPane::currentPathText() const
{
    return m_folder.isEmpty() ? computerText() : m_folder;
}

void LocalPane::applyLanguage()
{
    butShellUp->setToolTip(m_language.window(QStringLiteral("UpFolder")));
    butShellNewFolder->setToolTip(m_language.window(QStringLiteral("NewFolder")));
    m_computer->setHorizontalHeaderLabels({m_language.other(QStringLiteral("Filename"))});
    if (m_fs)
        m_fs->setColumnTitles(columnTitles());
    fillComboBox();
}

QStringList LocalPane::columnTitles() const
{
    return {m_language.other(QStringLiteral("Filename")), m_language.other(QStringLiteral("Size")),
            m_language.other(QStringLiteral("Date"))};
}

void LocalPane::fillComputer()
{
    m_computer->removeRows(0, m_computer->rowCount());
    for (const QString &root : volumeRoots()) {
        auto *item = new QStandardItem(style()->standardIcon(QStyle::SP_DriveHDIcon), root);
        item->setData(root, PathRole);
        item->setEditable(false);
        m_computer->appendRow(item);
    }
}

void LocalPane::fillComboBox()
{
    const QSignalBlocker block(ShellComboBox);
    ShellComboBox->clear();
    ShellComboBox->addItem(style()->standardIcon(QStyle::SP_ComputerIcon), computerText(), QString());
    for (const QString &root : volumeRoots())
        ShellComboBox->addItem(style()->standardIcon(QStyle::SP_DriveHDIcon), root, root);
    int at = 0;
    if (!m_folder.isEmpty()) {
        at = ShellComboBox->findData(m_folder, PathRole);
        if (at < 0) {
            ShellComboBox->addItem(style()->standardIcon(QStyle::SP_DirIcon), m_folder, m_folder);
            at = ShellComboBox->count() - 1;
        }
    }
    ShellComboBox->setCurrentIndex(at);
    ShellComboBox->setEditText(currentPathText());
}

void LocalPane::attachFileSystemModel()
{
    // A fresh model reads the folder anew; the old one goes with its caches.
    QFileSystemModel *old = m_fs;
    m_fs = new LocalFileModel(this);
    m_fs->setColumnTitles(columnTitles());
    m_fs->setReadOnly(false);
    m_fs->setIconProvider(&m_icons);
    m_fs->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot | QDir::System);
    m_fs->setRootPath(m_folder);
    // The model reads the folder on a thread and sorts the rows a little
    // later; once it is read, sort now so that the order is final.
    connect(m_fs, &QFileSystemModel::directoryLoaded, this, [this, model = m_fs](const QString &path) {
        if (model != m_fs || QDir::cleanPath(path) != m_folder)
            return;
        model->sort(0, Qt::AscendingOrder);
        emit folderListed();
    });
    ShellList->setModel(m_fs);
    ShellList->setRootIndex(m_fs->index(m_folder));
    m_fs->sort(0, Qt::AscendingOrder);
    delete old;
}

void LocalPane::showFolder(const QString &path)
{
    const bool top = path.isEmpty() || path == computerText();
    if (top) {
        m_folder.clear();
        fillComputer();
        ShellList->setModel(m_computer);
        ShellList->setRootIndex(QModelIndex());
        delete m_fs;
        m_fs = nullptr;
        QTimer::singleShot(0, m_computer, [this] { emit folderListed(); });
    } else {
        m_folder = QDir::cleanPath(path);
        attachFileSystemModel();
    }
    fillComboBox();
    emit folderChanged(currentPathText());
}

void LocalPane::reread()
{
    showFolder(m_folder);
}

void LocalPane::LayoutShellHeader(int splitterLeft)
{
    const int x = splitterLeft - 8;
    butShellNewFolder->move(x - butShellNewFolder->width(), butShellNewFolder->y());
    const int y = butShellNewFolder->x() - 3;
    butShellUp->move(y - butShellUp->width(), butShellUp->y());
    ShellComboBox->resize(y - ShellComboBox->x() - 28, ShellComboBox->height());
}

QString LocalPane::pathOfRow(int row) const
{
    const QModelIndex index = ShellList->indexOfRow(row);
    if (m_fs && ShellList->model() == m_fs)
        return m_fs->filePath(index);
    return index.data(PathRole).toString();
}

bool LocalPane::isFolderRow(int row) const
{
    const QFileInfo info(pathOfRow(row));
    return info.isDir() && !info.isSymLink();
}

QStringList LocalPane::selectedPaths() const
{
    QStringList paths;
    for (int row = 0; row < ShellList->rowCount(); ++row) {
        if (ShellList->isRowSelected(row))
            paths << pathOfRow(row);
    }
    return paths;
}

void LocalPane::butShellUpClick()
{
    if (m_folder.isEmpty())
        return;
    if (m_folder == QLatin1String("/")) {
        showFolder(QString());
        return;
    }
    showFolder(QFileInfo(m_folder).path());
}

void LocalPane::butShellNewFolderClick()
{
    if (GetPathKind(currentPathText()) != pkLocal)
        return;
    const QString name = m_prompter.promptText(m_language.other(QStringLiteral("CreateNewFolder")),
                                               m_language.msg(QStringLiteral("Foldername")), QString());
    if (name.isEmpty())
        return;
    const QString path = JoinPath(currentPathText(), name);
    QDir().mkdir(path);
    if (QFileInfo(path).isDir()) {
        reread();
        return;
    }
    m_prompter.ask(m_language.message(QStringLiteral("NewFolderFailed")),
                   m_language.msg(QStringLiteral("MsgError")), PromptButtons::Ok, PromptIcon::Error);
}

bool LocalPane::ConfirmDelete()
{
    return m_prompter.ask(m_language.message(QStringLiteral("DeleteLocal")),
                          m_language.message(QStringLiteral("PromptTitle")), PromptButtons::OkCancel,
                          PromptIcon::Question) == PromptAnswer::Ok;
}

void LocalPane::deleteSelection()
{
    if (GetPathKind(currentPathText()) != pkLocal || ShellList->selectedRows().isEmpty() || !ConfirmDelete())
        return;
    DeleteLocalSelection();
}

void LocalPane::DeleteLocalSelection()
{
    // Paths are taken before anything is removed: the model follows the file
    // system and its rows would shift under the walk.
    struct Entry {
        QString path;
        bool folder;
    };
    QList<Entry> entries;
    for (int row = 0; row < ShellList->rowCount(); ++row) {
        if (ShellList->isRowSelected(row))
            entries.append({pathOfRow(row), isFolderRow(row)});
    }
    for (const Entry &e : entries) {
        if (GetPathKind(e.path) != pkLocal)
            return;
        if (isVolumeRoot(e.path)) {
            m_prompter.ask(m_language.message(QStringLiteral("NotAllowed")),
                           m_language.message(QStringLiteral("ErrorTitle")), PromptButtons::Ok,
                           PromptIcon::Error);
            continue;
        }
        if (e.folder)
            DeleteFolderTree(e.path);
        else
            QFile::remove(e.path);
    }
    reread();
}

void LocalPane::ShellComboBoxKeyUp(int key)
{
    if (key != Qt::Key_Return && key != Qt::Key_Enter)
        return;
    QString path = ShellComboBox->currentText();
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        path = QDir::homePath() + path.mid(1);
    if (path == computerText()) {
        showFolder(QString());
        return;
    }
    if (GetPathKind(path) == pkLocal && QFileInfo(path).isDir()) {
        showFolder(path);
        return;
    }
    fillComboBox();
    if (!path.isEmpty())
        emit statusMessage(StatusTexts::NoSuchFolder(m_language, path));
}

void LocalPane::ShellListKeyUp(int key)
{
    PaneKeyActions keys;
    keys.remove = [this] { deleteSelection(); };
    // F5 is the list's own re-read, on key press.
    keys.copy = [this] { emit copyRequested(); };
    keys.paste = [this] { emit pasteRequested(); };
    keys.selectAll = [this] { ShellList->selectAll(); };
    ReleasePaneKey(key, keys);
}

void LocalPane::onActivated(const QModelIndex &index)
{
    const int row = index.row();
    const QString path = pathOfRow(row);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).isDir())
        showFolder(path);
    else if (!m_shell.openWithAssociatedProgram(path))
        emit statusMessage(StatusTexts::CannotOpen(m_language, path));
}

void LocalPane::onEdited(int, const QString &oldText, const QString &newText, bool *accept)
{
    // The file system model renames the file; a name that would leave the
    // folder, or the top level's entries, are not renamed.
    *accept = m_fs && ShellList->model() == m_fs && oldText != newText && IsSafeBareName(newText);
}

void LocalPane::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // The pane ends where the splitter begins.
    LayoutShellHeader(width());
}

} // namespace vexo
