#pragma once

#include <QLabel>

class QFontMetrics;

namespace vexo
{

// A status bar field that, when its text does not fit, shortens the file
// path in it (in the middle) rather than cutting off the reason that
// follows. text() stays the whole text; the tool tip shows it too.
class StatusLabel : public QLabel
{
public:
    explicit StatusLabel(QWidget *parent = nullptr);

    // `text` as drawn in `width` pixels: unchanged when it fits; else its
    // path (from a '/' at the start of a word up to a ": " or the end) elided
    // in the middle; when that is not enough, the end elided as well.
    static QString shortened(const QString &text, const QFontMetrics &metrics, int width);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};

} // namespace vexo
