#include "ModalWatchdog.h"
#include "OnModal.h"
#include "RealKeys.h"
#include "WindowTestSupport.h"
#include "app/main.h"
#include "engine/FileListRow.h"
#include "engine/ImageMount.h"
#include "local/LocalPane.h"
#include "widgets/CaptionPanel.h"
#include "widgets/FileListView.h"
#include "widgets/FileRowModel.h"
#include "widgets/ShareSplitter.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <map>
#include <memory>

#include <sys/stat.h>

using namespace vexo;

namespace
{

// The main window, its connection commands and the local pane's copy and
// paste requests counted; F8 no longer opens the setup dialog.
class ProbeFormMain : public TFormMain
{
public:
    explicit ProbeFormMain(const PlatformServices &services) : TFormMain(services)
    {
        disconnect(this, &TFormMain::setupRequested, this, nullptr);
    }
    QSignalSpy rpcRefreshes{this, &TFormMain::rpcRefreshRequested};
    QSignalSpy rpcDisconnects{this, &TFormMain::rpcDisconnectRequested};
    QSignalSpy vdiskRefreshes{this, &TFormMain::vdiskRefreshRequested};
    QSignalSpy vdiskDisconnects{this, &TFormMain::vdiskDisconnectRequested};
    QSignalSpy setups{this, &TFormMain::setupRequested};
    QSignalSpy copies{PLeft, &LocalPane::copyRequested};
    QSignalSpy pastes{PLeft, &LocalPane::pasteRequested};
};

void touch(const QString &path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

} // namespace

class FormMainTest : public QObject, test::WindowFakes
{
    Q_OBJECT

    PlatformServices services() { return m_fake->services(); }
    std::unique_ptr<ProbeFormMain> open()
    {
        auto w = std::make_unique<ProbeFormMain>(services());
        test::showActive(*w);
        return w;
    }
    // Waits until the local list shows `rows` rows.
    static bool waitRows(FileListView *list, int rows)
    {
        return QTest::qWaitFor([&] { return list->rowCount() == rows; }, 3000);
    }
    static QAbstractItemView *innerView(FileListView *list) { return list->currentView(); }

private slots:
    void init() { resetFakes(); }

    void firstStartCreatesSettingsAndShowsTheDefaults()
    {
        auto w = open();
        QVERIFY(m_files->exists(m_ini));
        QVERIFY(!m_files->content(m_ini).contains("AutoVDisk"));
        QVERIFY(QFileInfo(w->TempDir).isDir());
        QCOMPARE(w->PRpcStatus->text(), QStringLiteral("PalmTop Filelist - DisConnect"));
        QCOMPARE(w->PVDiskStatus->text(), QStringLiteral("Simulator Disk Filelist - DisConnect"));
        QCOMPARE(w->TB_Paste->toolTip(), QStringLiteral("Paste (Ctrl+V)"));
        QCOMPARE(w->statusText(), QStringLiteral("Initialize"));
        QCOMPARE(w->StatusPanel[0]->text(), QStringLiteral("Status"));
        QVERIFY(w->TB_ViewReport->isChecked());
        QCOMPARE(w->RpcList->viewStyle(), FileListView::ViewStyle::Details);
        QCOMPARE(w->PLeft->currentPathText(), w->PLeft->computerText());
        QCOMPARE(w->RpcList->columnWidths(), (QList<int>{166, 105, 88}));
        const QString temp = w->TempDir;
        w->close();
        QVERIFY(!QFileInfo::exists(temp));
    }

    void storedViewStyleSelectsTheStartView_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("pressed");
        QTest::addColumn<int>("style");
        QTest::newRow("0") << 0 << "TB_ViewReport" << 3;
        QTest::newRow("1") << 1 << "TB_ViewIcon" << 0;
        QTest::newRow("2") << 2 << "TB_ViewSmallIcon" << 1;
        QTest::newRow("3") << 3 << "TB_ViewList" << 2;
        QTest::newRow("4") << 4 << "TB_ViewReport" << 3;
        QTest::newRow("5") << 5 << "" << 3;
        QTest::newRow("7") << 7 << "" << 3;
        QTest::newRow("-1") << -1 << "" << 3;
    }
    void storedViewStyleSelectsTheStartView()
    {
        QFETCH(int, stored);
        QFETCH(QString, pressed);
        QFETCH(int, style);
        setIni("[Setting]\nViewStyle=" + QByteArray::number(stored) + "\n");
        auto w = open();
        for (const char *name : {"TB_ViewIcon", "TB_ViewSmallIcon", "TB_ViewList", "TB_ViewReport"})
            QCOMPARE(w->findChild<QToolButton *>(name)->isChecked(), pressed == QLatin1String(name));
        for (FileListView *list : {w->ShellList, w->RpcList, w->VDiskList})
            QCOMPARE(static_cast<int>(list->viewStyle()), style);
        QCOMPARE(w->settings.ViewMode, stored);
    }

    void viewStyleIsWrittenBackOnlyWhenRemembered()
    {
        setIni("[Setting]\nViewStyle=0\n");
        {
            auto w = open();
            QTest::mouseClick(w->TB_ViewList, Qt::LeftButton);
            QVERIFY(w->TB_ViewList->isChecked());
            QVERIFY(!w->TB_ViewReport->isChecked());
            w->close();
        }
        QCOMPARE(m_files->content(m_ini), QByteArray("[Setting]\nViewStyle=0\n"));

        setIni("[Setting]\nViewStyle=7\n");
        {
            auto w = open();
            QTest::mouseClick(w->TB_ViewSmallIcon, Qt::LeftButton);
            QTest::mouseClick(w->TB_ViewSmallIcon, Qt::LeftButton); // pressed again: stays pressed
            QVERIFY(w->TB_ViewSmallIcon->isChecked());
            w->close();
        }
        QCOMPARE(m_files->content(m_ini), QByteArray("[Setting]\nViewStyle=2\n"));
    }

    void startFolderAndLastPath()
    {
        const QString folder = m_fake->folder() + "/start";
        QDir().mkpath(folder + "/inner");
        setIni("[Setting]\nPathed=1\nLastPath=1\nPath=" + folder.toUtf8() + "\n");
        {
            auto w = open();
            QCOMPARE(w->PLeft->currentPathText(), folder);
            w->PLeft->showFolder(folder + "/inner");
            w->close();
        }
        QVERIFY(m_files->content(m_ini).contains("Path=" + folder.toUtf8() + "/inner\n"));

        setIni("[Setting]\nPathed=1\nPath=" + folder.toUtf8() + "/gone\n");
        {
            auto w = open();
            QCOMPARE(w->PLeft->currentPathText(), w->PLeft->computerText());
            w->close();
        }
        QVERIFY(m_files->content(m_ini).contains("/gone\n")); // unchanged

        // LastPath on at the top level: the stored folder stays.
        setIni("[Setting]\nLastPath=1\nPath=" + folder.toUtf8() + "\n");
        {
            auto w = open();
            w->PLeft->showFolder(QString());
            w->close();
        }
        QVERIFY(m_files->content(m_ini).contains("Path=" + folder.toUtf8() + "\n"));
    }

    void firstEntryOfTheStartFolderIsCurrentOnceListed()
    {
        const QString folder = m_fake->folder() + "/start";
        QDir().mkpath(folder);
        for (const char *name : {"b.txt", "c.txt", "a.txt"})
            touch(folder + "/" + name);
        setIni("[Setting]\nAutoRpc=0\nAutoVDisk=0\nPathed=1\nPath=" + folder.toUtf8() + "\n");
        auto w = open();
        QTRY_VERIFY(w->ShellList->currentIndex().isValid());
        QTest::qWait(50);
        QCOMPARE(w->ShellList->currentIndex().row(), 0);
        QCOMPARE(w->ShellList->currentIndex().data().toString(), QStringLiteral("a.txt"));
        QVERIFY(w->ShellList->hasFocusInside());
    }

    void functionKeysFollowTheFocus()
    {
        setIni("[Setting]\nAutoRpc=0\nAutoVDisk=0\n");
        auto w = open();
        innerView(w->RpcList)->setFocus();
        QTRY_VERIFY(w->RpcList->hasFocusInside());
        QTest::keyClick(innerView(w->RpcList), Qt::Key_F5);
        QCOMPARE(w->rpcRefreshes.size(), 1);
        QCOMPARE(w->vdiskRefreshes.size(), 0);
        innerView(w->VDiskList)->setFocus();
        QTRY_VERIFY(w->VDiskList->hasFocusInside());
        QTest::keyClick(innerView(w->VDiskList), Qt::Key_F5);
        QCOMPARE(w->vdiskRefreshes.size(), 1);

        // The folder box has the focus: F5 does nothing.
        w->PLeft->ShellComboBox->lineEdit()->setFocus();
        QTRY_VERIFY(w->PLeft->ShellComboBox->lineEdit()->hasFocus());
        QTest::keyClick(w->PLeft->ShellComboBox->lineEdit(), Qt::Key_F5);
        QCOMPARE(w->rpcRefreshes.size() + w->vdiskRefreshes.size(), 2);

        QTest::keyClick(w->PLeft->ShellComboBox->lineEdit(), Qt::Key_F3);
        QTest::keyClick(w->PLeft->ShellComboBox->lineEdit(), Qt::Key_F4);
        QTest::keyClick(w->PLeft->ShellComboBox->lineEdit(), Qt::Key_F6);
        QTest::keyClick(w->PLeft->ShellComboBox->lineEdit(), Qt::Key_F7);
        QTest::keyClick(w->PLeft->ShellComboBox->lineEdit(), Qt::Key_F8);
        QTest::keyClick(w->PLeft->ShellComboBox->lineEdit(), Qt::Key_Escape);
        QTest::keyClick(w->PLeft->ShellComboBox->lineEdit(), Qt::Key_F2);
        QCOMPARE(w->rpcRefreshes.size(), 2);
        QCOMPARE(w->rpcDisconnects.size(), 1);
        QCOMPARE(w->vdiskRefreshes.size(), 2);
        QCOMPARE(w->vdiskDisconnects.size(), 1);
        QTRY_COMPARE(w->setups.size(), 1);
    }

    // Every shortcut acts once per press, also right after a key that the
    // focused widget took (arrow, letter, F2), and again on each auto-repeat.
    void shortcutsActOncePerPressWhateverTheFocusTook_data()
    {
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("effect");
        const std::pair<int, QString> shortcuts[] = {{Qt::Key_F3, "rpcRefreshes"},
                                                     {Qt::Key_F4, "rpcDisconnects"},
                                                     {Qt::Key_F5, "rpcRefreshes"},
                                                     {Qt::Key_F6, "vdiskRefreshes"},
                                                     {Qt::Key_F7, "vdiskDisconnects"},
                                                     {Qt::Key_F8, "setups"},
                                                     {Qt::Key_1, "view"},
                                                     {Qt::Key_2, "view"},
                                                     {Qt::Key_3, "view"},
                                                     {Qt::Key_4, "view"}};
        for (const int before : {int(Qt::Key_Down), int(Qt::Key_B), int(Qt::Key_F2)}) {
            for (const auto &[key, effect] : shortcuts) {
                const int modifiers = effect == "view" ? int(Qt::ControlModifier) : 0;
                QTest::addRow("%s then %s%s", qPrintable(QKeySequence(before).toString()),
                              modifiers ? "Ctrl+" : "", qPrintable(QKeySequence(key).toString()))
                    << before << key << modifiers << effect;
            }
        }
    }
    void shortcutsActOncePerPressWhateverTheFocusTook()
    {
        QFETCH(int, before);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, effect);
        setIni("[Setting]\nAutoRpc=0\nAutoVDisk=0\nViewStyle=4\n");
        auto w = open();
        for (const char *name : {"alpha", "beta", "bravo"})
            w->RpcRows->appendRow(FileRow{name, "1 B", "2024/01/01", -1});
        innerView(w->RpcList)->setFocus();
        QTRY_VERIFY(w->RpcList->hasFocusInside());
        w->RpcList->setCurrentRow(0);

        auto count = [&] {
            if (effect == "view")
                return w->settings.ViewMode == key - Qt::Key_1 + 1 ? 1 : 0;
            const std::map<QString, int> counts{{"rpcRefreshes", int(w->rpcRefreshes.size())},
                                                {"rpcDisconnects", int(w->rpcDisconnects.size())},
                                                {"vdiskRefreshes", int(w->vdiskRefreshes.size())},
                                                {"vdiskDisconnects", int(w->vdiskDisconnects.size())},
                                                {"setups", int(w->setups.size())}};
            return counts.at(effect);
        };
        const auto mods = Qt::KeyboardModifiers(modifiers);
        test::RealKeys keys;
        keys.click(before);
        if (effect == "view")
            keys.press(Qt::Key_Control, Qt::ControlModifier);
        keys.press(key, mods);
        QTRY_COMPARE(count(), 1);
        QTest::qWait(10);
        QCOMPARE(count(), 1);
        if (effect == "view")
            return;
        // Held down: each auto-repeated press acts again.
        keys.release(key, mods, true);
        keys.press(key, mods, true);
        QTRY_COMPARE(count(), 2);
        keys.release(key, mods);
        QTest::qWait(10);
        QCOMPARE(count(), 2);
    }

    void ctrlDigitsSwitchTheViewButNotKeypadDigits()
    {
        auto w = open();
        QWidget *target = innerView(w->RpcList);
        target->setFocus();
        QTest::keyClick(target, Qt::Key_1, Qt::ControlModifier | Qt::KeypadModifier);
        QTest::keyClick(target, Qt::Key_2);
        QVERIFY(w->TB_ViewReport->isChecked());
        QCOMPARE(w->settings.ViewMode, 0);
        QTest::keyClick(target, Qt::Key_1, Qt::ControlModifier);
        QVERIFY(w->TB_ViewIcon->isChecked());
        QCOMPARE(w->settings.ViewMode, 1);
        QTest::keyClick(w->VDiskList->currentView(), Qt::Key_3, Qt::ControlModifier);
        QVERIFY(w->TB_ViewList->isChecked());
        QVERIFY(!w->TB_ViewIcon->isChecked());
        QCOMPARE(w->VDiskList->viewStyle(), FileListView::ViewStyle::List);
        QCOMPARE(w->settings.ViewMode, 3);
    }

    void timerClearsTheStatusOnlyAfterAConnectionWasTriedAndWhileIdle()
    {
        setIni("[Setting]\nAutoRpc=0\nAutoVDisk=0\n");
        auto w = open();
        w->Timer1Timer();
        QCOMPARE(w->statusText(), QStringLiteral("Initialize"));
        w->imageMount().unmount(); // tried, not mounted
        w->OpIdle = false;
        w->Timer1Timer();
        QCOMPARE(w->statusText(), QStringLiteral("Initialize"));
        w->OpIdle = true;
        w->Timer1Timer();
        QCOMPARE(w->statusText(), QString());
        QCOMPARE(w->Timer1->interval(), 3000);
    }

    // Drags a splitter's handle by `by` pixels, as the user does.
    static void dragHandle(QSplitter *splitter, int by)
    {
        QWidget *handle = splitter->handle(1);
        const QPoint start = handle->rect().center();
        const QPoint end =
            splitter->orientation() == Qt::Horizontal ? start + QPoint(by, 0) : start + QPoint(0, by);
        QTest::mousePress(handle, Qt::LeftButton, {}, start);
        QMouseEvent move(QEvent::MouseMove, QPointF(end), handle->mapToGlobal(QPointF(end)), Qt::LeftButton,
                         Qt::LeftButton, {});
        QApplication::sendEvent(handle, &move);
        QTest::mouseRelease(handle, Qt::LeftButton, {}, end);
    }

    void headerFollowsTheSplitterAndResizeKeepsTheShares()
    {
        {
            // Restored from maximised, the window comes back centred.
            ProbeFormMain fresh(services());
            const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
            QVERIFY((fresh.frameGeometry().center() - centre).manhattanLength() <= 2);
            QCOMPARE(fresh.size(), QSize(712, 564));
            // Made as small as it goes, the window still shows every toolbar button.
            fresh.show();
            fresh.resize(100, 100);
            QTRY_VERIFY(fresh.width() < 712);
            for (QToolButton *b :
                 fresh.ToolBar1->findChildren<QToolButton *>(QString(), Qt::FindDirectChildrenOnly)) {
                if (!b->objectName().startsWith(QLatin1String("TB_")))
                    continue;
                QVERIFY2(b->isVisible() && fresh.ToolBar1->rect().contains(b->geometry()),
                         qPrintable(b->objectName()));
            }
        }
        auto w = open();
        w->resize(1000, 700);
        QTRY_COMPARE(w->width(), 1000);
        dragHandle(w->SpLeft, 337 - w->PLeft->width());
        QTRY_COMPARE(w->PLeft->width(), 337);
        QCOMPARE(w->PLeft->butShellNewFolder->x(), 307);
        QCOMPARE(w->PLeft->butShellUp->x(), 282);
        QCOMPARE(w->PLeft->ShellComboBox->width(), 270);
        dragHandle(w->SpTop, 200 - w->PTop->height());
        QTRY_COMPARE(w->PTop->height(), 200);
        const double left = 337.0 / (w->SpLeft->sizes()[0] + w->SpLeft->sizes()[1]);
        const double top = 200.0 / (w->SpTop->sizes()[0] + w->SpTop->sizes()[1]);

        // Larger and back to the designed size: each pane keeps its share.
        for (const QSize size : {QSize(1600, 1000), QSize(712, 564)}) {
            w->resize(size);
            QTRY_COMPARE(w->size(), size);
            const QList<int> across = w->SpLeft->sizes();
            const QList<int> down = w->SpTop->sizes();
            QVERIFY2(qAbs(across[0] - left * (across[0] + across[1])) <= 1,
                     qPrintable(QString::number(across[0])));
            QVERIFY2(qAbs(down[0] - top * (down[0] + down[1])) <= 1, qPrintable(QString::number(down[0])));
            // The header follows the splitter.
            QCOMPARE(w->PLeft->butShellNewFolder->x() + w->PLeft->butShellNewFolder->width(),
                     w->PLeft->width() - 8);
        }
        QVERIFY(w->PRight->width() > 300);
        QVERIFY(w->PBottom->height() > 150);
    }

    void localPaneUpNewFolderAndEnter()
    {
        const QString root = m_fake->folder() + "/local";
        QDir().mkpath(root + "/sub");
        auto w = open();
        LocalPane *pane = w->PLeft;
        QCOMPARE(pane->currentPathText(), w->PLeft->computerText());
        pane->butShellUpClick(); // at the top: nothing
        QCOMPARE(pane->currentPathText(), w->PLeft->computerText());
        pane->butShellNewFolderClick(); // not a local folder: no question
        QVERIFY(m_prompter->questions().isEmpty());

        pane->showFolder("/");
        pane->butShellUpClick();
        QCOMPARE(pane->currentPathText(), w->PLeft->computerText());

        pane->showFolder(root + "/sub");
        pane->butShellUpClick();
        QCOMPARE(pane->currentPathText(), root);

        // Cancelled or empty: nothing made, nothing said.
        pane->butShellNewFolderClick();
        QCOMPARE(m_prompter->questions().size(), 1);
        QCOMPARE(m_prompter->questions()[0].title, QStringLiteral("Create NewFolder"));
        QCOMPARE(m_prompter->questions()[0].text, QStringLiteral("Folder name"));
        QCOMPARE(QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"sub"});

        m_prompter->answerText("made");
        pane->butShellNewFolderClick();
        QVERIFY(QFileInfo(root + "/made").isDir());
        QVERIFY(waitRows(pane->ShellList, 2));

        m_prompter->answerText("sub"); // exists already: no message
        pane->butShellNewFolderClick();
        QCOMPARE(m_prompter->questions().size(), 3);

        m_prompter->answerText("missing/deeper"); // cannot be made
        pane->butShellNewFolderClick();
        QCOMPARE(m_prompter->questions().size(), 5);
        QCOMPARE(m_prompter->questions()[4].text, QStringLiteral("The folder could not be created."));
        QCOMPARE(m_prompter->questions()[4].title, QStringLiteral("Error"));
        QCOMPARE(m_prompter->questions()[4].icon, PromptIcon::Error);

        // Enter in the folder box: an existing folder opens, anything else is put back.
        QLineEdit *edit = pane->ShellComboBox->lineEdit();
        edit->setText(root + "/sub");
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(pane->currentPathText(), root + "/sub");
        edit->setText(root + "/nowhere");
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(pane->currentPathText(), root + "/sub");
        QCOMPARE(pane->ShellComboBox->currentText(), root + "/sub");
    }

    void localPaneShowsTheOtherPanesColumnsAndForms()
    {
        const QString root = m_fake->folder() + "/local";
        QDir().mkpath(root + "/sub");
        QFile file(root + "/a.txt");
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("twenty bytes of data") == 20);
        file.close();
        QVERIFY(::mkfifo(QFile::encodeName(root + "/b.fifo").constData(), 0600) == 0);
        QVERIFY(QFile::link(root + "/nowhere", root + "/c.broken"));
        auto w = open();
        w->PLeft->showFolder(root);
        QVERIFY(waitRows(w->ShellList, 4));
        QHeaderView *header = w->ShellList->header();
        QStringList titles;
        for (int c = 0; c < header->count(); ++c) {
            if (!header->isSectionHidden(c))
                titles << header->model()->headerData(c, Qt::Horizontal).toString();
        }
        QCOMPARE(titles, w->RpcRows->columnTitles());
        // Folders first: the folder has no size; the file has the device
        // pane's size form and its date form with the time of day.
        const QModelIndex folder = w->ShellList->indexOfRow(0);
        const QModelIndex data = w->ShellList->indexOfRow(1);
        QTRY_COMPARE(data.siblingAtColumn(1).data().toString(), FileSizeText(20));
        QCOMPARE(folder.siblingAtColumn(1).data().toString(), QString());
        // Nor do a pipe and a broken link.
        for (int row : {2, 3})
            QCOMPARE(w->ShellList->indexOfRow(row).siblingAtColumn(1).data().toString(), QString());
        const QDateTime modified = QFileInfo(root + "/a.txt").lastModified();
        QCOMPARE(data.siblingAtColumn(3).data().toString(),
                 FileDateText(modified.date()) + modified.time().toString(" HH:mm"));
    }

    // Typed into the folder box as a person types: keys go to the focused
    // combo box, and what was typed is never completed behind the user's back.
    void folderBoxEnterGoesToTheTypedFolder_data()
    {
        // "shown" is relative to the root; empty = unchanged.
        test::addStringRows("typed", "shown",
                            {
                                {"absolute", "%root/sub", "/sub"},
                                {"trailing slash", "%root/sub/", "/sub"},
                                {"home", "~/x", "/home/x"},
                                {"prefix of a listed folder", "%root/su", ""},
                                {"file", "%root/sub/f.txt", ""},
                                {"relative", "sub", ""},
                            });
    }
    void folderBoxEnterGoesToTheTypedFolder()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        const QString root = m_fake->folder() + "/local";
        QDir().mkpath(root + "/sub");
        QDir().mkpath(root + "/home/x");
        touch(root + "/sub/f.txt");
        const QByteArray home = qgetenv("HOME");
        qputenv("HOME", (root + "/home").toUtf8());
        auto restoreHome = qScopeGuard([&] { qputenv("HOME", home); });

        auto w = open();
        LocalPane *pane = w->PLeft;
        pane->showFolder(root);
        pane->showFolder(root + "/sub"); // the combo box now lists .../sub
        pane->showFolder(root);
        QTest::mouseClick(pane->ShellComboBox->lineEdit(), Qt::LeftButton);
        QTRY_VERIFY(pane->ShellComboBox->hasFocus() || pane->ShellComboBox->lineEdit()->hasFocus());
        pane->ShellComboBox->lineEdit()->selectAll();
        typed.replace("%root", root);
        QTest::keyClicks(QApplication::focusWidget(), typed);
        QCOMPARE(pane->ShellComboBox->currentText(), typed);
        test::RealKeys keys;
        keys.click(Qt::Key_Return);
        if (shown.isEmpty()) {
            QCOMPARE(pane->currentPathText(), root);
            QCOMPARE(pane->ShellComboBox->currentText(), root);
            QVERIFY2(w->statusText().contains(typed), qPrintable(w->statusText()));
        } else {
            QCOMPARE(pane->currentPathText(), root + shown);
            QCOMPARE(pane->ShellComboBox->currentText(), root + shown);
        }
    }

    void localPaneDeleteAsksOnceAndRemovesFilesAndTrees()
    {
        const QString root = m_fake->folder() + "/local";
        QDir().mkpath(root + "/tree/deep");
        touch(root + "/tree/deep/f.txt");
        touch(root + "/a.txt");
        touch(root + "/keep.txt");
        QTemporaryDir outside;
        touch(outside.filePath("precious"));
        QVERIFY(QFile::link(outside.path(), root + "/tree/link"));

        auto w = open();
        LocalPane *pane = w->PLeft;
        pane->showFolder(root);
        QVERIFY(waitRows(pane->ShellList, 3));

        // Nothing selected: no question.
        pane->ShellList->clearSelection();
        pane->ShellListKeyUp(Qt::Key_Delete);
        QVERIFY(m_prompter->questions().isEmpty());

        // Cancel: nothing goes.
        pane->ShellList->selectAll();
        pane->ShellListKeyUp(Qt::Key_Delete);
        QCOMPARE(m_prompter->questions().size(), 1);
        QCOMPARE(m_prompter->questions()[0].text, QStringLiteral("确定要删除 目录/文件 吗？    "));
        QVERIFY(QFileInfo::exists(root + "/a.txt"));

        // OK with a file and a tree selected.
        pane->ShellList->clearSelection();
        for (int row = 0; row < pane->ShellList->rowCount(); ++row) {
            const QString name = pane->ShellList->indexOfRow(row).data().toString();
            if (name == "a.txt" || name == "tree")
                pane->ShellList->selectionModel()->select(pane->ShellList->indexOfRow(row),
                                                          QItemSelectionModel::Select |
                                                              QItemSelectionModel::Rows);
        }
        m_prompter->answer(PromptAnswer::Ok);
        pane->ShellListKeyUp(Qt::Key_Delete);
        QCOMPARE(m_prompter->questions().size(), 2);
        QVERIFY(!QFileInfo::exists(root + "/a.txt"));
        QVERIFY(!QFileInfo::exists(root + "/tree"));
        QVERIFY(QFileInfo::exists(root + "/keep.txt"));
        QVERIFY(QFileInfo::exists(outside.filePath("precious")));
        QVERIFY(waitRows(pane->ShellList, 1));
    }

    void localListKeysAndOpening()
    {
        const QString root = m_fake->folder() + "/local";
        QDir().mkpath(root + "/sub");
        touch(root + "/doc.txt");
        auto w = open();
        LocalPane *pane = w->PLeft;
        pane->showFolder(root);
        QVERIFY(waitRows(pane->ShellList, 2));
        pane->ShellListKeyUp(Qt::Key_A);
        QCOMPARE(pane->selectedPaths().size(), 2);
        pane->ShellListKeyUp(Qt::Key_V);
        pane->ShellListKeyUp(Qt::Key_Control);
        QCOMPARE(w->pastes.size(), 1);
        QCOMPARE(w->copies.size(), 1);

        // Enter on a file opens it with its program; on a folder opens the folder.
        for (int row = 0; row < pane->ShellList->rowCount(); ++row) {
            if (pane->ShellList->indexOfRow(row).data().toString() == "doc.txt")
                pane->ShellList->setCurrentRow(row);
        }
        pane->ShellList->currentView()->setFocus();
        QTest::keyClick(pane->ShellList->currentView(), Qt::Key_Return);
        QCOMPARE(m_shell->opened(), QStringList{root + "/doc.txt"});
        // No program takes it: the status line says so, and keeps it.
        m_shell->setCanOpen(false);
        QTest::keyClick(pane->ShellList->currentView(), Qt::Key_Return);
        QCOMPARE(w->statusText(), "No program can open " + root + "/doc.txt");
        w->imageMount().unmount();
        w->Timer1Timer();
        QCOMPARE(w->statusText(), "No program can open " + root + "/doc.txt");
    }

    void shortcutsRestWhileAModalWindowIsOpen()
    {
        auto w = open();
        QDialog dialog(w.get());
        test::ModalWatchdog watchdog;
        test::OnModal<QDialog> driver([](QDialog &d) {
            QTest::keyClick(&d, Qt::Key_F3);
            QTest::keyClick(&d, Qt::Key_F4);
            QTest::keyClick(&d, Qt::Key_1, Qt::ControlModifier);
            d.accept();
        });
        dialog.exec();
        QVERIFY2(!watchdog.fired(), watchdog.report());
        QCOMPARE(w->rpcRefreshes.size(), 0);
        QCOMPARE(w->rpcDisconnects.size(), 0);
        QVERIFY(w->TB_ViewReport->isChecked());
        QTest::keyClick(w.get(), Qt::Key_F3);
        QCOMPARE(w->rpcRefreshes.size(), 1);
    }

    void aFailedSettingsWriteIsShownAndTheProgramGoesOn()
    {
        m_files->setFailWrites(true);
        auto w = open();
        QCOMPARE(m_prompter->texts(), QStringList{"Unable to write to " + m_ini});
        QVERIFY(w->settings.AutoRpc);
        w->close();
    }
};

QTEST_MAIN(FormMainTest)
#include "FormMainTest.moc"
