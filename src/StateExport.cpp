#include "StateExport.h"

#include "widgets/FileListView.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>

namespace vexo
{

namespace
{

QJsonArray rectJson(const QRect &r)
{
    return QJsonArray{r.x(), r.y(), r.width(), r.height()};
}

QRect screenRect(const QWidget *w)
{
    return QRect(w->mapToGlobal(QPoint(0, 0)), w->size());
}

// A window by its object name, or by its class when it has none (message boxes).
QString windowName(const QWidget *w)
{
    return w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
}

// The object names from the window down to `w`, unnamed levels left out, so
// a test can find the anonymous line edit inside a named combo box.
QString namePath(const QWidget *w)
{
    QStringList names;
    for (const QWidget *p = w; p; p = p->parentWidget()) {
        if (p->isWindow()) {
            names.prepend(windowName(p));
            break;
        }
        if (!p->objectName().isEmpty())
            names.prepend(p->objectName());
    }
    return names.join(QLatin1Char('/'));
}

QJsonArray listRows(const FileListView *list)
{
    QJsonArray rows;
    const QAbstractItemView *view = list->currentView();
    for (int row = 0; row < list->rowCount(); ++row) {
        const QModelIndex index = list->indexOfRow(row);
        const QRect visual = view->visualRect(index);
        rows.append(QJsonObject{
            {QStringLiteral("text"), index.data(Qt::DisplayRole).toString()},
            {QStringLiteral("selected"), list->isRowSelected(row)},
            {QStringLiteral("rect"),
             rectJson(QRect(view->viewport()->mapToGlobal(visual.topLeft()), visual.size()))},
        });
    }
    return rows;
}

// The rows of a plain tree list (the synchronisation preview): the first
// column's text, every column's text and where the row is.
QJsonArray treeRows(const QTreeWidget *tree)
{
    QJsonArray rows;
    for (int row = 0; row < tree->topLevelItemCount(); ++row) {
        const QTreeWidgetItem *item = tree->topLevelItem(row);
        const QRect visual = tree->visualItemRect(item);
        QJsonArray cells;
        for (int column = 0; column < tree->columnCount(); ++column)
            cells.append(item->text(column));
        rows.append(QJsonObject{
            {QStringLiteral("text"), item->text(0)},
            {QStringLiteral("cells"), cells},
            {QStringLiteral("selected"), item->isSelected()},
            {QStringLiteral("rect"),
             rectJson(QRect(tree->viewport()->mapToGlobal(visual.topLeft()), visual.size()))},
        });
    }
    return rows;
}

QJsonObject widgetJson(QWidget *w)
{
    QJsonObject o{
        {QStringLiteral("name"), w->objectName()},
        {QStringLiteral("path"), namePath(w)},
        {QStringLiteral("class"), QString::fromLatin1(w->metaObject()->className())},
        {QStringLiteral("rect"), rectJson(screenRect(w))},
        {QStringLiteral("enabled"), w->isEnabled()},
        {QStringLiteral("focus"), w->hasFocus()},
    };
    if (!w->toolTip().isEmpty())
        o.insert(QStringLiteral("tooltip"), w->toolTip());
    const QVariant text = w->property("text");
    if (text.isValid())
        o.insert(QStringLiteral("text"), text.toString());
    if (auto *button = qobject_cast<QAbstractButton *>(w))
        o.insert(QStringLiteral("checked"), button->isChecked());
    if (auto *combo = qobject_cast<QComboBox *>(w))
        o.insert(QStringLiteral("text"), combo->currentText());
    const QVariant value = w->property("value");
    if (value.isValid())
        o.insert(QStringLiteral("value"), value.toInt());
    if (auto *tree = qobject_cast<QTreeWidget *>(w))
        o.insert(QStringLiteral("rows"), treeRows(tree));
    if (auto *list = qobject_cast<FileListView *>(w)) {
        o.insert(QStringLiteral("rows"), listRows(list));
        o.insert(QStringLiteral("current"), list->currentIndex().row());
        o.insert(QStringLiteral("editing"), list->isEditing());
        o.insert(QStringLiteral("focusInside"), list->hasFocusInside());
        o.insert(QStringLiteral("viewStyle"), int(list->viewStyle()));
    }
    return o;
}

void answerRequest(const QString &stateFile)
{
    QFile request(stateFile + QStringLiteral(".request"));
    if (!request.open(QIODevice::ReadOnly))
        return;
    const int seq = request.readAll().trimmed().toInt();
    request.close();
    request.remove();

    QJsonObject snapshot = windowStateSnapshot();
    snapshot.insert(QStringLiteral("seq"), seq);
    QSaveFile out(stateFile);
    if (out.open(QIODevice::WriteOnly)) {
        out.write(QJsonDocument(snapshot).toJson(QJsonDocument::Compact));
        out.commit();
    }
}

void installStateExport()
{
    const QString stateFile = qEnvironmentVariable("VEXO_STATE_FILE");
    if (stateFile.isEmpty())
        return;
    auto *poll = new QTimer(qApp);
    poll->setInterval(50);
    QObject::connect(poll, &QTimer::timeout, qApp, [stateFile] { answerRequest(stateFile); });
    poll->start();
}

} // namespace

QJsonObject windowStateSnapshot()
{
    QJsonArray windows, widgets;
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (!top->isVisible())
            continue;
        windows.append(QJsonObject{
            {QStringLiteral("name"), windowName(top)},
            {QStringLiteral("class"), QString::fromLatin1(top->metaObject()->className())},
            {QStringLiteral("title"), top->windowTitle()},
            {QStringLiteral("frame"), rectJson(top->frameGeometry())},
            {QStringLiteral("rect"), rectJson(top->geometry())},
            {QStringLiteral("maximized"), top->isMaximized()},
            {QStringLiteral("active"), top->isActiveWindow()},
            {QStringLiteral("modal"), top->isModal()},
        });
        const QList<QWidget *> children = top->findChildren<QWidget *>();
        for (QWidget *w : children) {
            // Dialogs are children of the main window too: each is listed once, under its own window.
            if (w->isVisible() && w->window() == top)
                widgets.append(widgetJson(w));
        }
    }
    QWidget *focus = QApplication::focusWidget();
    QWidget *modal = QApplication::activeModalWidget();
    return QJsonObject{
        {QStringLiteral("windows"), windows},
        {QStringLiteral("widgets"), widgets},
        {QStringLiteral("focus"), focus ? namePath(focus) : QString()},
        {QStringLiteral("modal"), modal ? windowName(modal) : QString()},
    };
}

Q_COREAPP_STARTUP_FUNCTION(installStateExport)

} // namespace vexo
