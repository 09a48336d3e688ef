#pragma once

#include <QSplitter>

namespace vexo
{

// A splitter of two panes that keeps the part its first pane takes when it
// is resized (a plain splitter gives every change of size to one pane).
// The share follows the user's moves of the handle and setFirstShare.
class ShareSplitter : public QSplitter
{
    Q_OBJECT
public:
    explicit ShareSplitter(Qt::Orientation orientation, QWidget *parent = nullptr);

    // The first pane's part of the two panes' space, 0..1 (default 0.5);
    // applied at once.
    void setFirstShare(double share);
    double firstShare() const { return m_share; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void applyShare();

    double m_share = 0.5;
};

} // namespace vexo
