#pragma once

#include <QFontMetrics>
#include <QString>
#include <QWidget>

namespace vexo
{

// A 30-pixel strip with a double bevel (sunken outside, raised inside) and a
// left-aligned line of text in a fixed-pitch font: the pane captions, and the
// local pane's header, which places its own child controls on it.
// Colours come from the palette (Window, WindowText), so a style sheet's
// background-color and color apply.
class CaptionPanel : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText)
public:
    static constexpr int PanelHeight = 30;
    static constexpr int TextIndent = 6; // pixels between the bevel and the text

    explicit CaptionPanel(QWidget *parent = nullptr);
    explicit CaptionPanel(const QString &text, QWidget *parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString &text);
    // `text` as drawn in `width` pixels: when it does not fit, a caption of
    // the form "pane (free space) - state" gives up the end of what comes
    // before the state, so that the state stays readable.
    static QString fitted(const QString &text, const QFontMetrics &metrics, int width);

    // Fixedsys 16 px, falling back to other fixed-pitch fonts with Chinese glyphs.
    static QFont captionFont();

    // Marks `caption` (a CaptionPanel or another pane header) as the caption
    // of the pane with the keyboard focus: the property "paneFocus", which
    // the style sheet colours.
    static void setFocusMark(QWidget *caption, bool on);
    static bool hasFocusMark(const QWidget *caption);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_text;
};

} // namespace vexo
