#include "vdisk/VDiskPane.h"

#include "engine/FileListRow.h"
#include "engine/ImageMount.h"
#include "engine/PaneKeys.h"
#include "engine/SpaceCheck.h"
#include "engine/StatusLine.h"
#include "engine/StatusTexts.h"
#include "engine/StopThread.h"
#include "engine/VDiskCopy.h"
#include "engine/common.h"
#include "platform/CodePage.h"
#include "platform/DesktopShell.h"
#include "platform/Prompter.h"
#include "platform/VDiskLibrary.h"
#include "vdisk/TInitVDiskThread.h"
#include "widgets/CaptionPanel.h"
#include "widgets/DeleteSelectedRows.h"
#include "widgets/FileListView.h"
#include "widgets/FileRowModel.h"
#include "widgets/OverrideCursor.h"

#include <QAbstractButton>
#include <QApplication>
#include <QItemSelectionModel>
#include <QSet>

#include <algorithm>

namespace vexo
{

VDiskPane::VDiskPane(const PaneContext &context, std::shared_ptr<ImageMount> mount, const View &view,
                     QObject *parent)
    : QObject(parent), m_context(context), m_mount(std::move(mount)), m_view(view), m_icons(view.rows),
      m_watch([this] { return quiet(); })
{
    m_view.list.connectPane(this, &VDiskPane::VDiskListKeyUp, &VDiskPane::VDiskListDblClick,
                            &VDiskPane::VDiskListEdited);
    connect(&m_watch, &ImageWatch::changed, this, &VDiskPane::followImage);
}

VDiskPane::~VDiskPane()
{
    shutdown();
}

bool VDiskPane::usable() const
{
    return m_mount->usable() && !m_shutDown;
}

bool VDiskPane::mountRunning() const
{
    return m_mount->mountRunning();
}

QString VDiskPane::placeholderFolder() const
{
    const QString &work = m_context.workFolder;
    return work.isEmpty() ? QString() : JoinPath(work, QStringLiteral("VDisk"));
}

bool VDiskPane::startMount()
{
    if (!usable() || !m_mount->beginMount())
        return true;
    auto *thread = new TInitVDiskThread(m_mount, placeholderFolder(), m_context.language, this);
    connect(thread, &TInitVDiskThread::mounting, this, [this] { showState(Connecting); });
    connect(thread, &TInitVDiskThread::installPathMissing, this, &VDiskPane::ShowNoInstallPath,
            Qt::BlockingQueuedConnection);
    connect(thread, &TInitVDiskThread::mounted, this, [this] {
        showState(Connected);
        if (!m_shutDown)
            m_watch.watch(m_mount->imageFile(), m_mount->mountedStamp());
    });
    connect(thread, &TInitVDiskThread::listed, this, &VDiskPane::showListing);
    connect(thread, &TInitVDiskThread::failed, this, &VDiskPane::mountFailed);
    connect(thread, &TInitVDiskThread::ended, this, &VDiskPane::mountEnded);
    thread->start();
    if (!thread->isRunning() && !thread->isFinished()) {
        m_mount->endMount();
        delete thread;
        return false;
    }
    m_threads.removeAll(nullptr);
    m_threads.append(thread);
    return true;
}

void VDiskPane::RefreshVDisk()
{
    if (m_mount->isMounted())
        ListVDisk();
    else
        startMount();
}

void VDiskPane::DisconnectVDisk()
{
    if (!m_mount->admitUnmount())
        return;
    m_watch.stop();
    m_mount->unmount();
    showState(Disconnected);
    m_view.rows.clear();
}

void VDiskPane::ListVDisk()
{
    if (!usable())
        return;
    // Taken before reading, so a change made meanwhile is listed again. A file
    // put in the image's place is not the one the library reads: the watch
    // mounts that one.
    const ImageStamp stamp = ImageStamp::of(m_watch.path());
    if (stamp.sameFile(m_mount->mountedStamp()))
        m_watch.markShown(stamp);
    showListing(ReadVDiskListing(*m_mount->library(), placeholderFolder()));
}

bool VDiskPane::quiet() const
{
    return (!m_idle || m_idle()) && !m_mount->mountRunning() && !m_view.list.isEditing() &&
           QApplication::activeModalWidget() == nullptr;
}

void VDiskPane::followImage()
{
    if (!usable() || m_mount->mountRunning())
        return;
    const ImageStamp now = ImageStamp::of(m_watch.path());
    if (m_mount->isMounted() && now.sameFile(m_mount->mountedStamp()) && m_mount->recheck()) {
        ListVDisk();
        // Damaged or whole again: the caption and the status say which.
        showState(Connected);
        return;
    }
    // Replaced, gone or unreadable: what a mount finds is what is shown. A
    // failing mount is not tried again until the file changes once more.
    m_watch.markShown(now);
    startMount();
}

void VDiskPane::applyLanguage()
{
    static const char *const keys[] = {"Connecting", "Connected", nullptr, "DisConnect"};
    const LanguageTable &language = m_context.language;
    const QString word = m_state == Failed ? language.status(QStringLiteral("InitFailed"))
                         : m_state == Connected && m_mount->damaged()
                             ? language.status(QStringLiteral("ImageDamaged"))
                             : language.other(QLatin1String(keys[m_state]));
    // The state stays the caption's last word, as in the device pane.
    const QString space = m_state != Connected || m_freeBytes < 0
                              ? QString()
                              : " " + FreeSpaceText(language, m_freeBytes, m_totalBytes);
    m_view.caption.setText(language.other(QStringLiteral("VDiskPanel")) + space + QStringLiteral(" - ") +
                           word);
}

void VDiskPane::showState(State state)
{
    if (m_shutDown)
        return;
    m_state = state;
    if (state != Connected)
        m_freeBytes = -1;
    applyLanguage();
    if (state != Connecting)
        m_view.toggle.setChecked(state == Connected);
    // Mounted, the tool tip says which image and where it was found.
    if (state == Connected)
        m_view.caption.setToolTip(m_mount->imageSource());
    if (state == Connected && m_mount->damaged())
        m_context.status.showReason(m_context.language.status(QStringLiteral("ImageDamaged")));
}

void VDiskPane::showMountFailure(const QString &text)
{
    m_view.caption.setToolTip(text);
    m_context.status.showReason(text);
}

bool VDiskPane::showRefusal(VDiskLibrary &library)
{
    const QString busy = library.busyText();
    if (!busy.isEmpty())
        showMountFailure(busy);
    return !busy.isEmpty();
}

void VDiskPane::mountFailed(const QString &why)
{
    if (m_shutDown)
        return;
    showState(Failed);
    // Rows of an image that did not mount would be taken for its contents.
    m_view.rows.clear();
    if (!why.isEmpty())
        showMountFailure(why);
}

void VDiskPane::showListing(const QVector<VDiskEntry> &entries)
{
    if (m_shutDown)
        return;
    const QStringList selectedBefore = selectedNames();
    const QSet<QString> selected(selectedBefore.begin(), selectedBefore.end());
    const QString current = m_view.rows.caption(m_view.list.currentIndex().row());
    QVector<FileRow> rows;
    rows.reserve(entries.size());
    for (const VDiskEntry &entry : entries) {
        const int icon = entry.placeholder.isEmpty() ? m_icons.genericIndex()
                                                     : m_icons.GetShellIconIndex(entry.placeholder);
        rows.append({entry.name, FileSizeText(entry.size), FileDateText(VDiskFileDate(entry.time)), icon});
    }
    m_view.rows.clear();
    m_view.rows.appendRows(rows);
    if (QItemSelectionModel *selection = m_view.list.selectionModel()) {
        for (int row = 0; row < m_view.rows.rowCount(); ++row) {
            const QString name = m_view.rows.caption(row);
            const QModelIndex index = m_view.list.indexOfRow(row);
            if (!current.isEmpty() && name == current)
                selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
            if (selected.contains(name))
                selection->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    showFreeSpace();
}

void VDiskPane::showFreeSpace()
{
    VDiskLibrary *library = m_mount->library();
    if (!library || !m_mount->isMounted() || !ImageSpace(*library, m_freeBytes, m_totalBytes))
        m_freeBytes = -1;
    applyLanguage();
}

void VDiskPane::mountEnded()
{
    if (m_shutDown)
        return;
    if (m_mount->endMount())
        DisconnectVDisk();
}

void VDiskPane::ShowNoInstallPath()
{
    if (m_shutDown)
        return;
    const LanguageTable &language = m_context.language;
    m_context.prompter.ask(language.message(QStringLiteral("NoInstallPath")),
                           language.message(QStringLiteral("PromptTitle")), PromptButtons::Ok,
                           PromptIcon::Error);
}

void VDiskPane::VDiskListKeyUp(int key, Qt::KeyboardModifiers)
{
    PaneKeyActions keys;
    keys.remove = [this] {
        if (ConfirmFileDelete(m_context.prompter, m_context.language, selectedNames()))
            DeleteSelectedVDiskFiles();
    };
    keys.refresh = [this] { RefreshVDisk(); };
    keys.copy = [this] { emit copyRequested(); };
    keys.paste = [this] { emit pasteRequested(); };
    keys.selectAll = [this] { m_view.list.selectAll(); };
    ReleasePaneKey(key, keys);
}

QStringList VDiskPane::selectedNames() const
{
    QStringList names;
    for (const QModelIndex &index : m_view.list.selectedRows())
        names.append(m_view.rows.caption(index.row()));
    return names;
}

void VDiskPane::DeleteVDiskFiles()
{
    if (m_view.list.selectedRows().isEmpty())
        return;
    if (ConfirmFileDelete(m_context.prompter, m_context.language, selectedNames()))
        DeleteSelectedVDiskFiles();
}

int VDiskPane::DeleteSelectedVDiskFiles()
{
    VDiskLibrary *library = m_mount->library();
    int result = 0;
    if (!library)
        return result;
    DeleteSelectedRows(m_view.list, m_view.rows, [&](const QString &name) {
        result = library->zfdelete(name);
        return result == 1 ? RowDelete::Deleted : RowDelete::Kept;
    });
    showRefusal(*library);
    showFreeSpace();
    return result;
}

QString VDiskPane::renameProblem(const LanguageTable &language, const QString &name)
{
    bool encodable = false;
    CodePage::toCp936(name, &encodable);
    const bool badCharacter = std::any_of(name.begin(), name.end(), [](QChar c) {
        return c.unicode() < 0x20 || c.unicode() == 0x7f || QStringView(u"/\\\"*:<>?|").contains(c);
    });
    if (name.isEmpty())
        return StatusTexts::RenameRefused(language, name);
    if (badCharacter || !encodable || name.endsWith(u'.') || name.endsWith(u' '))
        return StatusTexts::RenameBadCharacters(language, name);
    if (CodePage::cp936Length(name) > MaxNameBytes)
        return StatusTexts::RenameTooLong(language, name, MaxNameBytes);
    return QString();
}

void VDiskPane::VDiskListEdited(int, const QString &oldText, const QString &newText, bool *accept)
{
    *accept = false;
    VDiskLibrary *library = m_mount->library();
    if (!library || newText == oldText) {
        *accept = newText == oldText;
        return;
    }
    const LanguageTable &language = m_context.language;
    QString problem = renameProblem(language, newText);
    // Another file of that name; a change of case alone is the same file.
    if (problem.isEmpty() && newText.compare(oldText, Qt::CaseInsensitive) != 0 &&
        library->zffind(newText) == 1)
        problem = StatusTexts::RenameNameTaken(language, newText);
    if (problem.isEmpty()) {
        *accept = library->zrename(oldText, newText) == 1;
        if (*accept)
            return;
        problem = library->busyText();
        if (problem.isEmpty())
            problem = StatusTexts::RenameRefused(language, newText);
    }
    showMountFailure(problem);
}

void VDiskPane::VDiskListDblClick(const QModelIndex &)
{
    const QModelIndexList selected = m_view.list.selectedRows();
    VDiskLibrary *library = m_mount->library();
    if (selected.size() != 1 || !library)
        return;
    const QString name = m_view.rows.caption(selected.first().row());
    const QString &work = m_context.workFolder;
    // A name that could leave the work folder is never copied out.
    const QString copy = IsSafeBareName(name) && !work.isEmpty() ? JoinPath(work, name) : QString();
    int copied = 0;
    if (!copy.isEmpty()) {
        OverrideCursor wait(Qt::WaitCursor);
        copied = CopyVDiskFile(*library, name, copy, true);
    }
    if (copied != 1) {
        ShowCopyFailed(m_context.prompter, m_context.language,
                       ImageCopyFailureReason(*m_mount, m_context.language));
    } else if (!m_context.shell.openWithAssociatedProgram(copy))
        showMountFailure(StatusTexts::CannotOpen(m_context.language, name));
}

void VDiskPane::TB_FormatClick()
{
    if (!usable())
        return;
    const LanguageTable &language = m_context.language;
    // The question names what is lost: the image and how many files it holds.
    QString image;
    int files = -1;
    if (!m_mount->formatTarget(&image, &files))
        image.clear();
    QString question = language.msg(QStringLiteral("YNFormatVDisk"));
    if (files >= 0)
        question +=
            QStringLiteral("\n\n") + language.message(QStringLiteral("FormatImage")).arg(image).arg(files);
    if (m_context.prompter.ask(question, language.msg(QStringLiteral("MsgTitle")), PromptButtons::OkCancel,
                               PromptIcon::Question) != PromptAnswer::Ok)
        return;
    switch (m_mount->format()) {
    case ImageMount::FormatResult::Busy: // the mount thread owns the library while it runs
        break;
    case ImageMount::FormatResult::NoInstallPath:
        ShowNoInstallPath();
        break;
    case ImageMount::FormatResult::Formatted:
        RefreshVDisk();
        break;
    case ImageMount::FormatResult::Failed:
        if (!showRefusal(*m_mount->library()))
            showMountFailure(StatusTexts::FormatFailed(language));
        break;
    }
}

void VDiskPane::shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    m_watch.stop();
    m_mount->close();
    for (const QPointer<TInitVDiskThread> &thread : std::as_const(m_threads)) {
        // An attempt may be waiting for its message box: being cut off, it
        // is let go without one.
        if (thread)
            StopThread(*thread, this, [&thread] { thread->detach(); });
    }
    m_mount->release();
}

} // namespace vexo
