#pragma once

#include "engine/ImageWatch.h"
#include "engine/PaneContext.h"
#include "engine/VDiskListing.h"
#include "widgets/ShellIconList.h"

#include <QList>
#include <QModelIndex>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <memory>

class QAbstractButton;

namespace vexo
{

class CaptionPanel;
class FileListView;
class FileRowModel;
class ImageMount;
class TInitVDiskThread;
class VDiskLibrary;

// The image pane's commands on the simulator's disk image: mounting on a
// thread, listing, refresh, unmount, keys, open, delete, rename and format.
//
// The image mount holds the state and owns the library while a mount runs;
// the pane shows it. The pane works only when the mount has the image
// library and the registry; without them every command leaves the pane as
// it is.
class VDiskPane : public QObject
{
    Q_OBJECT
public:
    // What the caption says after the pane's name.
    enum State { Connecting, Connected, Failed, Disconnected };
    // The window's controls the pane works on.
    struct View {
        FileListView &list;
        FileRowModel &rows;
        CaptionPanel &caption;
        QAbstractButton &toggle; // the toolbar's mount button
    };

    VDiskPane(const PaneContext &context, std::shared_ptr<ImageMount> mount, const View &view,
              QObject *parent);
    ~VDiskPane() override;

    // Starts a mount attempt on a TInitVDiskThread. A request while an
    // attempt runs is ignored. False when the thread could not be started.
    bool startMount();
    // Whether the window runs none of its own operations (a copy into or
    // out of the image); until then a change by another program waits.
    void setIdleCheck(std::function<bool()> idle) { m_idle = std::move(idle); }
    // Lists the image again on this thread when mounted, else starts a mount.
    void RefreshVDisk();
    // Unmounts (also when nothing is mounted): library released, state 0,
    // button released, caption "DisConnect", list emptied. Asked for while an
    // attempt runs, it is carried out when the attempt has ended.
    void DisconnectVDisk();
    // Rebuilds the list from the mounted image on this thread, keeping the
    // selection and the current row where their names are still listed.
    void ListVDisk();
    // The toolbar Delete while the image list has the focus: asks first, and
    // only when a row is selected.
    void DeleteVDiskFiles();
    // Deletes the selected files; rows the library deleted leave the list.
    // The library's answer for the last file tried, 0 when none was.
    int DeleteSelectedVDiskFiles();
    // Asks, formats the image (mounted or not) and, when that worked,
    // refreshes (which mounts an unmounted image).
    void TB_FormatClick();
    // The message shown when the registry key cannot be opened.
    void ShowNoInstallPath();
    // At exit: no running attempt touches the window any more, and the image
    // is released once it has ended.
    void shutdown();

    // TempDir + "/VDisk"; empty without a work folder.
    QString placeholderFolder() const;
    // True while a mount attempt has not yet reported its end.
    bool mountRunning() const;

    // The caption again in the window's current language.
    void applyLanguage();
    // The longest image name, in CP936 bytes.
    static constexpr int MaxNameBytes = 17;
    // Why the image would refuse `name` as a file name (length and
    // characters only); empty when it may be tried.
    static QString renameProblem(const LanguageTable &language, const QString &name);

signals:
    // Ctrl released in the list: the selected names go to the clipboard.
    void copyRequested();
    // V released in the list: paste into the image.
    void pasteRequested();

public slots:
    void VDiskListKeyUp(int key, Qt::KeyboardModifiers modifiers);
    // Copies the one selected file to the work folder and opens it.
    void VDiskListDblClick(const QModelIndex &index);
    // Renames in the image; the row keeps its old name unless the library
    // answers 1, and the reason (too long, bad characters, name taken) is shown.
    void VDiskListEdited(int row, const QString &oldText, const QString &newText, bool *accept);

private:
    // Captions of the selected rows, top down.
    QStringList selectedNames() const;
    bool usable() const;
    void showState(State state);
    void showListing(const QVector<vexo::VDiskEntry> &entries);
    // Reads the image's free space (no disk access: the library keeps it)
    // and shows it in the caption.
    void showFreeSpace();
    void showMountFailure(const QString &text);
    // Shows why the image refused a change when another program has it;
    // false when that was not the reason.
    bool showRefusal(VDiskLibrary &library);
    void mountFailed(const QString &why);
    void mountEnded();
    // Nothing of ours works on the image or its list: it may be listed again.
    bool quiet() const;
    // Another program changed the image: list it again, or mount it again
    // when the file was replaced or cannot be read as it is.
    void followImage();

    const PaneContext m_context;
    const std::shared_ptr<ImageMount> m_mount;
    const View m_view;
    ShellIconList m_icons;
    // Attempts started; each deletes itself when finished. An attempt that
    // has reported its end may still be returning when the next one starts.
    QList<QPointer<TInitVDiskThread>> m_threads;
    State m_state = Disconnected;
    // The image's free and total bytes for the caption; free -1 when unknown.
    qint64 m_freeBytes = -1;
    qint64 m_totalBytes = 0;
    bool m_shutDown = false;
    std::function<bool()> m_idle;
    // From a mount that worked until the user unmounts.
    ImageWatch m_watch;
};

} // namespace vexo
