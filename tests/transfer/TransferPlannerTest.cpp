// Copy, paste, drags and desktop drops in the real main window, on the
// in-memory clipboard (and Qt's own), the recording device, the image in
// memory and real local files. Device runs are recorded; in a relay the
// recorded run plays the device by writing the files it receives.
#include "transfer/TransferPlanner.h"
#include "MemoryClipboard.h"
#include "MemoryVDiskLibrary.h"
#include "TransferTestSupport.h"
#include "desktop/QtClipboard.h"
#include "device/DevicePane.h"
#include "engine/ClipboardFiles.h"
#include "engine/TransferExecutor.h"
#include "engine/common.h"
#include "local/LocalPane.h"
#include "vdisk/VDiskPane.h"
#include "widgets/CaptionPanel.h"
#include "widgets/FileListView.h"
#include "widgets/FileRowModel.h"

#include <QAbstractItemView>
#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QFileSystemModel>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

using namespace vexo;

namespace
{

struct DeviceRun {
    QStringList sources, destinations;
    TransferDirection direction;
};

// The window with its device runs recorded (or run when realRuns), and its
// refreshes counted instead of carried out.
class PlannerFormMain : public TFormMain
{
public:
    explicit PlannerFormMain(const PlatformServices &services) : TFormMain(services)
    {
        disconnect(this, &TFormMain::rpcRefreshRequested, devicePane, nullptr);
        disconnect(this, &TFormMain::vdiskRefreshRequested, vdiskPane, nullptr);
    }
    QSignalSpy vdiskRefreshes{this, &TFormMain::vdiskRefreshRequested};
    QList<DeviceRun> runs;
    QStringList receiveSkips; // files the played device leaves out
    bool realRuns = false;

    void RunDeviceTransfer(const QStringList &sources, const QStringList &destinations,
                           TransferDirection direction) override
    {
        if (realRuns)
            return TFormMain::RunDeviceTransfer(sources, destinations, direction);
        runs << DeviceRun{sources, destinations, direction};
        for (int i = 0; i < sources.size() && direction == tdReceive; ++i) {
            QFile out(destinations[i]);
            if (!receiveSkips.contains(PathFileName(sources[i])) && out.open(QIODevice::WriteOnly))
                out.write("data of " + PathFileName(sources[i]).toUtf8());
        }
        // A send finds its relay files in place.
        for (int i = 0; i < sources.size() && direction == tdSend; ++i)
            QVERIFY(QFileInfo::exists(sources[i]));
    }
};

const QString NoFolder = QStringLiteral("不支持对设备进行目录拷贝   ");
const QString CopyFailed = QStringLiteral("拷贝文件失败,可能是文件被占用!  ");
const QString Replace = QStringLiteral(" already exists. Do you want to replace it?");
const QString Skipped = QStringLiteral("Only files are copied. These folders were skipped:\n\n");
const QString NotCopied = QStringLiteral("These files were not copied:\n\n");

// The local list fills in the background; its order settles later.
QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

} // namespace

class TransferPlannerTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::ModalWatchdog> m_modals;
    std::unique_ptr<test::TransferFixture> m_fx;
    QString m_pc;
    std::unique_ptr<test::MemoryVDiskLibrary> m_lib;
    test::MemoryClipboard m_clipboard;
    std::unique_ptr<PlannerFormMain> m_w;

    // Device rows A, B, C; image rows X, Y; the local pane in a folder of
    // one.txt, two.txt and sub/.
    void open(Clipboard *clipboard)
    {
        m_w.reset(); // its exit removes the work folder the next window uses
        PlatformServices s{&m_fx->files, &m_fx->paths, &m_fx->prompter, &m_fx->shell, &m_fx->link};
        s.vdisk = m_lib.get();
        s.registry = &m_fx->registry;
        s.clipboard = clipboard;
        m_w = std::make_unique<PlannerFormMain>(s);
        m_w->show();
        QApplication::setActiveWindow(m_w.get());
        QVERIFY(QTest::qWaitForWindowActive(m_w.get()));
        test::TransferFixture::connectDevice(*m_w);
        test::TransferFixture::mountImage(*m_w);
        for (const char *name : {"A.TXT", "B.TXT", "C.TXT"})
            m_w->RpcRows->appendRow({name, "", "", -1});
        for (const char *name : {"X.TXT", "Y.TXT"}) {
            m_w->VDiskRows->appendRow({name, "", "", -1});
            m_lib->addFile(name, QByteArray("image ") + name);
        }
        m_w->PLeft->showFolder(m_pc);
    }
    QString pc(const QString &name) const { return m_fx->pcPath(name); }
    static void select(FileListView *list, const QList<int> &rows)
    {
        list->clearSelection();
        for (int row : rows)
            list->selectionModel()->select(list->indexOfRow(row),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    void selectLocal(const QStringList &wanted)
    {
        QTRY_COMPARE(m_w->ShellList->rowCount(), 3);
        QList<int> rows;
        for (int r = 0; r < 3; ++r) {
            if (wanted.contains(
                    m_w->ShellList->indexOfRow(r).data(QFileSystemModel::FileNameRole).toString()))
                rows << r;
        }
        select(m_w->ShellList, rows);
    }
    QStringList clipboardNames()
    {
        QStringList out;
        ReadClipboardFiles(*m_w->services().clipboard, out);
        return out;
    }
    // A drag from `from` as the lists report it: over its own list first,
    // then ending on `to` (null: outside the lists).
    void drag(FileListView *from, FileListView *to)
    {
        QVERIFY(m_w->transfers->ShellListDragOver(from, from->currentView()));
        m_w->transfers->ShellListEndDrag(from, to);
    }

private slots:
    void init()
    {
        m_modals = std::make_unique<test::ModalWatchdog>();
        m_fx = std::make_unique<test::TransferFixture>();
        m_pc = QFileInfo(m_fx->pcFile("one.txt", "pc one.txt")).path();
        m_fx->pcFile("two.txt", "pc two.txt");
        QVERIFY(QDir().mkpath(m_pc + "/sub"));
        m_lib = std::make_unique<test::MemoryVDiskLibrary>();
        open(&m_clipboard);
    }
    void cleanup()
    {
        m_modals.reset(); // fails the test if it had to close a dialog
        m_w.reset();
        m_fx.reset();
    }

    void copyFollowsTheFocusedList()
    {
        select(m_w->RpcList, {0, 2});
        m_w->RpcList->setFocus();
        QTest::mouseClick(m_w->TB_Copy, Qt::LeftButton);
        QCOMPARE(clipboardNames(), (QStringList{"TVR:\\A.TXT", "TVR:\\C.TXT"}));
        select(m_w->VDiskList, {1});
        QTest::keyRelease(m_w->VDiskList->currentView(), Qt::Key_Control); // the end of Ctrl+C
        QCOMPARE(clipboardNames(), QStringList{"Y.TXT"});
        selectLocal({"one.txt", "two.txt"});
        m_w->ShellList->setFocus();
        QTest::mouseClick(m_w->TB_Copy, Qt::LeftButton);
        QCOMPARE(sorted(clipboardNames()), (QStringList{pc("one.txt"), pc("two.txt")}));

        // A folder goes along; the paste copies the files beside it and
        // names the folder it skipped.
        selectLocal({"one.txt", "sub"});
        QTest::mouseClick(m_w->TB_Copy, Qt::LeftButton);
        QCOMPARE(sorted(clipboardNames()), (QStringList{pc("one.txt"), pc("sub")}));
        QVERIFY(m_fx->prompter.questions().isEmpty());
        m_w->PasteToVDisk();
        QCOMPARE(m_lib->content("one.txt").value_or(""), QByteArray("pc one.txt"));
        QCOMPARE(m_fx->prompter.texts(), QStringList{Skipped + "sub"});
        const int writes = m_clipboard.writes();
        // With none of the lists focused the buttons do nothing.
        m_w->PLeft->ShellComboBox->setFocus();
        QTest::mouseClick(m_w->TB_Copy, Qt::LeftButton);
        QTest::mouseClick(m_w->TB_Paste, Qt::LeftButton);
        QCOMPARE(m_clipboard.writes(), writes);
        QVERIFY(m_w->runs.isEmpty());
    }

    void pasteFollowsTheFirstNamesKind()
    {
        QSignalSpy rereads(m_w->PLeft, &LocalPane::folderChanged);
        WriteClipboardFiles(m_clipboard, {pc("one.txt"), pc("two.txt")});
        m_w->PasteToLocal(); // no copy from the PC to the PC
        m_w->deviceSession().markLost();
        m_w->PasteToDevice(); // disconnected: nothing copied
        QVERIFY(m_w->runs.isEmpty() && rereads.isEmpty());
        test::TransferFixture::connectDevice(*m_w);
        QTest::keyRelease(m_w->RpcList->currentView(), Qt::Key_V);
        QCOMPARE(m_w->runs.size(), 1);
        QCOMPARE(m_w->runs[0].destinations, (QStringList{"one.txt", "two.txt"}));
        QCOMPARE(m_w->runs[0].direction, tdSend);
        m_w->VDiskList->setFocus();
        QTest::mouseClick(m_w->TB_Paste, Qt::LeftButton);
        QCOMPARE(m_lib->content("two.txt").value_or(""), QByteArray("pc two.txt"));
        QCOMPARE(m_w->vdiskRefreshes.size(), 1);

        // Device names come from the device, also when a same-named image
        // file exists; other kinds and names that would leave the folder stay out.
        WriteClipboardFiles(m_clipboard, {"TVR:\\X.TXT", "Y.TXT", "TVR:\\..", "TVR:\\a/b", "TVR:\\C.TXT"});
        m_w->PasteToLocal();
        QCOMPARE(m_w->runs.size(), 2);
        QCOMPARE(m_w->runs[1].sources, (QStringList{"TVR:\\X.TXT", "TVR:\\C.TXT"}));
        QCOMPARE(m_w->runs[1].destinations, (QStringList{pc("X.TXT"), pc("C.TXT")}));
        QCOMPARE(m_w->runs[1].direction, tdReceive);
        QCOMPARE(rereads.size(), 1);
        // Image names come out of the image, into a local folder only.
        WriteClipboardFiles(m_clipboard, {"Y.TXT"});
        m_w->PLeft->showFolder(m_w->PLeft->computerText());
        m_w->PasteToLocal();
        m_w->PLeft->showFolder(m_pc);
        QVERIFY(!QFile::exists(pc("Y.TXT")));
        m_w->PasteToLocal();
        QCOMPARE(m_fx->read(pc("Y.TXT")), QByteArray("image Y.TXT"));
        QVERIFY(m_fx->prompter.questions().isEmpty());
    }

    // A paste that cannot run says why, on the status line and in the
    // pane caption's tool tip.
    void aPasteThatCannotRunSaysWhy_data()
    {
        QTest::addColumn<QString>("pane");
        QTest::addColumn<bool>("available");
        QTest::addColumn<bool>("clipboardFiles");
        QTest::addColumn<QString>("reason");
        const QString empty = QStringLiteral("Cannot paste: there are no files on the clipboard");
        QTest::addRow("device disconnected")
            << "device" << false << true << "Cannot paste: the palmtop is not connected";
        QTest::addRow("image unmounted")
            << "image" << false << true << "Cannot paste: the simulator disk is not mounted";
        QTest::addRow("device, empty clipboard") << "device" << true << false << empty;
        QTest::addRow("image, empty clipboard") << "image" << true << false << empty;
        QTest::addRow("local, empty clipboard") << "local" << true << false << empty;
    }
    void aPasteThatCannotRunSaysWhy()
    {
        QFETCH(QString, pane);
        QFETCH(bool, available);
        QFETCH(bool, clipboardFiles);
        QFETCH(QString, reason);
        if (clipboardFiles)
            WriteClipboardFiles(m_clipboard, {pc("one.txt")});
        else
            m_clipboard.setMimeData(nullptr);
        if (pane == "device" && !available)
            m_w->deviceSession().markLost();
        if (pane == "image" && !available)
            m_w->imageMount().unmount();
        FileListView *list = pane == "device"  ? m_w->RpcList
                             : pane == "image" ? m_w->VDiskList
                                               : m_w->ShellList;
        list->currentView()->setFocus();
        QTRY_VERIFY(list->hasFocusInside());
        QTest::keyRelease(list->currentView(), Qt::Key_V);
        QCOMPARE(m_w->statusText(), reason);
        if (pane != "local")
            QCOMPARE((pane == "device" ? m_w->PRpcStatus : m_w->PVDiskStatus)->toolTip(), reason);
        QVERIFY(m_w->runs.isEmpty());
        // The status timer leaves a reason up long enough to be read.
        m_w->Timer1Timer();
        QCOMPARE(m_w->statusText(), reason);
    }

    void dragsBetweenTheLists()
    {
        QSignalSpy rereads(m_w->PLeft, &LocalPane::folderChanged);
        selectLocal({"one.txt", "sub"});
        drag(m_w->ShellList, m_w->ShellList); // onto itself: nothing
        QVERIFY(m_fx->prompter.questions().isEmpty() && rereads.isEmpty());
        // Ending outside the lists (as the list reports it): no copy, nothing
        // skipped to tell of, a re-read.
        emit m_w->ShellList->dragFinished(Qt::IgnoreAction);
        QTRY_COMPARE(rereads.size(), 1);
        QVERIFY(m_fx->prompter.questions().isEmpty());

        // Onto the image: the file goes, the folder is named.
        selectLocal({"one.txt", "sub"});
        drag(m_w->ShellList, m_w->VDiskList);
        QCOMPARE(m_lib->content("one.txt").value_or(""), QByteArray("pc one.txt"));
        QCOMPARE(m_fx->prompter.texts(), QStringList{Skipped + "sub"});
        QCOMPARE(m_w->vdiskRefreshes.size(), 1);
        QCOMPARE(rereads.size(), 2);

        select(m_w->RpcList, {1});
        m_w->PLeft->showFolder(m_w->PLeft->computerText());
        drag(m_w->RpcList, m_w->ShellList); // no local folder: nothing
        QVERIFY(m_w->runs.isEmpty());
        m_w->PLeft->showFolder(m_pc);
        drag(m_w->RpcList, m_w->ShellList);
        QCOMPARE(m_w->runs.size(), 1);
        QCOMPARE(m_w->runs[0].destinations, QStringList{pc("B.TXT")});

        // Image rows to the device through the relay, gone afterwards.
        select(m_w->VDiskList, {0, 1});
        drag(m_w->VDiskList, m_w->RpcList);
        QCOMPARE(m_w->runs.size(), 2);
        const QString relay = m_w->transferExecutor().relayFolder();
        QCOMPARE(m_w->runs[1].sources, (QStringList{relay + "/X.TXT", relay + "/Y.TXT"}));
        QCOMPARE(m_w->runs[1].destinations, (QStringList{"X.TXT", "Y.TXT"}));
        QVERIFY(!QFileInfo::exists(relay));
        m_w->imageMount().unmount();
        drag(m_w->RpcList, m_w->VDiskList); // not onto an unmounted image
        QCOMPARE(m_w->runs.size(), 2);
    }

    void desktopDropsReplaceTheClipboardAndPaste()
    {
        WriteClipboardFiles(m_clipboard, {"X.TXT"});
        // As the list reports a drag from another program; true when dropped.
        auto dropOn = [](FileListView *list, const QList<QUrl> &urls) {
            QMimeData data;
            data.setUrls(urls);
            QDragMoveEvent over(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
            over.ignore();
            emit list->dragOver(&over, {});
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
            drop.ignore();
            if (over.isAccepted())
                emit list->dropped(&drop, {});
            QTest::qWait(20);
            return drop.isAccepted();
        };
        const QUrl one = QUrl::fromLocalFile(pc("one.txt"));
        QVERIFY(!dropOn(m_w->ShellList, {one}));
        // A missing file: the message, nothing copied, the clipboard kept.
        QVERIFY(dropOn(m_w->VDiskList, {one, QUrl::fromLocalFile(pc("gone.txt"))}));
        QCOMPARE(m_fx->prompter.texts(), QStringList{NoFolder});
        QCOMPARE(clipboardNames(), QStringList{"X.TXT"});
        QVERIFY(!m_lib->content("one.txt"));
        // A folder: the files beside it go, the folder is named.
        QVERIFY(dropOn(m_w->RpcList, {one, QUrl::fromLocalFile(pc("sub"))}));
        QCOMPARE(m_w->runs.size(), 1);
        QCOMPARE(m_w->runs[0].sources, QStringList{pc("one.txt")});
        QCOMPARE(m_fx->prompter.texts(), (QStringList{NoFolder, Skipped + "sub"}));

        QVERIFY(dropOn(m_w->VDiskList, {one}));
        QCOMPARE(clipboardNames(), QStringList{pc("one.txt")});
        QCOMPARE(m_lib->content("one.txt").value_or(""), QByteArray("pc one.txt"));
        // Onto the device, through the real progress window and worker.
        m_w->realRuns = true;
        QVERIFY(dropOn(m_w->RpcList, {one}));
        QCOMPARE(m_fx->link.calls("RequestSendFileEx"),
                 QStringList{QStringLiteral("RequestSendFileEx(101,%1,one.txt,1)").arg(pc("one.txt"))});
        // A folder left out and a file that fails: one box at the end names both.
        const qsizetype told = m_fx->prompter.texts().size();
        m_fx->link.script("RequestSendFileEx", -9);
        QVERIFY(dropOn(m_w->RpcList, {QUrl::fromLocalFile(pc("two.txt")), QUrl::fromLocalFile(pc("sub"))}));
        QTRY_COMPARE(m_fx->prompter.texts().size(), told + 1);
        const QString box = m_fx->prompter.texts().last();
        QVERIFY2(box.startsWith(Skipped + "sub\n\n") && box.contains("two.txt"), qPrintable(box));

        // Into the image as well: the folder, then the name too long there.
        const QString tooLong = QStringLiteral("a name too long for the image.txt");
        const QString refused = NotCopied + tooLong + ": the name is longer than 17 bytes";
        m_fx->pcFile(tooLong, "long");
        QVERIFY(dropOn(m_w->VDiskList, {QUrl::fromLocalFile(pc(tooLong)), QUrl::fromLocalFile(pc("sub"))}));
        QCOMPARE(m_fx->prompter.texts().mid(told + 1), QStringList{Skipped + "sub\n\n" + refused});
        // From the device through the relay: what the device stage failed and
        // what the image refused, in one list.
        m_fx->link.setFiles({{tooLong, 0, 4}});
        WriteClipboardFiles(m_clipboard, {"TVR:\\GONE.TXT", "TVR:\\" + tooLong});
        m_w->PasteToVDisk();
        QTRY_COMPARE(m_fx->prompter.texts().size(), told + 3);
        const QString relayed = m_fx->prompter.texts().last();
        QVERIFY2(relayed.startsWith(NotCopied + "GONE.TXT: ") &&
                     relayed.endsWith(refused.mid(NotCopied.size())),
                 qPrintable(relayed));
        // The other way: a file the image cannot give up is told at once;
        // the run's notes wait with the relay for what the device failed.
        m_lib->addFile("TO.TXT", "to");
        m_fx->link.script("RequestSendFileEx", -9);
        m_w->transferContext().window.setRunNotes(Skipped + "sub");
        WriteClipboardFiles(m_clipboard, {"GONE.TXT", "TO.TXT"});
        m_w->PasteToDevice();
        QTRY_COMPARE(m_fx->prompter.texts().size(), told + 5);
        const QString sent = m_fx->prompter.texts().last();
        QVERIFY2(sent.startsWith(Skipped + "sub\n\n" + NotCopied + "TO.TXT: "), qPrintable(sent));
        QTest::qWait(50);
        QCOMPARE(m_fx->prompter.texts().size(), told + 5);
    }

    void imageCopiesAskAndReport()
    {
        m_lib->addFile("two.txt", "old two");
        bool busyWhileAsked = false;
        m_fx->prompter.onAsk = [&] { busyWhileAsked = !m_w->OpIdle && QGuiApplication::overrideCursor(); };
        m_fx->prompter.answer(PromptAnswer::No);
        m_w->transferExecutor().RunVDiskCopy({pc("one.txt"), pc("two.txt")}, {"one.txt", "two.txt"});
        QVERIFY(busyWhileAsked);
        QVERIFY(m_w->OpIdle && !QGuiApplication::overrideCursor());
        QCOMPARE(m_fx->prompter.texts().size(), 1);
        QVERIFY(
            m_fx->prompter.texts().at(0).startsWith("two.txt" + Replace + "\n\nExisting file: 7 bytes, "));
        QCOMPARE(m_lib->content("one.txt").value_or(""), QByteArray("pc one.txt"));
        QCOMPARE(m_lib->content("two.txt").value_or(""), QByteArray("old two"));
        // No for the last file: no success claimed.
        QCOMPARE(m_w->statusText(), QStringLiteral("Copying two.txt...  File 2 of 2"));

        // Cancel ends the list.
        m_fx->prompter.answer(PromptAnswer::Cancel);
        m_w->transferExecutor().RunVDiskCopy({pc("two.txt"), pc("one.txt")}, {"X.TXT", "new.txt"});
        QVERIFY(!m_lib->content("new.txt"));
    }

    // The second stage takes the pairs the first stage brought: one it left
    // out was reported there and is not failed again; a file an earlier
    // relay left behind is never relayed.
    void aRelayGoesOnWhenItsFirstStageSkipsAFile()
    {
        const QString relay = m_w->transferExecutor().relayFolder();
        QFile stale(relay + "/B.TXT");
        QVERIFY(QDir().mkpath(relay) && stale.open(QIODevice::WriteOnly) && stale.write("stale") > 0);
        stale.close();
        m_w->receiveSkips = {"B.TXT"};
        WriteClipboardFiles(m_clipboard, {"TVR:\\A.TXT", "TVR:\\B.TXT"});
        m_w->PasteToVDisk();
        QCOMPARE(m_w->runs.size(), 1);
        QCOMPARE(m_w->runs[0].destinations, (QStringList{relay + "/A.TXT", relay + "/B.TXT"}));
        QCOMPARE(m_lib->content("A.TXT").value_or(""), QByteArray("data of A.TXT"));
        QVERIFY(!m_lib->content("B.TXT"));
        QVERIFY(m_fx->prompter.texts().isEmpty());
        QVERIFY(m_w->OpIdle && !QFileInfo::exists(relay));
        QCOMPARE(m_w->vdiskRefreshes.size(), 1);
    }

    // What a desktop file manager sees of our Copy, and its files in our panes.
    void interopThroughQtsClipboard()
    {
        QtClipboard qtClipboard;
        open(&qtClipboard);
        QClipboard *clipboard = QGuiApplication::clipboard();
        selectLocal({"one.txt", "two.txt"});
        m_w->CopyLocalToClipboard();
        QStringList urls;
        for (const QUrl &url : clipboard->mimeData()->urls())
            urls << url.toString();
        QCOMPARE(sorted(urls), (QStringList{"file://" + pc("one.txt"), "file://" + pc("two.txt")}));
        select(m_w->RpcList, {0, 1, 2});
        m_w->CopyDeviceToClipboard();
        QCOMPARE(clipboard->text(), QStringLiteral("A.TXT\nB.TXT\nC.TXT"));

        auto *other = new QMimeData;
        other->setUrls({QUrl::fromLocalFile(pc("two.txt"))});
        clipboard->setMimeData(other);
        m_w->PasteToDevice();
        QCOMPARE(m_w->runs.size(), 1);
        QCOMPARE(m_w->runs[0].sources, QStringList{pc("two.txt")});
        m_w.reset();
    }
};

QTEST_MAIN(TransferPlannerTest)
#include "TransferPlannerTest.moc"
