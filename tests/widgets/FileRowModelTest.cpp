#include "widgets/FileRowModel.h"

#include <QItemSelectionModel>
#include <QSignalSpy>
#include <QTest>

using vexo::FileRow;
using vexo::FileRowModel;

namespace
{

QStringList captions(const FileRowModel &model)
{
    QStringList out;
    for (int r = 0; r < model.rowCount(); ++r)
        out << model.caption(r);
    return out;
}

QVector<FileRow> listing(const QStringList &names)
{
    QVector<FileRow> rows;
    for (int i = 0; i < names.size(); ++i)
        rows.append(
            {names.at(i), QStringLiteral("%1 B").arg(i, 10), QStringLiteral("2024/01/%1").arg(10 + i), 0});
    return rows;
}

} // namespace

class FileRowModelTest : public QObject
{
    Q_OBJECT
private slots:
    void firstClickOnNameReverses();
    void otherColumnKeepsDirection();
    void newListingIsUnsortedButKeepsState();
    void sortIsStableAndSelectionFollowsRows();
    void batchedAppendNotifiesRarely();
    void batchRowsAppearWithoutEndBatch();
    void clearDropsPendingRows();
    void editingRenamingAndRemoving();
    void iconsByIndex();
};

void FileRowModelTest::firstClickOnNameReverses()
{
    FileRowModel model;
    model.appendRows(listing({"beta", "alpha", "gamma"}));
    QCOMPARE(captions(model), QStringList({"beta", "alpha", "gamma"}));
    QVERIFY(!model.isSorted());
    QCOMPARE(model.sortColumn(), int(FileRowModel::NameColumn));
    QCOMPARE(model.sortOrder(), Qt::AscendingOrder);

    // The list counts as sorted ascending by name, so the first click reverses.
    model.clickColumn(FileRowModel::NameColumn);
    QCOMPARE(captions(model), QStringList({"gamma", "beta", "alpha"}));
    QCOMPARE(model.sortOrder(), Qt::DescendingOrder);
    QVERIFY(model.isSorted());

    model.clickColumn(FileRowModel::NameColumn);
    QCOMPARE(captions(model), QStringList({"alpha", "beta", "gamma"}));
    QCOMPARE(model.sortOrder(), Qt::AscendingOrder);
}

void FileRowModelTest::otherColumnKeepsDirection()
{
    FileRowModel model;
    // Sizes and dates are stored as given and compared as text.
    model.appendRows({{"a", "        30 B", "2023/05/01", 0},
                      {"b", "       100 B", "2021/01/09", 0},
                      {"c", "         2 B", "2022/12/31", 0}});
    model.clickColumn(FileRowModel::NameColumn); // descending by name
    model.clickColumn(FileRowModel::SizeColumn);
    QCOMPARE(model.sortColumn(), int(FileRowModel::SizeColumn));
    QCOMPARE(model.sortOrder(), Qt::DescendingOrder);
    QCOMPARE(captions(model), QStringList({"b", "a", "c"}));

    model.clickColumn(FileRowModel::SizeColumn); // same column: reverses
    QCOMPARE(captions(model), QStringList({"c", "a", "b"}));
    model.clickColumn(FileRowModel::DateColumn); // ascending carried over
    QCOMPARE(model.sortOrder(), Qt::AscendingOrder);
    QCOMPARE(captions(model), QStringList({"b", "c", "a"}));

    model.clickColumn(7); // no such column: nothing changes
    QCOMPARE(model.sortColumn(), int(FileRowModel::DateColumn));
    QCOMPARE(captions(model), QStringList({"b", "c", "a"}));
}

void FileRowModelTest::newListingIsUnsortedButKeepsState()
{
    FileRowModel model;
    QSignalSpy state(&model, &FileRowModel::sortStateChanged);
    model.appendRows(listing({"b", "c", "a"}));
    model.clickColumn(FileRowModel::SizeColumn); // ascending by size
    QVERIFY(model.isSorted());

    model.clear();
    QVERIFY(!model.isSorted());
    model.appendRows(listing({"z", "x", "y"}));
    QCOMPARE(captions(model), QStringList({"z", "x", "y"}));
    QCOMPARE(model.sortColumn(), int(FileRowModel::SizeColumn));
    QCOMPARE(model.sortOrder(), Qt::AscendingOrder);

    // Appending to a sorted list also leaves it unsorted.
    model.clickColumn(FileRowModel::NameColumn);
    QVERIFY(model.isSorted());
    model.appendRow({"a", "", "", 0});
    QVERIFY(!model.isSorted());
    QCOMPARE(model.caption(3), QString("a"));
    QVERIFY(state.count() >= 4);

    // The remembered column decides the next click.
    model.clickColumn(FileRowModel::NameColumn);
    QCOMPARE(model.sortOrder(), Qt::DescendingOrder);
}

void FileRowModelTest::sortIsStableAndSelectionFollowsRows()
{
    FileRowModel model;
    model.appendRows({{"one", "same", "d", 0},
                      {"two", "same", "d", 0},
                      {"three", "other", "d", 0},
                      {"four", "same", "d", 0}});
    QItemSelectionModel selection(&model);
    selection.select(model.index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection.setCurrentIndex(model.index(3, 0), QItemSelectionModel::NoUpdate);

    model.clickColumn(FileRowModel::SizeColumn); // ascending: ties keep their listing order
    QCOMPARE(captions(model), QStringList({"three", "one", "two", "four"}));
    model.clickColumn(FileRowModel::SizeColumn); // descending: ties still in listing order
    QCOMPARE(captions(model), QStringList({"one", "two", "four", "three"}));

    const QModelIndexList selected = selection.selectedRows();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(model.caption(selected.first().row()), QString("two"));
    QVERIFY(selection.isRowSelected(1, {}));
    QCOMPARE(model.caption(selection.currentIndex().row()), QString("four"));
}

void FileRowModelTest::batchedAppendNotifiesRarely()
{
    FileRowModel model;
    QSignalSpy inserted(&model, &FileRowModel::rowsInserted);
    model.beginBatch();
    for (int i = 0; i < 10000; ++i)
        model.appendRow({QStringLiteral("file%1.txt").arg(i, 5, 10, QLatin1Char('0')), "", "", 0});
    model.endBatch();
    QCOMPARE(model.rowCount(), 10000);
    QCOMPARE(model.pendingCount(), 0);
    QCOMPARE(model.caption(0), QString("file00000.txt"));
    QCOMPARE(model.caption(9999), QString("file09999.txt"));
    // One notification per flush interval at most, never one per row.
    QVERIFY2(inserted.count() < 100, qPrintable(QString::number(inserted.count())));
    int total = 0;
    for (const QList<QVariant> &args : inserted)
        total += args.at(2).toInt() - args.at(1).toInt() + 1;
    QCOMPARE(total, 10000);

    // Outside a batch each row is shown at once.
    inserted.clear();
    model.appendRow({"single", "", "", 0});
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(model.rowCount(), 10001);
}

void FileRowModelTest::batchRowsAppearWithoutEndBatch()
{
    FileRowModel model;
    model.beginBatch();
    model.beginBatch(); // nested: only the outer end flushes
    model.appendRow({"a", "", "", 0});
    model.appendRow({"b", "", "", 0});
    model.endBatch();
    QVERIFY(model.inBatch());
    // The flush timer shows rows of a listing that is still running.
    QTRY_COMPARE_WITH_TIMEOUT(model.rowCount(), 2, 5000);
    model.appendRow({"c", "", "", 0});
    model.endBatch();
    QVERIFY(!model.inBatch());
    QCOMPARE(captions(model), QStringList({"a", "b", "c"}));
    model.endBatch(); // unbalanced end is harmless
    QCOMPARE(model.rowCount(), 3);
}

void FileRowModelTest::clearDropsPendingRows()
{
    FileRowModel model;
    model.appendRows(listing({"old1", "old2"}));
    model.beginBatch();
    model.appendRow({"pending", "", "", 0});
    model.clear();
    model.appendRow({"fresh", "", "", 0});
    model.endBatch();
    QCOMPARE(captions(model), QStringList({"fresh"}));
}

void FileRowModelTest::editingRenamingAndRemoving()
{
    FileRowModel model;
    model.appendRows(listing({"a", "b", "c", "d"}));
    QSignalSpy changed(&model, &FileRowModel::dataChanged);
    QVERIFY(model.setData(model.index(1, 0), QStringLiteral("  名字 .TXT ")));
    QCOMPARE(model.caption(1), QStringLiteral("  名字 .TXT ")); // kept exactly
    QCOMPARE(changed.count(), 1);
    QVERIFY(!model.setData(model.index(1, 1), QStringLiteral("x")));
    QVERIFY(!model.setCaption(9, QStringLiteral("x")));

    QVERIFY(model.removeRows(1, 2));
    QCOMPARE(captions(model), QStringList({"a", "d"}));
    QVERIFY(!model.removeRows(1, 5));
    QVERIFY(!model.removeRows(-1, 1));
    QCOMPARE(model.rowCount(), 2);
}

void FileRowModelTest::iconsByIndex()
{
    FileRowModel model;
    QPixmap red(32, 32);
    red.fill(Qt::red);
    QPixmap blue(32, 32);
    blue.fill(Qt::blue);
    QCOMPARE(model.addIcon(QIcon(red)), 0);
    QCOMPARE(model.addIcon(QIcon(blue)), 1);
    model.appendRows({{"r", "", "", 0}, {"b", "", "", 1}, {"none", "", "", -1}, {"far", "", "", 42}});

    auto colourOf = [&](int row, int size) {
        const QIcon icon = model.index(row, 0).data(Qt::DecorationRole).value<QIcon>();
        return icon.pixmap(size, size).toImage().pixelColor(size / 2, size / 2);
    };
    QCOMPARE(colourOf(0, 16), QColor(Qt::red));
    QCOMPARE(colourOf(1, 32), QColor(Qt::blue)); // same index serves the large view
    // Rows without a usable index still get an icon.
    QVERIFY(!model.index(2, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    QVERIFY(!model.index(3, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    QVERIFY(!model.index(0, 1).data(Qt::DecorationRole).isValid());

    QSignalSpy changed(&model, &FileRowModel::dataChanged);
    model.setIcons({QIcon(blue)});
    QCOMPARE(changed.count(), 1);
    QCOMPARE(colourOf(0, 16), QColor(Qt::blue));
}

QTEST_MAIN(FileRowModelTest)
#include "FileRowModelTest.moc"
