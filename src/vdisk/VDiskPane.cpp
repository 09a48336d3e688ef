#include "vdisk/VDiskPane.h"

#include "app/main.h"
#include "engine/FileListRow.h"
#include "engine/PaneKeys.h"
#include "engine/StatusTexts.h"
#include "engine/VDiskCopy.h"
#include "engine/common.h"
#include "platform/CodePage.h"
#include "platform/DesktopShell.h"
#include "platform/Prompter.h"
#include "platform/Registry.h"
#include "platform/VDiskLibrary.h"
#include "vdisk/TInitVDiskThread.h"
#include "widgets/CaptionPanel.h"
#include "widgets/FileListView.h"
#include "widgets/FileRowModel.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QToolButton>

#include <algorithm>

namespace vexo
{

VDiskPane::VDiskPane(TFormMain &window)
    : QObject(&window), m_window(window), m_library(window.services().vdisk),
      m_registry(window.services().registry), m_icons(*window.VDiskRows)
{
    FileListView *list = window.VDiskList;
    connect(list, &FileListView::keyReleased, this, &VDiskPane::VDiskListKeyUp);
    connect(list, &FileListView::itemDoubleClicked, this, &VDiskPane::VDiskListDblClick);
    connect(list, &FileListView::itemEdited, this, &VDiskPane::VDiskListEdited, Qt::DirectConnection);
}

VDiskPane::~VDiskPane()
{
    shutdown();
}

QString VDiskPane::imagePath(const QString &installPath)
{
    return installPath + QStringLiteral("/target/public/lib/vdisk.dat");
}

QString VDiskPane::placeholderFolder() const
{
    return m_window.TempDir.isEmpty() ? QString() : JoinPath(m_window.TempDir, QStringLiteral("VDisk"));
}

bool VDiskPane::startMount()
{
    if (!usable() || m_mounting)
        return true;
    auto *thread = new TInitVDiskThread(*this);
    m_mounting = true;
    thread->start();
    if (!thread->isRunning() && !thread->isFinished()) {
        m_mounting = false;
        delete thread;
        return false;
    }
    m_threads.removeAll(nullptr);
    m_threads.append(thread);
    return true;
}

void VDiskPane::RefreshVDisk()
{
    if (m_window.VDiskState == 1)
        ListVDisk();
    else
        startMount();
}

void VDiskPane::DisconnectVDisk()
{
    if (m_mounting) {
        m_unmountWhenMounted = true;
        return;
    }
    if (m_library)
        m_library->DestoryFileSystem();
    m_window.VDiskState = 0;
    showState(Disconnected);
    m_window.VDiskRows->clear();
}

void VDiskPane::ListVDisk()
{
    if (usable())
        showListing(ReadVDiskListing(*m_library, placeholderFolder()));
}

void VDiskPane::setVDiskState(int state)
{
    m_window.VDiskState = state;
}

const LanguageTable &VDiskPane::language() const
{
    return m_window.language;
}

void VDiskPane::applyLanguage()
{
    static const char *const keys[] = {"Connecting", "Connected", nullptr, "DisConnect"};
    const LanguageTable &language = m_window.language;
    const QString word = m_state == Failed ? language.status(QStringLiteral("InitFailed"))
                                           : language.other(QLatin1String(keys[m_state]));
    m_window.PVDiskStatus->setText(language.other(QStringLiteral("VDiskPanel")) + QStringLiteral(" - ") +
                                   word);
}

void VDiskPane::showState(State state)
{
    m_state = state;
    applyLanguage();
    if (state != Connecting)
        m_window.TB_VDiskConnect->setChecked(state == Connected);
    if (state == Connected)
        m_window.PVDiskStatus->setToolTip(QString());
}

void VDiskPane::showMountFailure(const QString &text)
{
    m_window.showReason(text, m_window.PVDiskStatus);
}

void VDiskPane::showListing(const QVector<VDiskEntry> &entries)
{
    QVector<FileRow> rows;
    rows.reserve(entries.size());
    for (const VDiskEntry &entry : entries) {
        const int icon = entry.placeholder.isEmpty() ? m_icons.genericIndex()
                                                     : m_icons.GetShellIconIndex(entry.placeholder);
        rows.append({entry.name, FileSizeText(entry.size), FileDateText(VDiskFileDate(entry.time)), icon});
    }
    m_window.VDiskRows->clear();
    m_window.VDiskRows->appendRows(rows);
}

void VDiskPane::mountEnded()
{
    m_mounting = false;
    if (m_unmountWhenMounted) {
        m_unmountWhenMounted = false;
        DisconnectVDisk();
    }
}

void VDiskPane::ShowNoInstallPath()
{
    const LanguageTable &language = m_window.language;
    m_window.services().prompter->ask(language.message(QStringLiteral("NoInstallPath")),
                                      language.message(QStringLiteral("PromptTitle")), PromptButtons::Ok,
                                      PromptIcon::Error);
}

void VDiskPane::VDiskListKeyUp(int key, Qt::KeyboardModifiers)
{
    PaneKeyActions keys;
    keys.remove = [this] {
        if (ConfirmFileDelete(*m_window.services().prompter, m_window.language))
            DeleteSelectedVDiskFiles();
    };
    keys.refresh = [this] { RefreshVDisk(); };
    keys.copy = [this] { emit copyRequested(); };
    keys.paste = [this] { emit pasteRequested(); };
    keys.selectAll = [this] { m_window.VDiskList->selectAll(); };
    ReleasePaneKey(key, keys);
}

void VDiskPane::DeleteVDiskFiles()
{
    if (m_window.VDiskList->selectedRows().isEmpty())
        return;
    if (ConfirmFileDelete(*m_window.services().prompter, m_window.language))
        DeleteSelectedVDiskFiles();
}

int VDiskPane::DeleteSelectedVDiskFiles()
{
    FileListView *list = m_window.VDiskList;
    FileRowModel *rows = m_window.VDiskRows;
    int result = 0;
    if (!m_library)
        return result;
    for (int row = 0; row < rows->rowCount();) {
        if (!list->isRowSelected(row)) {
            ++row;
            continue;
        }
        result = m_library->zfdelete(rows->caption(row));
        if (result == 1)
            rows->removeRows(row, 1); // the next row moves up and is looked at next
        else
            ++row;
    }
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
    if (!m_library || newText == oldText) {
        *accept = newText == oldText;
        return;
    }
    QString problem = renameProblem(m_window.language, newText);
    // Another file of that name; a change of case alone is the same file.
    if (problem.isEmpty() && newText.compare(oldText, Qt::CaseInsensitive) != 0 &&
        m_library->zffind(newText) == 1)
        problem = StatusTexts::RenameNameTaken(m_window.language, newText);
    if (problem.isEmpty()) {
        *accept = m_library->zrename(oldText, newText) == 1;
        if (*accept)
            return;
        problem = StatusTexts::RenameRefused(m_window.language, newText);
    }
    m_window.showReason(problem, m_window.PVDiskStatus);
}

void VDiskPane::VDiskListDblClick(const QModelIndex &)
{
    const QModelIndexList selected = m_window.VDiskList->selectedRows();
    if (selected.size() != 1 || !m_library)
        return;
    const QString name = m_window.VDiskRows->caption(selected.first().row());
    // A name that could leave the work folder is never copied out.
    const QString copy =
        IsSafeBareName(name) && !m_window.TempDir.isEmpty() ? JoinPath(m_window.TempDir, name) : QString();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const int copied = copy.isEmpty() ? 0 : CopyVDiskFile(*m_library, name, copy, true);
    QApplication::restoreOverrideCursor();
    if (copied != 1)
        ShowCopyFailed(*m_window.services().prompter, m_window.language);
    else if (!m_window.services().shell->openWithAssociatedProgram(copy))
        m_window.showReason(StatusTexts::CannotOpen(m_window.language, name), m_window.PVDiskStatus);
}

void VDiskPane::TB_FormatClick()
{
    if (!usable())
        return;
    const LanguageTable &language = m_window.language;
    if (m_window.services().prompter->ask(language.msg(QStringLiteral("YNFormatVDisk")),
                                          language.msg(QStringLiteral("MsgTitle")), PromptButtons::OkCancel,
                                          PromptIcon::Question) != PromptAnswer::Ok)
        return;
    // The mount thread owns the library while it runs.
    if (m_mounting)
        return;
    // Unmounted, the library may not know the image yet (no attempt so far,
    // or a later change of the install folder): name it, as a mount does.
    if (m_window.VDiskState != 1) {
        QString installPath;
        if (!m_registry->readMachineString(QString::fromUtf8(InstallKey), QStringLiteral("InstallPath"),
                                           &installPath)) {
            ShowNoInstallPath();
            return;
        }
        m_library->SetVdiskFile(imagePath(installPath));
    }
    if (m_library->FormatFileSystem() == 0)
        RefreshVDisk();
    else
        showMountFailure(StatusTexts::FormatFailed(m_window.language));
}

void VDiskPane::shutdown()
{
    if (m_detached.exchange(true))
        return;
    for (const QPointer<TInitVDiskThread> &thread : std::as_const(m_threads)) {
        // An attempt may be waiting for its message box: the pane's posted
        // calls are run here, and being cut off, they show nothing.
        while (thread && !thread->wait(QDeadlineTimer(20)))
            QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    }
    if (m_library)
        m_library->DestoryFileSystem();
}

} // namespace vexo
