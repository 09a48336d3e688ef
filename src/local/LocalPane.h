#pragma once

#include "widgets/MimeIconProvider.h"

#include <QWidget>

class QComboBox;
class QFrame;
class QModelIndex;
class QStandardItemModel;
class QToolButton;

namespace vexo
{

class DesktopShell;
class LocalFileModel;
class FileListView;
class LanguageTable;
class Prompter;

// The local pane: the PC's own files under a "computer" top level that lists
// the file-system root, the user's home folder and mounted volumes. Up never
// leaves the top level; the pane's commands act only in local folders.
class LocalPane : public QWidget
{
    Q_OBJECT
public:
    // The path text of the top level, as the folder box shows it (the
    // language's name for the computer).
    QString computerText() const;

    LocalPane(Prompter &prompter, DesktopShell &shell, const LanguageTable &language,
              QWidget *parent = nullptr);
    ~LocalPane() override;

    // The current folder as the folder box reports it: an absolute path, or
    // computerText() at the top level.
    QString currentPathText() const;
    // Shows a folder; an empty path or computerText() shows the top level.
    void showFolder(const QString &path);
    // Reads the current folder again.
    void reread();
    // Places the header's buttons and folder box against the splitter at x
    // (in this pane's coordinates).
    void LayoutShellHeader(int splitterLeft);
    // The full paths of the selected entries, top to bottom.
    QStringList selectedPaths() const;

    // Delete with its checks: a local folder, a selection, the question.
    void deleteSelection();
    // Enter or double-click on an entry: a folder is shown, a file opened
    // with its program.
    void onActivated(const QModelIndex &index);

    // Tool tips, column titles and the top level's name in the current
    // language of the table given at construction.
    void applyLanguage();

    FileListView *ShellList = nullptr;
    QComboBox *ShellComboBox = nullptr;
    QToolButton *butShellUp = nullptr;
    QToolButton *butShellNewFolder = nullptr;
    QFrame *PShellStatus = nullptr;

public slots:
    void butShellUpClick();
    void butShellNewFolderClick();
    void ShellComboBoxKeyUp(int key);
    void ShellListKeyUp(int key);

signals:
    // The list's Ctrl release and V release: clipboard copy and paste.
    void copyRequested();
    void pasteRequested();
    // The folder shown changed (path text as currentPathText()).
    void folderChanged(const QString &pathText);
    // The folder shown has been read in full and sorted (also for the top
    // level); emitted once per folder shown or re-read.
    void folderListed();
    // Why a command did nothing, for the status line.
    void statusMessage(const QString &text);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    bool ConfirmDelete();
    void DeleteLocalSelection();
    void onEdited(int row, const QString &oldText, const QString &newText, bool *accept);
    QString pathOfRow(int row) const;
    QStringList columnTitles() const;
    bool isFolderRow(int row) const;
    void fillComputer();
    void fillComboBox();
    void attachFileSystemModel();

    Prompter &m_prompter;
    DesktopShell &m_shell;
    const LanguageTable &m_language;
    MimeIconProvider m_icons;
    LocalFileModel *m_fs = nullptr;
    QStandardItemModel *m_computer = nullptr;
    QString m_folder; // empty at the top level
};

} // namespace vexo
