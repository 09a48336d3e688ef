#include "widgets/FileListView.h"

#include "widgets/DetailModeView.h"
#include "widgets/FileRowModel.h"
#include "widgets/IconModeView.h"
#include "widgets/RenameDelegate.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QDropEvent>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace vexo
{

namespace
{

void setUpView(QAbstractItemView *view, RenameDelegate *delegate)
{
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    // F2 and the slow second click are handled by the list itself: the view's
    // own click trigger also fires inside a multi-selection and keeps the
    // click from reducing the selection to the clicked row.
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setItemDelegate(delegate);
    view->setDragEnabled(true);
    view->setAcceptDrops(true);
    view->setDropIndicatorShown(false);
    view->setDragDropMode(QAbstractItemView::DragDrop);
    view->setDefaultDropAction(Qt::CopyAction);
}

} // namespace

FileListView::FileListView(QWidget *parent) : QWidget(parent)
{
    m_stack = new QStackedWidget(this);
    m_listDelegate = new RenameDelegate(this, this);
    m_detailDelegate = new RenameDelegate(this, this);
    m_list = new IconModeView(this, this);
    m_list->setObjectName(QStringLiteral("iconModeView"));
    m_detail = new DetailModeView(this, this);
    m_detail->setObjectName(QStringLiteral("detailModeView"));
    for (QAbstractItemView *view :
         {static_cast<QAbstractItemView *>(m_list), static_cast<QAbstractItemView *>(m_detail)}) {
        setUpView(view, view == m_list ? m_listDelegate : m_detailDelegate);
        view->installEventFilter(this);
        view->viewport()->installEventFilter(this);
        connect(view, &QAbstractItemView::doubleClicked, this,
                [this](const QModelIndex &index) { emit itemDoubleClicked(index.siblingAtColumn(0)); });
        connect(view, &QAbstractItemView::activated, this,
                [this](const QModelIndex &index) { emit itemActivated(index.siblingAtColumn(0)); });
        view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(view, &QWidget::customContextMenuRequested, this, [this, view](const QPoint &pos) {
            emit contextMenuRequested(view->viewport()->mapToGlobal(pos));
        });
        m_stack->addWidget(view);
    }
    m_renameTimer = new QTimer(this);
    m_renameTimer->setSingleShot(true);
    connect(m_renameTimer, &QTimer::timeout, this, &FileListView::startPendingRename);
    m_list->setUniformItemSizes(true);
    m_list->setLayoutMode(QListView::Batched);
    m_list->setBatchSize(200);
    connect(m_detail->header(), &QHeaderView::sectionClicked, this, &FileListView::onHeaderClicked);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_stack);
    setFont(defaultFont());
    setViewStyle(ViewStyle::Details);
}

FileListView::~FileListView() = default;

QFont FileListView::defaultFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("NSimSun"),
                      QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("DejaVu Sans")});
    font.setPixelSize(12);
    return font;
}

FileListView *FileListView::fromDragSource(QObject *source)
{
    for (QObject *o = source; o; o = o->parent()) {
        if (auto *list = qobject_cast<FileListView *>(o))
            return list;
    }
    return nullptr;
}

void FileListView::setModel(QAbstractItemModel *model)
{
    finishEditing();
    for (const QMetaObject::Connection &c : std::as_const(m_modelConnections))
        disconnect(c);
    m_modelConnections.clear();

    QItemSelectionModel *oldShared = m_selection;
    m_model = model;
    m_list->setModel(model);
    m_detail->setModel(model);
    // Each view made a selection model of its own; one shared model keeps the
    // selection and current row when the style changes.
    m_selection = nullptr;
    if (model) {
        QItemSelectionModel *madeByList = m_list->selectionModel();
        QItemSelectionModel *madeByDetail = m_detail->selectionModel();
        m_selection = new QItemSelectionModel(model, this);
        m_list->setSelectionModel(m_selection);
        m_detail->setSelectionModel(m_selection);
        for (QItemSelectionModel *made : {madeByList, madeByDetail}) {
            if (made && made != oldShared)
                made->deleteLater();
        }
    }
    if (oldShared)
        oldShared->deleteLater();

    auto *rows = qobject_cast<FileRowModel *>(model);
    if (rows) {
        m_detail->setSortingEnabled(false);
        m_detail->header()->setSectionsClickable(true);
        m_modelConnections << connect(rows, &FileRowModel::sortStateChanged, this,
                                      &FileListView::updateSortIndicator);
        updateSortIndicator();
    } else if (model) {
        m_detail->header()->setSortIndicator(0, Qt::AscendingOrder);
        m_detail->setSortingEnabled(true);
    }
    if (model) {
        m_modelConnections << connect(model, &QAbstractItemModel::modelReset, this,
                                      &FileListView::applyColumnWidths);
        m_modelConnections << connect(model, &QAbstractItemModel::columnsInserted, this,
                                      &FileListView::applyColumnWidths);
    }
    applyColumnWidths();
}

void FileListView::setRootIndex(const QModelIndex &index)
{
    finishEditing();
    m_list->setRootIndex(index);
    m_detail->setRootIndex(index);
}

QModelIndex FileListView::rootIndex() const
{
    return m_detail->rootIndex();
}

void FileListView::configureIconModeView()
{
    // Icon cells hold a name of two lines (RenameDelegate wraps it).
    const int names = RenameDelegate::NameLines * QFontMetrics(m_list->font()).lineSpacing();
    switch (m_style) {
    case ViewStyle::LargeIcons:
        m_list->setViewMode(QListView::IconMode);
        m_list->setFlow(QListView::LeftToRight);
        m_list->setIconSize(QSize(32, 32));
        m_list->setGridSize(QSize(88, qMax(70, 32 + names + 9)));
        m_list->setWordWrap(true);
        m_list->setTextElideMode(Qt::ElideRight);
        break;
    case ViewStyle::SmallIcons:
        m_list->setViewMode(QListView::ListMode);
        m_list->setFlow(QListView::LeftToRight);
        m_list->setIconSize(QSize(16, 16));
        m_list->setGridSize(QSize(180, qMax(20, names + 6)));
        m_list->setWordWrap(true);
        break;
    case ViewStyle::List:
    case ViewStyle::Details:
        m_list->setViewMode(QListView::ListMode);
        m_list->setFlow(QListView::TopToBottom);
        m_list->setIconSize(QSize(16, 16));
        m_list->setGridSize(QSize(200, 20));
        m_list->setWordWrap(false);
        break;
    }
    // Setting the view mode resets these.
    m_list->setMovement(QListView::Static);
    m_list->setWrapping(true);
    m_list->setResizeMode(QListView::Adjust);
    // Both of the above also switch dragging and dropping; restore ours.
    m_list->setDragEnabled(m_dragEnabled);
    m_list->setAcceptDrops(m_dropEnabled);
}

void FileListView::setViewStyle(ViewStyle style)
{
    QAbstractItemView *before = currentView();
    const bool hadFocus = hasFocusInside();
    finishEditing();
    m_style = style;
    if (style == ViewStyle::Details) {
        m_stack->setCurrentWidget(m_detail);
    } else {
        configureIconModeView();
        m_stack->setCurrentWidget(m_list);
    }
    QAbstractItemView *now = currentView();
    setFocusProxy(now);
    if (hadFocus && before != now)
        now->setFocus(Qt::OtherFocusReason);
    if (m_selection && m_selection->currentIndex().isValid())
        now->scrollTo(m_selection->currentIndex());
}

void FileListView::setGridLines(bool on)
{
    m_gridLines = on;
    m_detail->setGridLines(on);
}

void FileListView::setColumnWidths(const QList<int> &widths)
{
    m_columnWidths = widths;
    applyColumnWidths();
}

void FileListView::setHiddenColumns(const QList<int> &columns)
{
    m_hiddenColumns = columns;
    applyColumnWidths();
}

void FileListView::applyColumnWidths()
{
    QHeaderView *head = m_detail->header();
    for (int i = 0; i < m_columnWidths.size() && i < head->count(); ++i)
        head->resizeSection(i, m_columnWidths.at(i));
    for (int i = 0; i < head->count(); ++i)
        head->setSectionHidden(i, m_hiddenColumns.contains(i));
}

void FileListView::setDragEnabled(bool on)
{
    m_dragEnabled = on;
    m_list->setDragEnabled(on);
    m_detail->setDragEnabled(on);
}

void FileListView::setDropEnabled(bool on)
{
    m_dropEnabled = on;
    m_list->setAcceptDrops(on);
    m_detail->setAcceptDrops(on);
}

int FileListView::rowCount() const
{
    return m_model ? m_model->rowCount(rootIndex()) : 0;
}

QModelIndex FileListView::indexOfRow(int row) const
{
    return m_model ? m_model->index(row, 0, rootIndex()) : QModelIndex();
}

bool FileListView::isRowSelected(int row) const
{
    return m_selection && m_selection->isRowSelected(row, rootIndex());
}

QModelIndexList FileListView::selectedRows() const
{
    if (!m_selection)
        return {};
    QModelIndexList rows;
    const QModelIndex root = rootIndex();
    for (const QModelIndex &index : m_selection->selectedRows(0)) {
        if (index.parent() == root)
            rows.append(index);
    }
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex &a, const QModelIndex &b) { return a.row() < b.row(); });
    return rows;
}

void FileListView::selectAll()
{
    currentView()->selectAll();
}

void FileListView::clearSelection()
{
    if (m_selection)
        m_selection->clearSelection();
}

QModelIndex FileListView::currentIndex() const
{
    if (!m_selection)
        return {};
    const QModelIndex current = m_selection->currentIndex();
    return current.isValid() ? current.siblingAtColumn(0) : QModelIndex();
}

void FileListView::setCurrentRow(int row)
{
    if (!m_selection)
        return;
    const QModelIndex index = indexOfRow(row);
    if (!index.isValid()) {
        m_selection->clear();
        return;
    }
    m_selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void FileListView::editCurrent()
{
    const QModelIndex current = currentIndex();
    if (!current.isValid())
        return;
    currentView()->scrollTo(current);
    currentView()->edit(current);
}

bool FileListView::isEditing() const
{
    return m_listDelegate->openEditor() || m_detailDelegate->openEditor();
}

void FileListView::cancelPendingRename()
{
    m_renameTimer->stop();
    m_renameRow = QPersistentModelIndex();
}

void FileListView::startPendingRename()
{
    const QModelIndex row = m_renameRow;
    m_renameRow = QPersistentModelIndex();
    const QModelIndexList selected = selectedRows();
    if (row.isValid() && selected.size() == 1 && selected.first() == row && currentIndex() == row &&
        currentView()->hasFocus() && !isEditing())
        editCurrent();
}

void FileListView::viewportMouseEvent(QAbstractItemView *view, QEvent *event)
{
    const auto *mouse = static_cast<QMouseEvent *>(event);
    const bool plainLeft = mouse->button() == Qt::LeftButton && mouse->modifiers() == Qt::NoModifier;
    const QModelIndex at = view->indexAt(mouse->position().toPoint()).siblingAtColumn(0);
    if (event->type() == QEvent::MouseButtonPress) {
        cancelPendingRename();
        const QModelIndexList selected = selectedRows();
        if (plainLeft && !m_focusedByClick && at.isValid() && selected.size() == 1 &&
            selected.first() == at && currentIndex() == at)
            m_renameRow = at;
        m_focusedByClick = false;
    } else if (event->type() == QEvent::MouseButtonRelease) {
        // Waits out the double-click interval: a double click opens the row instead.
        if (plainLeft && m_renameRow.isValid() && at == m_renameRow)
            m_renameTimer->start(QApplication::doubleClickInterval());
        else
            cancelPendingRename();
    } else {
        cancelPendingRename();
    }
}

void FileListView::finishEditing()
{
    if (QWidget *editor = m_listDelegate->openEditor())
        m_list->finishEditing(editor);
    if (QWidget *editor = m_detailDelegate->openEditor())
        m_detail->finishEditing(editor);
}

bool FileListView::hasFocusInside() const
{
    const QWidget *focus = QApplication::focusWidget();
    return focus && (focus == this || isAncestorOf(focus));
}

QAbstractItemView *FileListView::currentView() const
{
    if (m_style == ViewStyle::Details)
        return m_detail;
    return m_list;
}

QListView *FileListView::iconView() const
{
    return m_list;
}

QTreeView *FileListView::detailView() const
{
    return m_detail;
}

QHeaderView *FileListView::header() const
{
    return m_detail->header();
}

void FileListView::updateSortIndicator()
{
    auto *rows = qobject_cast<FileRowModel *>(m_model);
    if (!rows)
        return;
    QHeaderView *head = m_detail->header();
    head->setSortIndicator(rows->sortColumn(), rows->sortOrder());
    head->setSortIndicatorShown(rows->isSorted());
}

void FileListView::onHeaderClicked(int section)
{
    if (auto *rows = qobject_cast<FileRowModel *>(m_model)) {
        finishEditing();
        rows->clickColumn(section);
        // The header flips its own indicator on a click; show the model's state.
        updateSortIndicator();
    }
}

bool FileListView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_list->viewport() || watched == m_detail->viewport()) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            viewportMouseEvent(
                watched == m_list->viewport() ? static_cast<QAbstractItemView *>(m_list) : m_detail, event);
            break;
        default:
            break;
        }
        return false;
    }
    if (watched != m_list && watched != m_detail)
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::FocusIn) {
        m_focusedByClick = static_cast<QFocusEvent *>(event)->reason() == Qt::MouseFocusReason;
    } else if (event->type() == QEvent::FocusOut || event->type() == QEvent::KeyPress) {
        cancelPendingRename();
    }
    if (event->type() == QEvent::ContextMenu &&
        static_cast<QContextMenuEvent *>(event)->reason() == QContextMenuEvent::Keyboard) {
        // From the keyboard the menu opens at the current row, not wherever
        // the pointer happens to be.
        auto *view = static_cast<QAbstractItemView *>(watched);
        const QRect row = view->visualRect(view->currentIndex());
        const QPoint at =
            row.isValid() && view->viewport()->rect().intersects(row) ? row.bottomLeft() : QPoint(0, 0);
        emit contextMenuRequested(view->viewport()->mapToGlobal(at));
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (isEditing())
            return false;
        if (key->key() == Qt::Key_F2 && key->modifiers() == Qt::NoModifier) {
            editCurrent();
            return true;
        }
        emit keyPressed(key->key(), key->modifiers());
    } else if (event->type() == QEvent::KeyRelease) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (!key->isAutoRepeat() && !isEditing())
            emit keyReleased(key->key(), key->modifiers());
    }
    return false;
}

void FileListView::startDragFrom(QAbstractItemView *view)
{
    const QModelIndexList rows = selectedRows();
    if (rows.isEmpty() || !m_model)
        return;
    auto *mime = new QMimeData;
    emit dragStarting(rows, mime);
    if (mime->formats().isEmpty()) {
        delete mime;
        mime = m_model->mimeData(rows);
        if (!mime)
            return;
    }
    auto *drag = new QDrag(view);
    drag->setMimeData(mime);
    const QIcon icon = rows.first().data(Qt::DecorationRole).value<QIcon>();
    if (!icon.isNull())
        drag->setPixmap(icon.pixmap(32, 32));
    const Qt::DropAction action = drag->exec(Qt::CopyAction, Qt::CopyAction);
    emit dragFinished(action);
}

std::optional<QModelIndex> FileListView::dropTarget(QAbstractItemView *view, QDropEvent *event) const
{
    event->ignore();
    if (!m_dropEnabled)
        return std::nullopt;
    const QModelIndex target = view->indexAt(event->position().toPoint());
    return target.isValid() ? target.siblingAtColumn(0) : QModelIndex();
}

void FileListView::dragMoveIn(QAbstractItemView *view, QDragMoveEvent *event)
{
    if (const auto target = dropTarget(view, event))
        emit dragOver(event, *target);
}

void FileListView::dropIn(QAbstractItemView *view, QDropEvent *event)
{
    if (const auto target = dropTarget(view, event))
        emit dropped(event, *target);
}

bool FileListView::acceptEdit(const QModelIndex &index, const QString &oldText, const QString &newText)
{
    bool accept = true;
    emit itemEdited(index.row(), oldText, newText, &accept);
    return accept;
}

bool FileListView::wrapsNames(const QWidget *view) const
{
    return view == m_list && (m_style == ViewStyle::LargeIcons || m_style == ViewStyle::SmallIcons);
}

} // namespace vexo
