#include "widgets/FileListView.h"
#include "widgets/FileRowModel.h"
#include "widgets/RenameDelegate.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QDragMoveEvent>
#include <QFile>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QVBoxLayout>

using vexo::FileListView;
using vexo::FileRow;
using vexo::FileRowModel;
using Style = vexo::FileListView::ViewStyle;

namespace
{

// The open in-place editor (closed ones linger hidden until deleted).
QLineEdit *visibleEditor(QAbstractItemView *view)
{
    for (QLineEdit *edit : view->findChildren<QLineEdit *>()) {
        if (edit->isVisible())
            return edit;
    }
    return nullptr;
}

// A window with one list (objectName "RpcList") over a device-style model and
// a line edit to move the focus to.
struct Pane {
    FileRowModel model; // outlives the window, as a pane's model does
    QWidget window;
    FileListView *list;
    QLineEdit *elsewhere;

    explicit Pane(const QStringList &names = {"delta", "alpha", "echo", "bravo", "charlie"})
    {
        auto *layout = new QVBoxLayout(&window);
        elsewhere = new QLineEdit(&window);
        list = new FileListView(&window);
        list->setObjectName(QStringLiteral("RpcList"));
        layout->addWidget(elsewhere);
        layout->addWidget(list);
        QVector<FileRow> rows;
        for (int i = 0; i < names.size(); ++i)
            rows.append({names.at(i), QStringLiteral("%1 B").arg(i * 10, 10),
                         QStringLiteral("2024/02/0%1").arg(i), -1});
        model.appendRows(rows);
        list->setModel(&model);
        window.resize(500, 400);
    }

    bool show()
    {
        window.show();
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    }

    QStringList selectedCaptions() const
    {
        QStringList out;
        for (const QModelIndex &index : list->selectedRows())
            out << index.data().toString();
        return out;
    }

    QLineEdit *openEditor() const { return visibleEditor(list->currentView()); }
};

void clickHeader(FileListView *list, int section)
{
    QHeaderView *header = list->header();
    const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

QImage grabViewport(QAbstractItemView *view)
{
    return view->viewport()->grab().toImage();
}

} // namespace

class FileListViewTest : public QObject
{
    Q_OBJECT
private slots:
    void findableByObjectNameWithPaneLayout();
    void styleSwitchKeepsSelectionAndCurrentRow();
    void headerClicksFollowTheSortRule();
    void renameAcceptedOrRefused();
    void clicksNarrowTheSelectionAndRenameOnlyOnASlowSecondClick();
    void keySignalsSkipEditorAndAutoRepeat();
    void focusInsideFollowsTheShownView();
    void gridLinesShowOnlyInDetails();
    void dragOverAndDropGoToTheOwner();
    void worksWithFileSystemModel();
    void iconStylesShowLongNamesOverTwoLines();
    void rightClickSelectsTheRowAndAsksForTheMenu();
};

void FileListViewTest::findableByObjectNameWithPaneLayout()
{
    Pane pane;
    QCOMPARE(pane.window.findChild<FileListView *>(QStringLiteral("RpcList")), pane.list);
    QCOMPARE(pane.list->header()->sectionSize(0), 166);
    QCOMPARE(pane.list->header()->sectionSize(1), 105);
    QCOMPARE(pane.list->header()->sectionSize(2), 88);

    // Widths survive a new listing.
    pane.model.clear();
    pane.model.appendRow({"new", "", "", -1});
    QCOMPARE(pane.list->header()->sectionSize(0), 166);
    pane.list->setColumnWidths({200, 50});
    QCOMPARE(pane.list->header()->sectionSize(1), 50);
    QCOMPARE(pane.list->header()->sectionSize(2), 88);
}

void FileListViewTest::styleSwitchKeepsSelectionAndCurrentRow()
{
    Pane pane;
    QVERIFY(pane.show());
    FileListView *list = pane.list;
    list->setCurrentRow(1);
    list->selectionModel()->select(list->indexOfRow(3),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(pane.selectedCaptions(), QStringList({"alpha", "bravo"}));
    list->currentView()->setFocus();

    const QList<Style> styles = {Style::LargeIcons, Style::SmallIcons, Style::List, Style::Details,
                                 Style::List};
    for (Style style : styles) {
        list->setViewStyle(style);
        QCOMPARE(list->viewStyle(), style);
        QCOMPARE(list->currentView(), style == Style::Details
                                          ? static_cast<QAbstractItemView *>(list->detailView())
                                          : list->iconView());
        QVERIFY(list->currentView()->isVisible());
        QCOMPARE(pane.selectedCaptions(), QStringList({"alpha", "bravo"}));
        QCOMPARE(list->currentIndex().data().toString(), QString("alpha"));
        QVERIFY(list->hasFocusInside());
    }

    // Selecting in one style is what the others show; select-all covers every row.
    list->setCurrentRow(4);
    list->setViewStyle(Style::Details);
    QCOMPARE(pane.selectedCaptions(), QStringList({"charlie"}));
    list->selectAll();
    QCOMPARE(list->selectedRows().size(), 5);
    list->clearSelection();
    QVERIFY(list->selectedRows().isEmpty());
}

void FileListViewTest::headerClicksFollowTheSortRule()
{
    Pane pane;
    QVERIFY(pane.show());
    FileListView *list = pane.list;
    QHeaderView *header = list->header();
    QVERIFY(!header->isSortIndicatorShown()); // a listing is shown as given

    clickHeader(list, 0);
    QCOMPARE(pane.model.caption(0), QString("echo")); // descending: the first click reverses
    QVERIFY(header->isSortIndicatorShown());
    QCOMPARE(header->sortIndicatorSection(), 0);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);

    clickHeader(list, 2);
    QCOMPARE(header->sortIndicatorSection(), 2);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    QCOMPARE(pane.model.caption(0), QString("charlie")); // latest date first

    pane.model.clear();
    pane.model.appendRows({{"b", "", "", -1}, {"a", "", "", -1}});
    QVERIFY(!header->isSortIndicatorShown());
    QCOMPARE(pane.model.caption(0), QString("b"));
}

void FileListViewTest::renameAcceptedOrRefused()
{
    Pane pane;
    QVERIFY(pane.show());
    FileListView *list = pane.list;
    QList<QStringList> edits;
    connect(list, &FileListView::itemEdited, list,
            [&](int row, const QString &oldText, const QString &newText, bool *accept) {
                edits.append({QString::number(row), oldText, newText});
                if (newText == QLatin1String("refused"))
                    *accept = false;
            });
    list->currentView()->setFocus();
    list->setCurrentRow(2);

    for (Style style : {Style::Details, Style::LargeIcons}) {
        list->setViewStyle(style);
        list->editCurrent();
        QVERIFY(list->isEditing());
        QLineEdit *editor = pane.openEditor();
        QVERIFY(editor);
        QCOMPARE(editor->text(), pane.model.caption(2));
        editor->setText(QStringLiteral("refused"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(!list->isEditing());
        QCOMPARE(pane.model.caption(2), QString("echo"));
        QCOMPARE(edits.last(), QStringList({"2", "echo", "refused"}));
    }

    list->setViewStyle(Style::Details);
    list->editCurrent();
    pane.openEditor()->setText(QStringLiteral(" echo 2 "));
    QTest::keyClick(pane.openEditor(), Qt::Key_Return);
    QTRY_VERIFY(!list->isEditing());
    QCOMPARE(pane.model.caption(2), QString(" echo 2 "));
    QCOMPARE(edits.size(), 3);

    // Escape abandons the edit without asking the owner.
    list->editCurrent();
    pane.openEditor()->setText(QStringLiteral("never"));
    QTest::keyClick(pane.openEditor(), Qt::Key_Escape);
    QTRY_VERIFY(!list->isEditing());
    QCOMPARE(edits.size(), 3);
    QCOMPARE(pane.model.caption(2), QString(" echo 2 "));

    // F2 edits the name even when another column of the row is current.
    list->selectionModel()->setCurrentIndex(pane.model.index(3, 2),
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QTest::keyClick(list->detailView(), Qt::Key_F2);
    QVERIFY(list->isEditing());
    QCOMPARE(pane.openEditor()->text(), QString("bravo"));
    // Switching the style ends the edit as if confirmed.
    pane.openEditor()->setText(QStringLiteral("bravo2"));
    list->setViewStyle(Style::List);
    QVERIFY(!list->isEditing());
    QCOMPARE(pane.model.caption(3), QString("bravo2"));
}

void FileListViewTest::clicksNarrowTheSelectionAndRenameOnlyOnASlowSecondClick()
{
    Pane pane;
    QVERIFY(pane.show());
    FileListView *list = pane.list;
    QAbstractItemView *view = list->currentView();
    const auto click = [&](int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, modifiers,
                          view->visualRect(list->indexOfRow(row)).center());
    };
    // Long enough for a pending rename to have opened.
    const auto settle = [] { QTest::qWait(QApplication::doubleClickInterval() + 150); };

    // The click that focuses the list never renames, even on the one selected row.
    list->setCurrentRow(1);
    pane.elsewhere->setFocus();
    click(1);
    QVERIFY(view->hasFocus());
    settle();
    QVERIFY(!list->isEditing());

    // A click inside a multi-selection narrows it to that row and renames nothing;
    // neither does a Shift+click that follows.
    list->selectAll();
    click(2);
    QCOMPARE(pane.selectedCaptions(), QStringList{"echo"});
    settle();
    QVERIFY(!list->isEditing());
    click(2);
    click(4, Qt::ShiftModifier);
    settle();
    QVERIFY(!list->isEditing());
    QCOMPARE(pane.selectedCaptions(), QStringList({"echo", "bravo", "charlie"}));

    // A key pressed before the rename opens cancels it.
    list->setCurrentRow(0);
    click(0);
    QTest::keyClick(view, Qt::Key_Shift);
    settle();
    QVERIFY(!list->isEditing());

    // A slow second click on the one selected row renames it.
    click(0);
    QTRY_VERIFY(list->isEditing());
    QCOMPARE(pane.openEditor()->text(), QString("delta"));
}

void FileListViewTest::keySignalsSkipEditorAndAutoRepeat()
{
    Pane pane;
    QVERIFY(pane.show());
    FileListView *list = pane.list;
    QSignalSpy released(list, &FileListView::keyReleased);
    QSignalSpy pressed(list, &FileListView::keyPressed);
    list->setCurrentRow(0);
    QAbstractItemView *view = list->currentView();
    view->setFocus();

    QTest::keyRelease(view, Qt::Key_Delete);
    QTest::keyRelease(view, Qt::Key_V, Qt::ControlModifier); // V, then Ctrl itself
    QCOMPARE(released.count(), 3);
    QCOMPARE(released.at(0).at(0).toInt(), int(Qt::Key_Delete));
    QCOMPARE(released.at(1).at(0).toInt(), int(Qt::Key_V));
    QCOMPARE(released.at(1).at(1).value<Qt::KeyboardModifiers>(), Qt::KeyboardModifiers(Qt::ControlModifier));
    QCOMPARE(released.at(2).at(0).toInt(), int(Qt::Key_Control));

    QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_Delete, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(view, &repeat);
    QCOMPARE(released.count(), 3);

    QTest::keyPress(view, Qt::Key_Backspace);
    QCOMPARE(pressed.count(), 1);
    QCOMPARE(pressed.at(0).at(0).toInt(), int(Qt::Key_Backspace));

    // Keys typed into the name editor are not list keys.
    list->editCurrent();
    QLineEdit *editor = pane.openEditor();
    QVERIFY(editor);
    QTest::keyClick(editor, Qt::Key_Delete);
    QTest::keyClick(editor, Qt::Key_A);
    QCOMPARE(released.count(), 3);
    // The release of the Enter that ended the edit reaches the list.
    QTest::keyPress(editor, Qt::Key_Return);
    QTRY_VERIFY(!list->isEditing());
    QTest::keyRelease(view, Qt::Key_Return);
    QCOMPARE(released.count(), 4);
    QCOMPARE(released.last().at(0).toInt(), int(Qt::Key_Return));
}

void FileListViewTest::focusInsideFollowsTheShownView()
{
    Pane pane;
    QVERIFY(pane.show());
    FileListView *list = pane.list;
    pane.elsewhere->setFocus();
    QVERIFY(!list->hasFocusInside());
    list->setFocus(); // goes to the view of the current style
    QVERIFY(list->detailView()->hasFocus());
    QVERIFY(list->hasFocusInside());
    list->setViewStyle(Style::SmallIcons);
    QVERIFY(list->iconView()->hasFocus());
    pane.elsewhere->setFocus();
    QVERIFY(!list->hasFocusInside());
    // Switching while the focus is elsewhere does not steal it.
    list->setViewStyle(Style::Details);
    QVERIFY(pane.elsewhere->hasFocus());
    list->setCurrentRow(0);
    list->setFocus();
    list->editCurrent();
    QVERIFY(!list->detailView()->hasFocus()); // the editor has it
    QVERIFY(list->hasFocusInside());
}

void FileListViewTest::gridLinesShowOnlyInDetails()
{
    Pane pane({"a", "b"});
    QVERIFY(pane.show());
    FileListView *list = pane.list;
    list->clearSelection();

    const QImage plain = grabViewport(list->detailView());
    list->setGridLines(true);
    QVERIFY(list->gridLines());
    const QImage ruled = grabViewport(list->detailView());
    QVERIFY(plain != ruled);
    // The grid also rules the empty part below the rows, like the classic report view.
    const int below = list->detailView()->visualRect(list->indexOfRow(1)).bottom() + 40;
    int lineRows = 0;
    for (int y = below; y < ruled.height(); ++y)
        lineRows += ruled.pixel(20, y) != plain.pixel(20, y) ? 1 : 0;
    QVERIFY(lineRows > 0);
    // And the boundary between the first two columns.
    const int x = list->header()->sectionSize(0) - 1;
    QVERIFY(ruled.pixel(x, ruled.height() - 2) != plain.pixel(x, plain.height() - 2));

    for (Style style : {Style::LargeIcons, Style::SmallIcons, Style::List}) {
        list->setViewStyle(style);
        list->setGridLines(false);
        const QImage off = grabViewport(list->iconView());
        list->setGridLines(true);
        QCOMPARE(grabViewport(list->iconView()), off);
    }
    // The setting is kept for when the details view returns.
    list->setViewStyle(Style::Details);
    QCOMPARE(grabViewport(list->detailView()), ruled);
}

void FileListViewTest::dragOverAndDropGoToTheOwner()
{
    Pane pane;
    QVERIFY(pane.show());
    FileListView *list = pane.list;
    QWidget *viewport = list->detailView()->viewport();
    const QPoint overRow = list->detailView()->visualRect(list->indexOfRow(1)).center();
    QMimeData mime;
    mime.setText(QStringLiteral("payload"));

    // Nobody connected: the drag is refused.
    QDragEnterEvent refused(overRow, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &refused);
    QVERIFY(!refused.isAccepted());

    QModelIndex overTarget;
    QString droppedText;
    QModelIndex dropTarget;
    int overCalls = 0;
    connect(list, &FileListView::dragOver, list, [&](QDragMoveEvent *event, const QModelIndex &target) {
        ++overCalls;
        overTarget = target;
        event->acceptProposedAction();
    });
    connect(list, &FileListView::dropped, list, [&](QDropEvent *event, const QModelIndex &target) {
        droppedText = event->mimeData()->text();
        dropTarget = target;
        event->acceptProposedAction();
    });
    QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    QVERIFY(enter.isAccepted());
    QDragMoveEvent move(overRow, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    QVERIFY(move.isAccepted());
    QCOMPARE(overCalls, 2);
    QCOMPARE(overTarget.data().toString(), QString("alpha"));

    QDropEvent drop(overRow, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    QVERIFY(drop.isAccepted());
    QCOMPARE(droppedText, QString("payload"));
    QCOMPARE(dropTarget.data().toString(), QString("alpha"));
    QCOMPARE(pane.model.rowCount(), 5); // the model itself never takes a drop

    QCOMPARE(FileListView::fromDragSource(viewport), list);
    QCOMPARE(FileListView::fromDragSource(pane.elsewhere), nullptr);

    // The icon styles reset drag and drop when switched; the list restores them.
    list->setDropEnabled(false);
    list->setViewStyle(Style::LargeIcons);
    QVERIFY(!list->iconView()->viewport()->acceptDrops());
    QVERIFY(list->iconView()->dragEnabled());
}

void FileListViewTest::worksWithFileSystemModel()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const char *name : {"b.txt", "a.txt", "c.txt"}) {
        QFile file(dir.filePath(QLatin1String(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));

    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *list = new FileListView(&window);
    list->setObjectName(QStringLiteral("ShellList"));
    layout->addWidget(list);
    QFileSystemModel model;
    model.setReadOnly(false);
    const QModelIndex root = model.setRootPath(dir.path());
    list->setModel(&model);
    list->setRootIndex(root);
    window.resize(600, 400);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTRY_COMPARE(list->rowCount(), 4);
    QCOMPARE(list->header()->count(), model.columnCount(root));

    // Sorted by name, folders first; a header click sorts through the model.
    QTRY_COMPARE(list->indexOfRow(0).data().toString(), QString("folder"));
    QTRY_COMPARE(list->indexOfRow(1).data().toString(), QString("a.txt"));
    clickHeader(list, 0);
    QTRY_COMPARE(list->indexOfRow(0).data().toString(), QString("c.txt"));
    clickHeader(list, 0);
    QTRY_COMPARE(list->indexOfRow(1).data().toString(), QString("a.txt"));

    // In-place rename goes through the model to the file system, unless refused.
    bool refuse = true;
    connect(list, &FileListView::itemEdited, list,
            [&](int, const QString &, const QString &, bool *accept) { *accept = !refuse; });
    list->setFocus();
    list->setCurrentRow(1);
    list->editCurrent();
    QLineEdit *editor = visibleEditor(list->detailView());
    QVERIFY(editor);
    editor->setText(QStringLiteral("renamed.txt"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!list->isEditing());
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("a.txt"))));

    refuse = false;
    list->setViewStyle(Style::List);
    list->setCurrentRow(1);
    list->editCurrent();
    editor = visibleEditor(list->iconView());
    QVERIFY(editor);
    editor->setText(QStringLiteral("renamed.txt"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!list->isEditing());
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("renamed.txt"))));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("a.txt"))));
    list->setModel(nullptr); // the list lets go of a model before it goes away
}

void FileListViewTest::iconStylesShowLongNamesOverTwoLines()
{
    using vexo::RenameDelegate;
    // A short name first: the list sizes every item alike, from the first.
    Pane pane({"a", "INVENTORY2026.CSV", "a_name_far_too_long_for_two_lines_of_any_icon_cell.txt"});
    QVERIFY(pane.show());
    const int line = QFontMetrics(pane.list->font()).lineSpacing();
    for (const Style style : {Style::LargeIcons, Style::SmallIcons}) {
        pane.list->setViewStyle(style);
        QListView *view = pane.list->iconView();
        const int icon = style == Style::LargeIcons ? 32 : 0;
        for (int row = 0; row < 3; ++row)
            QVERIFY(view->visualRect(pane.list->indexOfRow(row)).height() >= icon + 2 * line);
        // The focused list's current item is framed round its cell (not by a
        // sliver round its emptied text); without the focus, nothing.
        view->setFocus();
        pane.list->setCurrentRow(1);
        pane.list->clearSelection();
        QTRY_VERIFY(view->hasFocus());
        const QRect cell = view->visualRect(pane.list->indexOfRow(1));
        const QPoint rim(cell.left() + 1, cell.center().y());
        const QColor base = view->palette().color(QPalette::Base);
        QVERIFY(grabViewport(view).pixelColor(rim) != base);
        pane.elsewhere->setFocus();
        QTRY_VERIFY(!view->hasFocus());
        QCOMPARE(grabViewport(view).pixelColor(rim), base);
    }

    const QFont font = pane.list->font();
    const int width = 86;
    QCOMPARE(RenameDelegate::wrappedName("a", font, width, 2), QStringList{"a"});
    // Wrapped inside the word, and whole.
    const QStringList two = RenameDelegate::wrappedName("INVENTORY2026.CSV", font, width, 2);
    QCOMPARE(two.size(), 2);
    QCOMPARE(two.join(QString()), QStringLiteral("INVENTORY2026.CSV"));
    // A name just too long for a line breaks before its extension.
    const int welcome = QFontMetrics(font).horizontalAdvance("WELCOME.TXT");
    QCOMPARE(RenameDelegate::wrappedName("WELCOME.TXT", font, welcome - 1, 2),
             (QStringList{"WELCOME", ".TXT"}));
    QCOMPARE(RenameDelegate::wrappedName("WELCOME.TXT", font, welcome, 2), QStringList{"WELCOME.TXT"});
    // Only what does not fit in two lines is elided.
    const QStringList cut =
        RenameDelegate::wrappedName("a_name_far_too_long_for_two_lines_of_any_icon_cell.txt", font, width, 2);
    QCOMPARE(cut.size(), 2);
    QVERIFY(cut.first().startsWith("a_name"));
    QVERIFY(cut.last().endsWith(QChar(0x2026)));
    for (const QString &text : cut)
        QVERIFY(QFontMetrics(font).horizontalAdvance(text) <= width);
}

void FileListViewTest::rightClickSelectsTheRowAndAsksForTheMenu()
{
    Pane pane;
    QVERIFY(pane.show());
    QSignalSpy asked(pane.list, &FileListView::contextMenuRequested);
    for (const Style style : {Style::Details, Style::LargeIcons}) {
        pane.list->setViewStyle(style);
        asked.clear();
        QAbstractItemView *view = pane.list->currentView();
        const QPoint at = view->visualRect(pane.list->indexOfRow(2)).center();
        QTest::mouseClick(pane.window.windowHandle(), Qt::RightButton, {},
                          view->viewport()->mapTo(&pane.window, at));
        QTRY_COMPARE(asked.size(), 1);
        QCOMPARE(asked.first().first().toPoint(), view->viewport()->mapToGlobal(at));
        QCOMPARE(pane.selectedCaptions(), QStringList{"echo"});
    }
    // The Menu key opens it at the current row.
    asked.clear();
    pane.list->setCurrentRow(1);
    QAbstractItemView *view = pane.list->currentView();
    QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(5, 5), view->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(view, &key);
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked.first().first().toPoint(),
             view->viewport()->mapToGlobal(view->visualRect(pane.list->indexOfRow(1)).bottomLeft()));
}

QTEST_MAIN(FileListViewTest)
#include "FileListViewTest.moc"
