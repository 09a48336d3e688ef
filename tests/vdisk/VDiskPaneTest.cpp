#include "vdisk/VDiskPane.h"
#include "MemoryRegistry.h"
#include "MemoryVDiskLibrary.h"
#include "WindowTestSupport.h"
#include "app/main.h"
#include "engine/FileListRow.h"
#include "engine/ImageMount.h"
#include "widgets/CaptionPanel.h"
#include "widgets/FileListView.h"
#include "widgets/FileRowModel.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeView>

#include <chrono>
#include <memory>
#include <thread>

using namespace vexo;

namespace
{

const QString Key = QStringLiteral("\\Software\\Tavrin\\VexoTools\\2");
const QString Caption = QStringLiteral("Simulator Disk Filelist - ");

QLineEdit *visibleEditor(QAbstractItemView *view)
{
    for (QLineEdit *edit : view->findChildren<QLineEdit *>()) {
        if (edit->isVisible())
            return edit;
    }
    return nullptr;
}

using test::captions;

} // namespace

class VDiskPaneTest : public QObject, test::WindowFakes
{
    Q_OBJECT

    std::unique_ptr<test::MemoryVDiskLibrary> m_lib;
    std::unique_ptr<test::MemoryRegistry> m_registry;

    std::unique_ptr<TFormMain> open(bool autoMount)
    {
        setIni(QByteArray("[Setting]\nAutoRpc=0\nAutoVDisk=") + (autoMount ? "1" : "0") + "\n");
        PlatformServices services = m_fake->services();
        services.vdisk = m_lib.get();
        services.registry = m_registry.get();
        auto w = std::make_unique<TFormMain>(services);
        test::showActive(*w);
        return w;
    }
    // Opens the window and waits for the start-up mount to end.
    std::unique_ptr<TFormMain> openMounted()
    {
        auto w = open(true);
        if (!QTest::qWaitFor(
                [&] { return !w->vdiskPane->mountRunning() && w->imageMount().VDiskState() == 1; }))
            qWarning("not mounted");
        return w;
    }
    static void press(TFormMain *w, int key) { QTest::keyClick(w->VDiskList->currentView(), Qt::Key(key)); }
    static void selectRows(TFormMain *w, const QList<int> &rows) { test::selectRows(w->VDiskList, rows); }
    static void doubleClickRow(TFormMain *w, int row)
    {
        QAbstractItemView *view = w->VDiskList->detailView();
        const QPoint at = view->visualRect(w->VDiskList->indexOfRow(row)).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }

private slots:
    void init()
    {
        resetFakes();
        m_lib = std::make_unique<test::MemoryVDiskLibrary>();
        m_registry = std::make_unique<test::MemoryRegistry>();
        m_registry->setValue(Key, "InstallPath", "/opt/sim");
    }

    void startUpMountListsTheImage()
    {
        m_lib->addFile("A.TXT", QByteArray(1234, 'a'), 86400);
        m_lib->addRecord("ABCDEFGHIJKLM.TXT", -1, 2147483647); // 17 bytes: shown whole
        m_lib->addRecord("..", -86400, 0);
        m_lib->addRecord("x\\y", 86399, 7);
        auto w = openMounted();
        QCOMPARE(w->PVDiskStatus->text(), Caption + "Connected");
        QVERIFY(w->TB_VDiskConnect->isChecked());
        QCOMPARE(m_registry->reads(), QStringList{Key + "|InstallPath"});
        QCOMPARE(m_lib->calls().mid(0, 2),
                 (QStringList{"SetVdiskFile(/opt/sim/target/public/lib/vdisk.dat)", "InitFileSystem"}));
        QCOMPARE(m_lib->calls("OpenFindFile"), QStringList{"OpenFindFile(/)"});
        QCOMPARE(m_lib->calls("Find").size(), 5); // first, then next until it gives -1

        FileRowModel *rows = w->VDiskRows;
        QCOMPARE(captions(rows), (QStringList{"A.TXT", "ABCDEFGHIJKLM.TXT", "..", "x\\y"}));
        QCOMPARE(rows->row(0).sizeText, QStringLiteral("      1234 B"));
        QCOMPARE(rows->row(1).sizeText, QStringLiteral("2147483647 B"));
        QCOMPARE(rows->row(0).dateText, FileDateText(QDate(1970, 1, 2)));
        QCOMPARE(rows->row(1).dateText, FileDateText(QDate(1970, 1, 1)));
        QCOMPARE(rows->row(2).dateText, FileDateText(QDate(1969, 12, 31)));
        QCOMPARE(rows->row(3).dateText, FileDateText(QDate(1970, 1, 1)));
        // Placeholders only for names that stay inside their folder.
        const QString placeholders = w->TempDir + "/VDisk";
        QCOMPARE(QDir(placeholders).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"A.TXT", "ABCDEFGHIJKLM.TXT"}));
        for (int i = 0; i < rows->rowCount(); ++i)
            QVERIFY(!rows->icon(rows->row(i).iconIndex).isNull());
    }

    void failedAttemptsFollowTheStateTable()
    {
        // The library refuses the image: no message.
        m_lib->setInitResult(3);
        {
            auto w = open(true);
            QTRY_COMPARE(w->imageMount().VDiskState(), 0);
            QTRY_COMPARE(w->PVDiskStatus->text(), Caption + "Starting failed");
            QVERIFY(!w->TB_VDiskConnect->isChecked());
            QVERIFY(m_prompter->questions().isEmpty());
            // The status line and the caption's tool tip say which image and why.
            const QString why =
                QStringLiteral("Cannot mount /opt/sim/target/public/lib/vdisk.dat: does not exist");
            QTRY_COMPARE(w->statusText(), why);
            QCOMPARE(w->PVDiskStatus->toolTip(), why);
        }
        // The key cannot be opened: the message, and no image named.
        m_registry->setOpenFails(true);
        m_lib->clearCalls();
        {
            auto w = open(true);
            QTRY_COMPARE(w->imageMount().VDiskState(), 0);
            QTRY_COMPARE(w->PVDiskStatus->text(), Caption + "Starting failed");
            QCOMPARE(m_prompter->questions().size(), 1);
            const test::ScriptedPrompter::Question q = m_prompter->questions().first();
            QCOMPARE(q.text, QStringLiteral("系统没有检测到VexoTools安装目录！ \u3000"));
            QCOMPARE(q.title, QStringLiteral("系统提示"));
            QCOMPARE(q.icon, PromptIcon::Error);
            QCOMPARE(q.buttons, PromptButtons::Ok);
            QVERIFY(m_lib->calls("SetVdiskFile").isEmpty());
        }
        // No install path: the image path starts at the root.
        m_registry = std::make_unique<test::MemoryRegistry>();
        m_lib->setInitResult(0);
        m_lib->clearCalls();
        auto w = openMounted();
        QCOMPARE(m_lib->calls("SetVdiskFile"), QStringList{"SetVdiskFile(/target/public/lib/vdisk.dat)"});
        QCOMPARE(w->PVDiskStatus->text(), Caption + "Connected");
        QCOMPARE(w->PVDiskStatus->toolTip(),
                 QStringLiteral("/target/public/lib/vdisk.dat, found through the registry"));

        // A damaged image mounts, but says so, and a copy out names it, not a file in use.
        const QString damaged = QStringLiteral("the image is damaged: run check");
        w->vdiskPane->DisconnectVDisk();
        m_lib->setProblems(16);
        m_lib->addFile("A.TXT", "a");
        m_lib->failOpen("A.TXT");
        w->vdiskPane->RefreshVDisk();
        QTRY_COMPARE(w->PVDiskStatus->text(), Caption + damaged);
        QCOMPARE(w->statusText(), damaged);
        QTRY_COMPARE(w->VDiskRows->rowCount(), 1); // the listing follows the caption
        w->VDiskList->setCurrentRow(0);
        w->vdiskPane->VDiskListDblClick(w->VDiskList->indexOfRow(0));
        QCOMPARE(m_prompter->texts().last(), damaged);
    }

    void aSecondRequestWhileMountingIsIgnoredAndAnUnmountWaitsForTheAttempt()
    {
        m_lib->addFile("A.TXT", "a");
        m_lib->closeGate();
        auto w = open(false);
        QCOMPARE(w->PVDiskStatus->text(), Caption + "DisConnect");
        press(w.get(), Qt::Key_F6);
        QTRY_VERIFY(m_lib->waitingAtGate());
        QTRY_COMPARE(w->PVDiskStatus->text(), Caption + "Connecting...");
        QCOMPARE(w->imageMount().VDiskState(), -1); // unchanged while the attempt runs
        press(w.get(), Qt::Key_F6);
        QTest::mouseClick(w->TB_VDiskConnect, Qt::LeftButton);
        w->VDiskList->currentView()->setFocus();
        press(w.get(), Qt::Key_F5); // refresh on key-down and on key-up
        m_lib->release();
        QTRY_COMPARE(w->PVDiskStatus->text(), Caption + "Connected");
        QTRY_VERIFY(!w->vdiskPane->mountRunning());
        QCOMPARE(m_lib->calls("InitFileSystem").size(), 1);
        QCOMPARE(captions(w->VDiskRows), QStringList{"A.TXT"});

        // F7 during an attempt unmounts once the attempt has ended.
        press(w.get(), Qt::Key_F7);
        QCOMPARE(w->imageMount().VDiskState(), 0);
        m_lib->closeGate();
        press(w.get(), Qt::Key_F6);
        QTRY_VERIFY(m_lib->waitingAtGate());
        press(w.get(), Qt::Key_F7);
        m_lib->release();
        QTRY_VERIFY(!w->vdiskPane->mountRunning());
        QCOMPARE(w->imageMount().VDiskState(), 0);
        QCOMPARE(w->PVDiskStatus->text(), Caption + "DisConnect");
        QVERIFY(!w->TB_VDiskConnect->isChecked());
        QCOMPARE(w->VDiskRows->rowCount(), 0);
        QVERIFY(!m_lib->mounted());
    }

    void unmountWithTheButtonAndWhileNothingIsMounted()
    {
        m_lib->addFile("A.TXT", "a");
        auto w = open(false);
        press(w.get(), Qt::Key_F7); // nothing mounted: unmounts all the same
        QCOMPARE(m_lib->calls(), QStringList{"DestoryFileSystem"});
        QCOMPARE(w->imageMount().VDiskState(), 0);
        QCOMPARE(w->PVDiskStatus->text(), Caption + "DisConnect");

        QTest::mouseClick(w->TB_VDiskConnect, Qt::LeftButton);
        QTRY_COMPARE(w->imageMount().VDiskState(), 1);
        QTRY_COMPARE(w->VDiskRows->rowCount(), 1);
        QVERIFY(w->TB_VDiskConnect->isChecked());
        QTRY_VERIFY(!w->vdiskPane->mountRunning());

        QTest::mouseClick(w->TB_VDiskConnect, Qt::LeftButton);
        QCOMPARE(w->imageMount().VDiskState(), 0);
        QVERIFY(!w->TB_VDiskConnect->isChecked());
        QCOMPARE(w->VDiskRows->rowCount(), 0);
        QCOMPARE(w->PVDiskStatus->text(), Caption + "DisConnect");
        QCOMPARE(m_lib->calls().last(), QStringLiteral("DestoryFileSystem"));
        // The next connect goes through the registry again.
        QTest::mouseClick(w->TB_VDiskConnect, Qt::LeftButton);
        QTRY_COMPARE(w->imageMount().VDiskState(), 1);
        QCOMPARE(m_registry->reads().size(), 2);
    }

    // A refused rename keeps the old name and says why.
    void aRefusedRenameSaysWhy_data()
    {
        // An empty reason: renamed.
        test::addStringRows("name", "reason",
                            {{"free", "NEW.TXT", ""},
                             {"case only", "a.txt", ""},
                             {"17 bytes", "ABCDEFGHIJKLM.TXT", ""},
                             {"taken", "B.TXT", "a file of that name exists"},
                             {"taken, other case", "b.txt", "a file of that name exists"},
                             {"18 bytes", "ABCDEFGHIJKLMN.TXT", "the name is longer than 17 bytes"},
                             {"star", "A*.TXT", "the name holds characters that are not allowed"},
                             {"trailing dot", "A.", "the name holds characters that are not allowed"}});
    }
    void aRefusedRenameSaysWhy()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        m_lib->addFile("A.TXT", "a");
        m_lib->addFile("B.TXT", "b");
        auto w = openMounted();
        bool accept = true;
        w->vdiskPane->VDiskListEdited(0, "A.TXT", name, &accept);
        QCOMPARE(accept, reason.isEmpty());
        if (reason.isEmpty())
            QVERIFY(m_lib->names().contains(name));
        else {
            const QString message = "Cannot rename to " + name + ": " + reason;
            QCOMPARE(w->statusText(), message);
            QCOMPARE(w->PVDiskStatus->toolTip(), message);
            QCOMPARE(m_lib->names(), (QStringList{"A.TXT", "B.TXT"}));
        }
    }

    void formatAsksAndThenListsOrMounts()
    {
        m_lib->addFile("A.TXT", "a");
        auto w = open(false);
        QTest::mouseClick(w->TB_Format, Qt::LeftButton); // answered Cancel
        QCOMPARE(m_prompter->questions().size(), 1);
        // Not mounted, the question still names the image and what it holds.
        QCOMPARE(m_prompter->questions()[0].text,
                 QStringLiteral(
                     "Would you like to format simulator disk?\n\nThe image "
                     "/opt/sim/target/public/lib/vdisk.dat holds 1 file(s); all of them will be erased."));
        QVERIFY(!m_lib->mounted());
        QCOMPARE(m_prompter->questions()[0].title, QStringLiteral("Messagebox"));
        QCOMPARE(m_prompter->questions()[0].buttons, PromptButtons::OkCancel);
        QCOMPARE(m_prompter->questions()[0].icon, PromptIcon::Question);
        QVERIFY(m_lib->calls("FormatFileSystem").isEmpty());

        // Formatted while nothing is mounted: a mount attempt follows.
        m_lib->addFile("B.TXT", "b");
        m_lib->clearCalls();
        m_prompter->answer(PromptAnswer::Ok);
        QTest::mouseClick(w->TB_Format, Qt::LeftButton);
        // Before any mount attempt the image is named first, so the format
        // takes and the mount that follows finds it formatted.
        const QStringList calls = m_lib->calls();
        const qsizetype format = calls.indexOf("FormatFileSystem");
        QVERIFY(format > 0);
        QCOMPARE(calls[format - 1], "SetVdiskFile(/opt/sim/target/public/lib/vdisk.dat)");
        QVERIFY(m_lib->names().isEmpty());
        QTRY_COMPARE(w->PVDiskStatus->text(), Caption + "Connected");
        QTRY_VERIFY(!w->vdiskPane->mountRunning());
        QCOMPARE(w->VDiskRows->rowCount(), 0);

        // A refused format leaves the list alone; a good one lists again.
        m_lib->addFile("C.TXT", "c");
        w->vdiskPane->ListVDisk();
        QCOMPARE(w->VDiskRows->rowCount(), 1);
        m_lib->setFormatResult(1);
        m_prompter->answer(PromptAnswer::Ok);
        QTest::mouseClick(w->TB_Format, Qt::LeftButton);
        QCOMPARE(captions(w->VDiskRows), QStringList{"C.TXT"});
        QCOMPARE(w->statusText(), QStringLiteral("Formatting failed"));
        m_lib->setFormatResult(0);
        m_prompter->answer(PromptAnswer::Ok);
        QTest::mouseClick(w->TB_Format, Qt::LeftButton);
        QCOMPARE(w->VDiskRows->rowCount(), 0);
        QCOMPARE(w->imageMount().VDiskState(), 1);
    }

    void deleteAsksAndRemovesWhatTheImageDeleted()
    {
        auto w = openMounted();
        // An empty pane: the question, then nothing.
        m_prompter->answer(PromptAnswer::Ok);
        press(w.get(), Qt::Key_Delete);
        QCOMPARE(m_prompter->questions().size(), 1);
        QCOMPARE(m_prompter->questions()[0].text, QStringLiteral("确定要删除文件吗？    "));

        for (const char *name : {"A.TXT", "B.TXT", "C.TXT", "D.TXT"})
            m_lib->addFile(name, name);
        w->vdiskPane->ListVDisk();
        w->VDiskList->clearSelection();
        // None selected: the key asks, the toolbar does not; nothing goes.
        m_prompter->answer(PromptAnswer::Ok);
        press(w.get(), Qt::Key_Delete);
        QCOMPARE(m_prompter->questions().size(), 2);
        w->VDiskList->currentView()->setFocus();
        QTest::mouseClick(w->TB_Delete, Qt::LeftButton);
        QCOMPARE(m_prompter->questions().size(), 2);
        QVERIFY(m_lib->calls("zfdelete").isEmpty());

        // Adjacent rows, the first refused: it stays, the second is still tried.
        m_lib->failDelete("A.TXT");
        selectRows(w.get(), {0, 1, 3});
        m_prompter->answer(PromptAnswer::Cancel);
        QTest::mouseClick(w->TB_Delete, Qt::LeftButton);
        QVERIFY(m_lib->calls("zfdelete").isEmpty());
        m_prompter->answer(PromptAnswer::Ok);
        QTest::mouseClick(w->TB_Delete, Qt::LeftButton);
        QCOMPARE(m_lib->calls("zfdelete"),
                 (QStringList{"zfdelete(A.TXT)", "zfdelete(B.TXT)", "zfdelete(D.TXT)"}));
        QCOMPARE(captions(w->VDiskRows), (QStringList{"A.TXT", "C.TXT"}));
        QCOMPARE(m_lib->names(), (QStringList{"A.TXT", "C.TXT"}));
        QCOMPARE(w->vdiskPane->DeleteSelectedVDiskFiles(), 0); // A.TXT, still selected, refused again
    }

    void renameGoesToTheImageAndKeysInsideTheEditorAreIgnored()
    {
        m_lib->addFile("A.TXT", "a");
        m_lib->addFile("B.TXT", "b");
        auto w = openMounted();
        FileListView *list = w->VDiskList;
        QSignalSpy copies(w->vdiskPane, &VDiskPane::copyRequested);
        QSignalSpy pastes(w->vdiskPane, &VDiskPane::pasteRequested);
        list->currentView()->setFocus();
        list->setCurrentRow(0);

        list->editCurrent();
        QLineEdit *editor = visibleEditor(list->currentView());
        QVERIFY(editor);
        for (Qt::Key key : {Qt::Key_Delete, Qt::Key_A, Qt::Key_V, Qt::Key_Control})
            QTest::keyClick(editor, key);
        QVERIFY(m_prompter->questions().isEmpty());
        QCOMPARE(copies.size() + pastes.size(), 0);
        QCOMPARE(list->selectedRows().size(), 1);

        // Refused by the image: the old name stays.
        m_lib->setRenameResult(0);
        editor->setText("NEW.TXT");
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(!list->isEditing());
        QCOMPARE(m_lib->calls("zrename"), QStringList{"zrename(A.TXT,NEW.TXT)"});
        QCOMPARE(w->VDiskRows->caption(0), QStringLiteral("A.TXT"));

        m_lib->setRenameResult(std::nullopt);
        for (const QString &text : {QString(), QStringLiteral("B.TXT"), QStringLiteral("NEW.TXT")}) {
            list->editCurrent();
            editor = visibleEditor(list->currentView());
            QVERIFY(editor);
            editor->setText(text);
            QTest::keyClick(editor, Qt::Key_Return);
            QTRY_VERIFY(!list->isEditing());
        }
        QCOMPARE(w->VDiskRows->caption(0), QStringLiteral("NEW.TXT")); // empty and taken names refused
        QCOMPARE(m_lib->names(), (QStringList{"NEW.TXT", "B.TXT"}));

        // Outside the editor the same keys act.
        list->currentView()->setFocus();
        QTest::keyClick(list->currentView(), Qt::Key_A);
        QCOMPARE(list->selectedRows().size(), 2);
        QTest::keyClick(list->currentView(), Qt::Key_V);
        QTest::keyClick(list->currentView(), Qt::Key_C, Qt::ControlModifier);
        QTest::keyClick(list->currentView(), Qt::Key_Control);
        QCOMPARE(pastes.size(), 1);
        QVERIFY(copies.size() >= 1);
    }

    void doubleClickOpensACopyOfOneFile()
    {
        m_lib->addFile("A.TXT", "contents of a");
        m_lib->addFile("B.TXT", "b");
        m_lib->addRecord("..", 0, 0);
        auto w = openMounted();
        const QString copy = w->TempDir + "/A.TXT";
        QFile old(copy);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("an earlier copy");
        old.close();

        selectRows(w.get(), {0, 1});
        w->vdiskPane->VDiskListDblClick(w->VDiskList->indexOfRow(0));
        QVERIFY(m_shell->opened().isEmpty());
        QVERIFY(m_prompter->questions().isEmpty());

        w->VDiskList->setCurrentRow(0);
        doubleClickRow(w.get(), 0);
        QTRY_COMPARE(m_shell->opened(), QStringList{copy});
        QCOMPARE(test::readFile(copy), QByteArray("contents of a"));
        expectNoProgramFor(w.get(), "A.TXT",
                           [&] { w->vdiskPane->VDiskListDblClick(w->VDiskList->indexOfRow(0)); });
        m_shell->setCanOpen(true);

        // A failed copy and a name that would leave the work folder: the message.
        m_lib->failOpen("B.TXT");
        w->VDiskList->setCurrentRow(1);
        w->vdiskPane->VDiskListDblClick(w->VDiskList->indexOfRow(1));
        w->VDiskList->setCurrentRow(2);
        m_lib->clearCalls();
        w->vdiskPane->VDiskListDblClick(w->VDiskList->indexOfRow(2));
        QVERIFY(m_lib->calls().isEmpty());
        QCOMPARE(m_prompter->texts(), QStringList(2, QStringLiteral("拷贝文件失败,可能是文件被占用!  ")));
        QCOMPARE(m_shell->opened().size(), 2);
    }

    void shutdownWaitsForARunningAttemptAndCutsItOff()
    {
        m_lib->closeGate();
        auto w = open(true);
        QTRY_VERIFY(m_lib->waitingAtGate());
        std::thread releaser([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            m_lib->release();
        });
        const QString temp = w->TempDir;
        w->close();
        releaser.join();
        QCOMPARE(m_lib->calls().last(), QStringLiteral("DestoryFileSystem"));
        QVERIFY(!m_lib->mounted());
        QVERIFY(!QFileInfo::exists(temp));
        // The attempt mounted after the window was cut off: nothing shows it.
        QCoreApplication::processEvents();
        QCOMPARE(w->imageMount().VDiskState(), -1);
        QVERIFY(w->PVDiskStatus->text() != Caption + "Connected");
        QVERIFY(!w->TB_VDiskConnect->isChecked());

        // An attempt about to ask its question at exit asks nothing.
        m_registry->setOpenFails(true);
        PlatformServices services = m_fake->services();
        services.vdisk = m_lib.get();
        services.registry = m_registry.get();
        auto v = std::make_unique<TFormMain>(services);
        v->close();
        v.reset();
        QCoreApplication::processEvents();
        QVERIFY(m_prompter->questions().isEmpty());
    }
};

QTEST_MAIN(VDiskPaneTest)
#include "VDiskPaneTest.moc"
