#include "app/PaneMenus.h"
#include "FakePlatform.h"
#include "MemoryClipboard.h"
#include "MemoryRegistry.h"
#include "MemoryVDiskLibrary.h"
#include "RecordingDeviceLink.h"
#include "app/main.h"
#include "device/DevicePane.h"
#include "engine/DeviceSession.h"
#include "engine/ImageMount.h"
#include "local/LocalPane.h"
#include "transfer/TransferPlanner.h"
#include "vdisk/VDiskPane.h"
#include "widgets/CaptionPanel.h"
#include "widgets/DeepBlueStyle.h"
#include "widgets/FileListView.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTest>
#include <QToolButton>

#include <memory>

using namespace vexo;

namespace
{

using Record = DeviceLink::FindRecord;

// The pane's own entries; commands a list carries itself are checked apart.
bool paneEntry(const QAction *a)
{
    return !a->isSeparator() && a->objectName().startsWith(QLatin1String("MI_"));
}

// name -> enabled, for the entries of a menu.
QMap<QString, bool> entries(QMenu *menu)
{
    QMap<QString, bool> out;
    for (QAction *a : menu->actions()) {
        if (paneEntry(a))
            out.insert(a->objectName(), a->isEnabled());
    }
    return out;
}

QStringList enabledEntries(QMenu *menu)
{
    QStringList out;
    for (QAction *a : menu->actions()) {
        if (paneEntry(a) && a->isEnabled())
            out << a->objectName();
    }
    return out;
}

void select(FileListView *list, const QList<int> &rows)
{
    list->clearSelection();
    for (int r : rows)
        list->selectionModel()->select(list->indexOfRow(r),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    if (!rows.isEmpty())
        list->selectionModel()->setCurrentIndex(list->indexOfRow(rows.first()),
                                                QItemSelectionModel::NoUpdate);
}

// Runs an entry as a click on it does; entries act from the event loop.
void trigger(QMenu *menu, const char *name)
{
    QAction *action = menu->findChild<QAction *>(QLatin1String(name));
    QVERIFY2(action, name);
    QVERIFY2(action->isEnabled(), name);
    action->trigger();
    QCoreApplication::processEvents();
}

QColor captionColour(QWidget *caption)
{
    // Off the bevel and the text, on the panel's face.
    return caption->grab().toImage().pixelColor(caption->width() - 4, caption->height() / 2);
}

} // namespace

class PaneMenusTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::FakePlatform> m_fake;
    std::unique_ptr<test::RecordingDeviceLink> m_link;
    std::unique_ptr<test::MemoryVDiskLibrary> m_image;
    std::unique_ptr<test::MemoryRegistry> m_registry;
    test::MemoryClipboard m_clipboard;

    std::unique_ptr<TFormMain> open()
    {
        PlatformServices s = m_fake->services();
        s.link = m_link.get();
        s.vdisk = m_image.get();
        s.registry = m_registry.get();
        s.clipboard = &m_clipboard;
        auto w = std::make_unique<TFormMain>(s);
        test::showActive(*w);
        return w;
    }
    std::unique_ptr<QMenu> menu(TFormMain &w, FileListView *list)
    {
        return std::unique_ptr<QMenu>(w.findChild<PaneMenus *>()->buildMenu(list));
    }
    // A local file on the clipboard, as a copy in the local pane puts it there.
    QString clipLocalFile(TFormMain &w)
    {
        const QString path = m_fake->folder() + "/clip.txt";
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        w.transfers->WriteClipboardFiles({path});
        return path;
    }

private slots:
    void initTestCase() { DeepBlueStyle::apply(*qApp); }

    void init()
    {
        m_fake = std::make_unique<test::FakePlatform>();
        m_link = std::make_unique<test::RecordingDeviceLink>();
        m_image = std::make_unique<test::MemoryVDiskLibrary>();
        m_registry = std::make_unique<test::MemoryRegistry>();
        m_registry->setValue(ImageMount::InstallKey, "InstallPath", "/opt/sim");
        m_clipboard.setMimeData(nullptr);
        m_fake->files.setContent(m_fake->ini(), "[Setting]\nAutoRpc=0\nAutoVDisk=0\nComport=1\n");
    }

    void deviceMenuFollowsLinkSelectionAndClipboard()
    {
        m_link->setFiles({Record{"A.TXT", 0, 10}, Record{"B.TXT", 0, 20}});
        auto w = open();

        // Not connected: connecting and refreshing are all there is to do.
        auto m = menu(*w, w->RpcList);
        QCOMPARE(enabledEntries(m.get()), (QStringList{"MI_Refresh", "MI_RpcConnect"}));
        // Each entry shows the key that does the same.
        const std::pair<const char *, const char *> keys[] = {
            {"MI_Copy", "Ctrl+C"},   {"MI_Paste", "Ctrl+V"},    {"MI_Delete", "Del"},
            {"MI_Rename", "F2"},     {"MI_Refresh", "F5"},      {"MI_SelectAll", "Ctrl+A"},
            {"MI_RpcConnect", "F3"}, {"MI_RpcDisconnect", "F4"}};
        for (const auto &[name, key] : keys)
            QVERIFY2(m->findChild<QAction *>(name)->text().endsWith(u'\t' + QLatin1String(key)), name);

        w->devicePane->RefreshRpc();
        QTRY_VERIFY(w->deviceSession().RpcConnected() && !w->devicePane->attemptRunning() &&
                    w->RpcList->rowCount() == 2);

        // Connected, nothing selected, empty clipboard.
        m = menu(*w, w->RpcList);
        QCOMPARE(enabledEntries(m.get()), (QStringList{"MI_SelectAll", "MI_Refresh", "MI_RpcDisconnect"}));

        // One row: everything that acts on a selection; two rows: no Open.
        select(w->RpcList, {1});
        QCOMPARE(entries(menu(*w, w->RpcList).get()), (QMap<QString, bool>{{"MI_Open", true},
                                                                           {"MI_Copy", true},
                                                                           {"MI_Paste", false},
                                                                           {"MI_Delete", true},
                                                                           {"MI_Rename", true},
                                                                           {"MI_SelectAll", true},
                                                                           {"MI_Refresh", true},
                                                                           {"MI_RpcConnect", false},
                                                                           {"MI_RpcDisconnect", true}}));
        select(w->RpcList, {0, 1});
        QVERIFY(!entries(menu(*w, w->RpcList).get()).value("MI_Open"));

        // Paste: a PC file goes to the device; the device's own names do not.
        clipLocalFile(*w);
        QVERIFY(entries(menu(*w, w->RpcList).get()).value("MI_Paste"));
        w->CopyDeviceToClipboard();
        QVERIFY(!entries(menu(*w, w->RpcList).get()).value("MI_Paste"));

        // Delete runs the toolbar's delete: asked once, then sent.
        select(w->RpcList, {1});
        m_fake->prompter.answer(PromptAnswer::Ok);
        m = menu(*w, w->RpcList);
        trigger(m.get(), "MI_Delete");
        QCOMPARE(m_fake->prompter.texts().size(), 1);
        QCOMPARE(m_link->calls("RequestDeleteFile").size(), 1);
        QVERIFY(m_link->calls("RequestDeleteFile").first().contains("B.TXT"));
        QCOMPARE(w->RpcList->rowCount(), 1);

        trigger(m.get(), "MI_RpcDisconnect");
        QVERIFY(!w->deviceSession().RpcConnected());
        QCOMPARE(w->RpcList->rowCount(), 0);
    }

    void imageMenuFollowsMountAndFormats()
    {
        m_image->addFile("A.TXT", "a");
        auto w = open();
        auto m = menu(*w, w->VDiskList);
        QCOMPARE(enabledEntries(m.get()), (QStringList{"MI_Refresh", "MI_VDiskConnect", "MI_Format"}));
        QVERIFY(m->findChild<QAction *>("MI_VDiskDisconnect")->text().endsWith("\tF7"));

        trigger(m.get(), "MI_VDiskConnect");
        QTRY_VERIFY(w->imageMount().VDiskState() == 1 && !w->vdiskPane->mountRunning() &&
                    w->VDiskList->rowCount() == 1);
        clipLocalFile(*w);
        select(w->VDiskList, {0});
        m = menu(*w, w->VDiskList);
        QCOMPARE(enabledEntries(m.get()),
                 (QStringList{"MI_Open", "MI_Copy", "MI_Paste", "MI_Delete", "MI_Rename", "MI_SelectAll",
                              "MI_Refresh", "MI_VDiskDisconnect", "MI_Format"}));

        // Format asks its question first; Cancel leaves the image alone.
        m_fake->prompter.answer(PromptAnswer::Cancel);
        trigger(m.get(), "MI_Format");
        QVERIFY(m_fake->prompter.texts().value(0).startsWith("Would you like to format simulator disk?\n\n"));
        QCOMPARE(m_image->calls("FormatFileSystem").size(), 0);
    }

    void localMenuActsOnTheShownFolder()
    {
        auto w = open();
        // The top level: no folder to make anything in, nowhere up to go.
        auto m = menu(*w, w->ShellList);
        for (const char *name : {"MI_NewFolder", "MI_Up", "MI_Delete", "MI_Paste", "MI_Copy"})
            QVERIFY2(!entries(m.get()).value(name), name);

        const QString folder = m_fake->folder() + "/pc";
        QDir().mkpath(folder);
        QFile(folder + "/one.txt").open(QIODevice::WriteOnly);
        w->PLeft->showFolder(folder);
        QTRY_COMPARE(w->ShellList->rowCount(), 1);
        select(w->ShellList, {0});
        m = menu(*w, w->ShellList);
        QVERIFY(m->findChild<QAction *>("MI_Open")->text().endsWith("\tEnter"));
        for (const char *name : {"MI_Open", "MI_Copy", "MI_Delete", "MI_Rename", "MI_NewFolder", "MI_Up"})
            QVERIFY2(entries(m.get()).value(name), name);

        // Copy puts the file on the clipboard; pasting it back into its own
        // pane would copy nothing, so Paste stays off.
        trigger(m.get(), "MI_Copy");
        QStringList names;
        QVERIFY(w->transfers->ReadClipboardFiles(names));
        QCOMPARE(names, QStringList{folder + "/one.txt"});
        QVERIFY(!entries(menu(*w, w->ShellList).get()).value("MI_Paste"));

        m_fake->prompter.answerText("made");
        trigger(m.get(), "MI_NewFolder");
        QVERIFY(QFileInfo(folder + "/made").isDir());
    }

    void rightClickFocusesThePaneMarksItAndOpensItsMenu()
    {
        m_image->addFile("A.TXT", "a");
        m_image->addFile("B.TXT", "b");
        auto w = open();
        w->RefreshVDisk();
        QTRY_COMPARE(w->VDiskList->rowCount(), 2);
        w->ShellList->setFocus();
        QTRY_VERIFY(CaptionPanel::hasFocusMark(w->PLeft->PShellStatus));
        const QColor plain = captionColour(w->PVDiskStatus);

        // A right click on the second row, through the window as the mouse does.
        QAbstractItemView *view = w->VDiskList->currentView();
        const QPoint at = view->visualRect(w->VDiskList->indexOfRow(1)).center();
        QTest::mouseClick(w->windowHandle(), Qt::RightButton, {}, view->viewport()->mapTo(w.get(), at));
        QTRY_VERIFY(QApplication::activePopupWidget());
        auto *popup = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QVERIFY(popup);
        QCOMPARE(popup->objectName(), QStringLiteral("PopupVDisk"));
        QCOMPARE(w->VDiskList->selectedRows().size(), 1);
        QCOMPARE(w->VDiskList->selectedRows().first().row(), 1);
        QVERIFY(entries(popup).value("MI_Open"));
        popup->close();

        // Exactly the image pane's caption is marked, and it looks different.
        QVERIFY(w->VDiskList->hasFocusInside());
        QVERIFY(CaptionPanel::hasFocusMark(w->PVDiskStatus));
        QVERIFY(!CaptionPanel::hasFocusMark(w->PRpcStatus));
        QVERIFY(!CaptionPanel::hasFocusMark(w->PLeft->PShellStatus));
        QVERIFY(captionColour(w->PVDiskStatus) != plain);

        // The folder box belongs to the local pane.
        w->PLeft->ShellComboBox->setFocus();
        QTRY_VERIFY(CaptionPanel::hasFocusMark(w->PLeft->PShellStatus));
        QVERIFY(!CaptionPanel::hasFocusMark(w->PVDiskStatus));
        QCOMPARE(captionColour(w->PVDiskStatus), plain);
    }

    void toolbarTipsNameTheirKeys()
    {
        auto w = open();
        QCOMPARE(w->TB_Copy->toolTip(), QStringLiteral("Copy (Ctrl+C)"));
        QCOMPARE(w->TB_Delete->toolTip(), QStringLiteral("Delete (Del)"));
        QCOMPARE(w->TB_Refresh->toolTip(), QStringLiteral("Refresh (F5)"));
        QCOMPARE(w->TB_RpcConnect->toolTip(), QStringLiteral("Link palmtop disk (F3/F4)"));
        QCOMPARE(w->TB_ViewList->toolTip(), QStringLiteral("View as list (Ctrl+3)"));
        QCOMPARE(w->TB_Format->toolTip(), QStringLiteral("Format simulator disk"));
        QCOMPARE(w->TB_Sync->toolTip(), QStringLiteral("Synchronize (F9)"));
    }

    void everyMenuEndsWithSynchronize()
    {
        auto w = open();
        for (FileListView *list : {w->ShellList, w->RpcList, w->VDiskList}) {
            const auto m = menu(*w, list);
            const QAction *last = m->actions().last();
            QCOMPARE(last->objectName(), QStringLiteral("SyncAction"));
            QVERIFY(last->isEnabled());
            QVERIFY(last->text().endsWith(QLatin1String("\tF9")));
        }
    }
};

QTEST_MAIN(PaneMenusTest)
#include "PaneMenusTest.moc"
