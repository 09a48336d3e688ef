#pragma once

#include <QImage>
#include <QSize>
#include <QTimer>
#include <QWidget>

namespace vexo
{

// A looping picture strip of fixed size: a sheet of paper flying from a PC to
// a palmtop, our own artwork drawn in code. 17 frames of 260 x 40 pixels,
// one every 100 ms while playing; still (on its current frame) otherwise.
class AnimationStrip : public QWidget
{
    Q_OBJECT
public:
    static constexpr QSize FrameSize{260, 40};
    static constexpr int FrameCount = 17;
    static constexpr int FrameMs = 100;

    explicit AnimationStrip(QWidget *parent = nullptr);

    // Plays from the current frame, looping after the last one.
    void start();
    // Stops on the current frame.
    void stop();
    bool isPlaying() const { return m_timer.isActive(); }
    // 0 .. FrameCount - 1.
    int currentFrame() const { return m_frame; }
    void setCurrentFrame(int index);

    // Frame `index` (0 .. FrameCount - 1) as drawn; a null image outside that range.
    static QImage frame(int index);

    QSize sizeHint() const override { return FrameSize; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void advance();

    QTimer m_timer;
    int m_frame = 0;
};

} // namespace vexo
