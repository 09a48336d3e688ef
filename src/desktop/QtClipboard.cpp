#include "desktop/QtClipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace vexo
{

const QMimeData *QtClipboard::mimeData()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    return clipboard ? clipboard->mimeData(QClipboard::Clipboard) : nullptr;
}

void QtClipboard::setMimeData(QMimeData *data)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!clipboard) {
        delete data;
        return;
    }
    clipboard->setMimeData(data, QClipboard::Clipboard);
}

} // namespace vexo
