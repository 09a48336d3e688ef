#include "widgets/CaptionPanel.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace vexo
{

CaptionPanel::CaptionPanel(QWidget *parent) : CaptionPanel(QString(), parent)
{
}

CaptionPanel::CaptionPanel(const QString &text, QWidget *parent) : QWidget(parent), m_text(text)
{
    setFixedHeight(PanelHeight);
    setFont(captionFont());
    setAutoFillBackground(false);
    setAttribute(Qt::WA_StyledBackground, true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QFont CaptionPanel::captionFont()
{
    QFont font;
    // Latin glyphs from a true fixed-pitch face, Chinese ones from the later families.
    font.setFamilies({QStringLiteral("Fixedsys"), QStringLiteral("DejaVu Sans Mono"),
                      QStringLiteral("Liberation Mono"), QStringLiteral("WenQuanYi Micro Hei Mono"),
                      QStringLiteral("Noto Sans Mono CJK SC")});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPixelSize(16);
    return font;
}

void CaptionPanel::setFocusMark(QWidget *caption, bool on)
{
    if (hasFocusMark(caption) == on)
        return;
    caption->setProperty("paneFocus", on);
    // Style sheet rules on a property apply only when the widget is polished again.
    caption->style()->unpolish(caption);
    caption->style()->polish(caption);
    caption->update();
}

bool CaptionPanel::hasFocusMark(const QWidget *caption)
{
    return caption->property("paneFocus").toBool();
}

void CaptionPanel::setText(const QString &text)
{
    if (m_text == text)
        return;
    m_text = text;
    update();
}

QSize CaptionPanel::sizeHint() const
{
    return QSize(fontMetrics().horizontalAdvance(m_text) + 2 * TextIndent + 4, PanelHeight);
}

QSize CaptionPanel::minimumSizeHint() const
{
    return QSize(2 * TextIndent, PanelHeight);
}

void CaptionPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect r = rect();
    const QColor face = palette().color(QPalette::Window);
    painter.fillRect(r, face);

    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);

    const QColor light = face.lighter(160);
    const QColor dark = face.darker(170);
    auto bevel = [&painter](const QRect &box, const QColor &topLeft, const QColor &bottomRight) {
        painter.setPen(topLeft);
        painter.drawLine(box.topLeft(), box.topRight());
        painter.drawLine(box.topLeft(), box.bottomLeft());
        painter.setPen(bottomRight);
        painter.drawLine(box.bottomLeft(), box.bottomRight());
        painter.drawLine(box.topRight(), box.bottomRight());
    };
    bevel(r, dark, light);                        // sunken outer edge
    bevel(r.adjusted(1, 1, -1, -1), light, dark); // raised inner edge

    if (m_text.isEmpty())
        return;
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setFont(font());
    const QRect textBox = r.adjusted(TextIndent, 2, -TextIndent, -2);
    painter.drawText(textBox, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     fitted(m_text, fontMetrics(), textBox.width()));
}

QString CaptionPanel::fitted(const QString &text, const QFontMetrics &metrics, int width)
{
    if (metrics.horizontalAdvance(text) <= width)
        return text;
    const int dash = text.lastIndexOf(QLatin1String(" - "));
    if (dash > 0) {
        const QString state = text.mid(dash);
        const int room = width - metrics.horizontalAdvance(state);
        if (room > metrics.horizontalAdvance(QStringLiteral("…")))
            return metrics.elidedText(text.left(dash), Qt::ElideRight, room) + state;
    }
    return metrics.elidedText(text, Qt::ElideRight, width);
}

} // namespace vexo
