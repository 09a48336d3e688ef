// Copy, paste, drags and desktop drops in the real main window, on the
// in-memory clipboard (and on Qt's own), the recording device, the image in
// memory and a local folder of real files. Device runs are recorded; the
// device stage of a relay plays the device by writing what it receives.
#include "transfer/TransferPlanner.h"
#include "FakeDesktopShell.h"
#include "FakeSystemPaths.h"
#include "MemoryClipboard.h"
#include "MemoryProfileFiles.h"
#include "MemoryVDiskLibrary.h"
#include "RecordingDeviceLink.h"
#include "ScriptedPrompter.h"
#include "app/LocalPane.h"
#include "app/common.h"
#include "app/main.h"
#include "platform/QtClipboard.h"
#include "transfer/ClipboardFiles.h"
#include "widgets/FileListView.h"
#include "widgets/FileRowModel.h"

#include <QAbstractItemView>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <functional>
#include <memory>

using namespace vexo;

namespace
{

struct DeviceRun {
    QStringList sources;
    QStringList destinations;
    TransferDirection direction;
    QList<bool> sourcesPresent; // of a send, when it started
};

class PlannerFormMain : public TFormMain
{
public:
    using TFormMain::TFormMain;
    QList<DeviceRun> runs;
    QStringList receiveSkips; // files the played device run leaves out
    bool realRuns = false;
    int vdiskRefreshes = 0;

    void RunDeviceTransfer(const QStringList &sources, const QStringList &destinations,
                           TransferDirection direction) override
    {
        if (realRuns) {
            TFormMain::RunDeviceTransfer(sources, destinations, direction);
            return;
        }
        DeviceRun run{sources, destinations, direction, {}};
        for (int i = 0; i < sources.size(); ++i) {
            run.sourcesPresent << QFileInfo::exists(sources[i]);
            const QString name = PathFileName(sources[i]);
            QFile out(destinations[i]);
            if (direction == tdReceive && !receiveSkips.contains(name) && out.open(QIODevice::WriteOnly))
                out.write("data of " + name.toUtf8());
        }
        runs << run;
    }
    void RefreshVDisk() override { ++vdiskRefreshes; }
    void RefreshRpc() override {}
};

class HookedPrompter : public test::ScriptedPrompter
{
public:
    std::function<void()> onAsk;
    PromptAnswer ask(const QString &text, const QString &title, PromptButtons buttons,
                     PromptIcon icon) override
    {
        if (onAsk)
            onAsk();
        return ScriptedPrompter::ask(text, title, buttons, icon);
    }
};

const QString NoFolder = TransferPlanner::noFolderCopyText();
const QString CopyFailed = QStringLiteral("拷贝文件失败,可能是文件被占用!  ");

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The local list fills in the background; its order settles later.
QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

QStringList names(const QStringList &paths)
{
    QStringList out;
    for (const QString &p : paths)
        out << PathFileName(p);
    return out;
}

} // namespace

class TransferPlannerTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_pc;
    test::MemoryProfileFiles m_files;
    std::unique_ptr<test::FakeSystemPaths> m_paths;
    HookedPrompter m_prompter;
    test::FakeDesktopShell m_shell;
    test::RecordingDeviceLink m_link;
    std::unique_ptr<test::MemoryVDiskLibrary> m_lib;
    test::MemoryClipboard m_clipboard;
    QtClipboard m_qtClipboard;
    std::unique_ptr<PlannerFormMain> m_w;

    void open(Clipboard *clipboard)
    {
        m_w.reset(); // its exit removes the work folder the next window uses
        PlatformServices s{&m_files, m_paths.get(), &m_prompter, &m_shell, &m_link};
        s.vdisk = m_lib.get();
        s.clipboard = clipboard;
        m_w = std::make_unique<PlannerFormMain>(s);
        m_w->resize(1000, 700);
        m_w->show();
        QApplication::setActiveWindow(m_w.get());
        QVERIFY(QTest::qWaitForWindowActive(m_w.get()));
        m_w->RpcConnected = true;
        m_w->RpcClient = 101;
        m_lib->InitFileSystem();
        m_w->VDiskState = 1;
        for (const char *name : {"A.TXT", "B.TXT", "C.TXT"})
            m_w->RpcRows->appendRow({name, "1 B", "", -1});
        for (const char *name : {"X.TXT", "Y.TXT"}) {
            m_w->VDiskRows->appendRow({name, "1 B", "", -1});
            m_lib->addFile(name, QByteArray("image ") + name);
        }
        m_w->PLeft->showFolder(m_pc);
        QTRY_COMPARE(m_w->ShellList->rowCount(), 3);
    }
    QString pc(const QString &name) const { return m_pc + "/" + name; }
    static void select(FileListView *list, const QList<int> &rows)
    {
        list->clearSelection();
        for (int row : rows)
            list->selectionModel()->select(list->indexOfRow(row),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    void selectLocal(const QStringList &wanted)
    {
        // A re-read folder fills in the background.
        QTRY_COMPARE(m_w->ShellList->rowCount(), 3);
        QList<int> rows;
        for (int r = 0; r < m_w->ShellList->rowCount(); ++r) {
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
    // Starts a drag from `from` the way the lists do, ending on `to` (null: outside).
    void drag(FileListView *from, FileListView *to)
    {
        QVERIFY(m_w->transfers->ShellListDragOver(from, from->currentView()));
        m_w->transfers->ShellListEndDrag(from, to);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_pc = m_dir->filePath("pc");
        QVERIFY(QDir().mkpath(m_pc + "/sub") && QDir().mkpath(m_dir->filePath("tmp")));
        for (const char *name : {"one.txt", "two.txt"}) {
            QFile f(pc(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray("pc ") + name);
        }
        m_files.setContent(m_dir->filePath("VexoFile.ini"), "[Setting]\nAutoRpc=0\nAutoVDisk=0\n");
        m_paths = std::make_unique<test::FakeSystemPaths>(m_dir->path() + "/", m_dir->filePath("tmp") + "/");
        m_prompter = HookedPrompter();
        m_lib = std::make_unique<test::MemoryVDiskLibrary>();
        m_clipboard.setMimeData(nullptr);
        open(&m_clipboard);
    }
    void cleanup() { m_w.reset(); }

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

        // A folder in the selection: the message, and the clipboard as it was.
        const int writes = m_clipboard.writes();
        selectLocal({"one.txt", "sub"});
        QTest::mouseClick(m_w->TB_Copy, Qt::LeftButton);
        QCOMPARE(m_prompter.texts(), QStringList{NoFolder});
        QCOMPARE(m_clipboard.writes(), writes);

        // With none of the lists focused the buttons do nothing.
        m_w->PLeft->ShellComboBox->setFocus();
        select(m_w->RpcList, {1});
        QTest::mouseClick(m_w->TB_Copy, Qt::LeftButton);
        QTest::mouseClick(m_w->TB_Paste, Qt::LeftButton);
        QCOMPARE(m_clipboard.writes(), writes);
        QVERIFY(m_w->runs.isEmpty());
    }

    void pasteFollowsTheFirstNamesKind()
    {
        QSignalSpy rereads(m_w->PLeft, &LocalPane::folderChanged);
        WriteClipboardFiles(m_clipboard, {pc("one.txt"), pc("two.txt")});
        // No copy from the PC to the PC.
        m_w->ShellList->setFocus();
        QTest::mouseClick(m_w->TB_Paste, Qt::LeftButton);
        QVERIFY(m_w->runs.isEmpty() && rereads.isEmpty());
        // Disconnected: nothing, and nothing said.
        m_w->RpcConnected = false;
        m_w->PasteToDevice();
        QVERIFY(m_w->runs.isEmpty());
        m_w->RpcConnected = true;
        m_w->RpcList->setFocus();
        QTest::keyRelease(m_w->RpcList->currentView(), Qt::Key_V);
        QCOMPARE(m_w->runs.size(), 1);
        QCOMPARE(m_w->runs[0].sources, (QStringList{pc("one.txt"), pc("two.txt")}));
        QCOMPARE(m_w->runs[0].destinations, (QStringList{"one.txt", "two.txt"}));
        QCOMPARE(m_w->runs[0].direction, tdSend);
        m_w->VDiskList->setFocus();
        QTest::mouseClick(m_w->TB_Paste, Qt::LeftButton);
        QCOMPARE(m_lib->content("two.txt").value_or(""), QByteArray("pc two.txt"));
        QCOMPARE(m_w->vdiskRefreshes, 1);

        // Device names go to the PC from the device; the image name and the
        // name that would leave the folder are left out.
        WriteClipboardFiles(m_clipboard, {"TVR:\\A.TXT", "X.TXT", "TVR:\\..", "TVR:\\C.TXT"});
        m_w->PasteToLocal();
        QCOMPARE(m_w->runs.size(), 2);
        QCOMPARE(m_w->runs[1].sources, (QStringList{"TVR:\\A.TXT", "TVR:\\C.TXT"}));
        QCOMPARE(m_w->runs[1].destinations, (QStringList{pc("A.TXT"), pc("C.TXT")}));
        QCOMPARE(m_w->runs[1].direction, tdReceive);
        QCOMPARE(rereads.size(), 1);
        // Image names come out of the image; not while the pane shows no local folder.
        WriteClipboardFiles(m_clipboard, {"X.TXT"});
        m_w->PLeft->showFolder(LocalPane::computerText());
        m_w->PasteToLocal();
        QVERIFY(!QFile::exists(pc("X.TXT")));
        m_w->PLeft->showFolder(m_pc);
        m_w->PasteToLocal();
        QCOMPARE(readFile(pc("X.TXT")), QByteArray("image X.TXT"));
        QVERIFY(m_prompter.questions().isEmpty());
    }

    void dragsBetweenTheLists()
    {
        QSignalSpy rereads(m_w->PLeft, &LocalPane::folderChanged);
        // Onto its own list: nothing, not even the folder message.
        selectLocal({"one.txt", "sub"});
        drag(m_w->ShellList, m_w->ShellList);
        QVERIFY(m_prompter.questions().isEmpty() && rereads.isEmpty());
        // Ending outside the lists: no copy, but the message and a re-read.
        drag(m_w->ShellList, nullptr);
        QCOMPARE(m_prompter.texts(), QStringList{NoFolder});
        QCOMPARE(rereads.size(), 1);

        selectLocal({"one.txt"});
        drag(m_w->ShellList, m_w->VDiskList);
        QCOMPARE(m_lib->content("one.txt").value_or(""), QByteArray("pc one.txt"));
        QCOMPARE(m_w->vdiskRefreshes, 1);
        QCOMPARE(rereads.size(), 2);

        // Device rows to a pane that shows no local folder: nothing.
        select(m_w->RpcList, {1});
        m_w->PLeft->showFolder(LocalPane::computerText());
        drag(m_w->RpcList, m_w->ShellList);
        QVERIFY(m_w->runs.isEmpty());
        m_w->PLeft->showFolder(m_pc);
        drag(m_w->RpcList, m_w->ShellList);
        QCOMPARE(m_w->runs.size(), 1);
        QCOMPARE(m_w->runs[0].destinations, QStringList{pc("B.TXT")});

        // Image rows to the device through the relay, which is gone afterwards.
        select(m_w->VDiskList, {0, 1});
        drag(m_w->VDiskList, m_w->RpcList);
        QCOMPARE(m_w->runs.size(), 2);
        const DeviceRun &relay = m_w->runs[1];
        QCOMPARE(names(relay.sources), (QStringList{"X.TXT", "Y.TXT"}));
        QCOMPARE(relay.sourcesPresent, (QList<bool>{true, true}));
        QCOMPARE(relay.destinations, (QStringList{"X.TXT", "Y.TXT"}));
        QCOMPARE(relay.direction, tdSend);
        QVERIFY(!QFileInfo::exists(m_w->transfers->relayFolder()));
        // Not onto an image that is not mounted.
        m_w->VDiskState = 0;
        drag(m_w->RpcList, m_w->VDiskList);
        QCOMPARE(m_w->runs.size(), 2);
    }

    void desktopDropsReplaceTheClipboardAndPaste()
    {
        WriteClipboardFiles(m_clipboard, {"X.TXT"});
        auto dropOn = [](FileListView *list, const QList<QUrl> &urls) {
            QMimeData data;
            data.setUrls(urls);
            QDragMoveEvent over(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
            over.ignore();
            emit list->dragOver(&over, {});
            if (!over.isAccepted())
                return false;
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
            drop.ignore();
            emit list->dropped(&drop, {});
            QTest::qWait(20);
            return drop.isAccepted();
        };
        const QUrl one = QUrl::fromLocalFile(pc("one.txt")), sub = QUrl::fromLocalFile(pc("sub")),
                   missing = QUrl::fromLocalFile(pc("gone.txt"));
        QVERIFY(!dropOn(m_w->ShellList, {one}));
        // A folder or a missing file: the message, nothing copied, the clipboard kept.
        for (const QUrl &bad : {sub, missing}) {
            QVERIFY(dropOn(m_w->RpcList, {one, bad}));
            QCOMPARE(m_prompter.texts().takeLast(), NoFolder);
        }
        QCOMPARE(clipboardNames(), QStringList{"X.TXT"});
        QVERIFY(m_w->runs.isEmpty());

        QVERIFY(dropOn(m_w->VDiskList, {one}));
        QCOMPARE(clipboardNames(), QStringList{pc("one.txt")});
        QCOMPARE(m_lib->content("one.txt").value_or(""), QByteArray("pc one.txt"));

        // Onto the device, through the real progress window and worker.
        m_w->realRuns = true;
        QVERIFY(dropOn(m_w->RpcList, {one}));
        QTRY_COMPARE(m_link.calls("RequestSendFileEx"),
                     QStringList{QStringLiteral("RequestSendFileEx(101,%1,one.txt,1)").arg(pc("one.txt"))});
    }

    // Busy while it copies, asks about existing files, and claims success
    // only when the last pair was copied.
    void imageCopiesAskAndReport()
    {
        m_lib->addFile("two.txt", "old two");
        bool busyWhileAsked = false;
        m_prompter.onAsk = [&] {
            busyWhileAsked = !m_w->OpIdle && QGuiApplication::overrideCursor() != nullptr;
        };
        m_prompter.answer(PromptAnswer::No);
        m_w->transfers->RunVDiskCopy({pc("one.txt"), pc("two.txt")}, {"one.txt", "two.txt"});
        QVERIFY(busyWhileAsked);
        QVERIFY(m_w->OpIdle && !QGuiApplication::overrideCursor());
        QCOMPARE(m_prompter.texts(),
                 QStringList{"two.txtalready contains.Would you like to replace this file?"});
        QCOMPARE(m_prompter.questions()[0].buttons, PromptButtons::YesNoCancel);
        QCOMPARE(m_lib->content("one.txt").value_or(""), QByteArray("pc one.txt"));
        QCOMPARE(m_lib->content("two.txt").value_or(""), QByteArray("old two"));
        QCOMPARE(m_w->statusText(), QStringLiteral("Copying...two.txt"));

        // Yes replaces; a failed file is reported and the next one follows.
        m_lib->failOpen("one.txt");
        for (PromptAnswer a : {PromptAnswer::Yes, PromptAnswer::Ok, PromptAnswer::Yes})
            m_prompter.answer(a);
        m_w->transfers->RunVDiskCopy({pc("one.txt"), pc("two.txt")}, {"one.txt", "two.txt"});
        QCOMPARE(m_prompter.texts().mid(1),
                 (QStringList{"one.txtalready contains.Would you like to replace this file?", CopyFailed,
                              "two.txtalready contains.Would you like to replace this file?"}));
        QCOMPARE(m_lib->content("two.txt").value_or(""), QByteArray("pc two.txt"));
        QCOMPARE(m_w->statusText(), QStringLiteral("CopySuccess"));
        // Cancel ends the list.
        m_prompter.answer(PromptAnswer::Cancel);
        m_w->transfers->RunVDiskCopy({pc("two.txt"), pc("one.txt")}, {"X.TXT", "new.txt"});
        QVERIFY(!m_lib->content("new.txt"));
    }

    // The second stage takes every pair, also one the first stage left out;
    // a file left in the relay folder by an earlier run is never relayed.
    void aRelayGoesOnWhenItsFirstStageSkipsAFile()
    {
        const QString relay = m_w->transfers->relayFolder();
        QVERIFY(QDir().mkpath(relay));
        QFile stale(relay + "/B.TXT");
        QVERIFY(stale.open(QIODevice::WriteOnly) && stale.write("stale") > 0);
        stale.close();
        m_w->receiveSkips = {"B.TXT"};
        bool idleInTheDeviceStage = true;
        m_prompter.onAsk = [&] { idleInTheDeviceStage = m_w->OpIdle; };
        WriteClipboardFiles(m_clipboard, {"TVR:\\A.TXT", "TVR:\\B.TXT"});
        m_w->PasteToVDisk();
        QCOMPARE(m_w->runs.size(), 1);
        QCOMPARE(m_w->runs[0].sources, (QStringList{"TVR:\\A.TXT", "TVR:\\B.TXT"}));
        QCOMPARE(m_w->runs[0].destinations, (QStringList{relay + "/A.TXT", relay + "/B.TXT"}));
        QCOMPARE(m_lib->content("A.TXT").value_or(""), QByteArray("data of A.TXT"));
        QVERIFY(!m_lib->content("B.TXT"));
        QCOMPARE(m_prompter.texts(), QStringList{CopyFailed});
        QVERIFY(!idleInTheDeviceStage);
        QVERIFY(!QFileInfo::exists(relay));
        QVERIFY(m_w->OpIdle);
        QCOMPARE(m_w->vdiskRefreshes, 1);
    }

    // What a desktop file manager sees of our Copy, and its files in our panes.
    void interopThroughQtsClipboard()
    {
        open(&m_qtClipboard);
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
        QCOMPARE(m_w->runs[0].destinations, QStringList{"two.txt"});
    }
};

QTEST_MAIN(TransferPlannerTest)
#include "TransferPlannerTest.moc"
