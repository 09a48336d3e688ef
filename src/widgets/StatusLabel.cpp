#include "widgets/StatusLabel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>

namespace vexo
{

StatusLabel::StatusLabel(QWidget *parent) : QLabel(parent)
{
}

QString StatusLabel::shortened(const QString &text, const QFontMetrics &metrics, int width)
{
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    int start = -1;
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'/' && (i == 0 || text.at(i - 1).isSpace())) {
            start = i;
            break;
        }
    }
    if (start >= 0) {
        int end = text.indexOf(QLatin1String(": "), start);
        if (end < 0)
            end = text.size();
        const QString path = text.mid(start, end - start);
        const int rest = metrics.horizontalAdvance(text) - metrics.horizontalAdvance(path);
        const QString elided = metrics.elidedText(path, Qt::ElideMiddle, qMax(width - rest, 0));
        QString out = text;
        out.replace(start, end - start, elided.isEmpty() ? QStringLiteral("…") : elided);
        if (metrics.horizontalAdvance(out) <= width)
            return out;
        return metrics.elidedText(out, Qt::ElideRight, width);
    }
    return metrics.elidedText(text, Qt::ElideRight, width);
}

bool StatusLabel::event(QEvent *event)
{
    // The tool tip follows the text, whatever set it.
    if (event->type() == QEvent::ToolTip)
        setToolTip(fontMetrics().horizontalAdvance(text()) > contentsRect().width() ? text() : QString());
    return QLabel::event(event);
}

void StatusLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect box = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    style()->drawItemText(&painter, box, static_cast<int>(alignment()), palette(), isEnabled(),
                          shortened(text(), fontMetrics(), box.width()), foregroundRole());
}

} // namespace vexo
