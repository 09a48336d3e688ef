#pragma once

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QIcon>
#include <QList>
#include <QStringList>
#include <QTimer>
#include <QVector>

namespace vexo
{

// One row of the device or image pane: three texts and an icon index.
struct FileRow {
    QString caption;    // the file name exactly as the disk gives it
    QString sizeText;   // shown as given
    QString dateText;   // shown as given
    int iconIndex = -1; // index into the model's icon list; -1 or out of range = generic file icon
    qint64 size = -1;   // bytes as listed, -1 where not known (a copy's plan takes it from here)
};

// The rows of the device and image panes (columns: name, size, date).
//
// The model stores the texts it is given and never reformats them. Sorting
// follows the panes' header-click rule (see clickColumn); a new listing is
// shown unsorted, in the order appended. Rows appended inside a batch reach the
// views at most every FlushIntervalMs, so a long listing does not relayout its
// views once per row. Use it on the window thread only; a listing thread posts
// its rows there.
class FileRowModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { NameColumn = 0, SizeColumn = 1, DateColumn = 2, ColumnCount = 3 };
    static constexpr int FlushIntervalMs = 50;

    explicit FileRowModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    // DisplayRole: the column's text; EditRole (name column): the caption;
    // DecorationRole (name column): the row's icon.
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // Name cells are editable (unless setEditable(false)); all rows can be dragged.
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // EditRole on the name column sets the caption; everything else is refused.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    bool removeRows(int row, int count, const QModelIndex &parent = QModelIndex()) override;
    // Stable sort by the column's text with QString::localeAwareCompare;
    // records the column and direction as the last used ones.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // The row at position `row` (0-based, 0 <= row < rowCount()).
    const FileRow &row(int row) const { return m_rows.at(row); }
    // Caption of `row`; empty when out of range.
    QString caption(int row) const;
    // Sets the caption of `row`; false when out of range. Does not re-sort.
    bool setCaption(int row, const QString &caption);

    // Removes every row, including rows still waiting in a batch. The list
    // becomes unsorted; the remembered sort column and direction stay.
    void clear();
    // Appends one row. Outside a batch it is shown at once; inside a batch it
    // is shown at the next flush (within FlushIntervalMs, or at endBatch).
    void appendRow(const FileRow &row);
    // Appends all rows with one insert notification (pending batch rows first).
    void appendRows(const QVector<FileRow> &rows);
    // Batches nest; the outermost endBatch flushes what is still pending.
    void beginBatch();
    void endBatch();
    bool inBatch() const { return m_batchDepth > 0; }
    // Rows appended in the current batch that the views do not show yet.
    int pendingCount() const { return m_pending.size(); }
    // Shows all pending rows now.
    void flushPending();

    // The pane's icon list: rows refer to it by index (the same index for small
    // and large views). Changing the list repaints the icons.
    void setIcons(const QList<QIcon> &icons);
    // Appends an icon and returns its index.
    int addIcon(const QIcon &icon);
    // The icon at `index`; a null icon when out of range.
    QIcon icon(int index) const { return m_icons.value(index); }
    int iconCount() const { return m_icons.size(); }

    // Header titles of the three columns (name, size, date).
    void setColumnTitles(const QStringList &titles);
    QStringList columnTitles() const { return m_titles; }

    // In-place editing of the name column (on by default).
    void setEditable(bool editable) { m_editable = editable; }
    bool isEditable() const { return m_editable; }

    // Header-click sorting. The list starts as if sorted ascending by the name
    // column. A click on the column sorted last reverses the direction; a click
    // on another column sorts by it in the direction used last.
    void clickColumn(int column);
    // The column and direction used last (initially NameColumn, ascending).
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }
    // True when the rows are currently in the order of sortColumn/sortOrder;
    // false for a new listing (after clear or append) until the next sort.
    bool isSorted() const { return m_sorted; }

signals:
    // sortColumn, sortOrder or isSorted changed.
    void sortStateChanged();

private:
    void setSorted(bool sorted);
    QString cellText(const FileRow &row, int column) const;

    QVector<FileRow> m_rows;
    QVector<FileRow> m_pending;
    QList<QIcon> m_icons;
    QStringList m_titles;
    mutable QIcon m_fallbackIcon; // made on first use: it needs the application style
    QTimer m_flushTimer;
    QElapsedTimer m_sinceFlush;
    int m_batchDepth = 0;
    int m_sortColumn = NameColumn;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    bool m_sorted = false;
    bool m_editable = true;
};

} // namespace vexo
