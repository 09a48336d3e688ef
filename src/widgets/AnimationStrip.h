#pragma once

#include <QImage>
#include <QSize>
#include <QTimer>
#include <QWidget>

namespace vexo
{

// What stands at the left end of the strip; the palmtop is always on the right.
enum class StripLeftEnd { Computer, DiskImage };
// The way the sheet flies.
enum class StripFlight { ToPalmtop, FromPalmtop };
struct StripRoute {
    StripLeftEnd left = StripLeftEnd::Computer;
    StripFlight flight = StripFlight::ToPalmtop;
};
inline bool operator==(const StripRoute &a, const StripRoute &b)
{
    return a.left == b.left && a.flight == b.flight;
}

// A looping picture strip of fixed size: a sheet of paper flying between a
// PC (or the simulator's disk image) on the left and a palmtop on the right,
// in the direction of the copy; our own artwork drawn in code. 17 frames of
// 260 x 40 pixels, one every 100 ms while playing; still (on its current
// frame) otherwise.
class AnimationStrip : public QWidget
{
    Q_OBJECT
public:
    static constexpr QSize FrameSize{260, 40};
    static constexpr int FrameCount = 17;
    static constexpr int FrameMs = 100;

    using LeftEnd = StripLeftEnd;
    using Flight = StripFlight;
    using Route = StripRoute;

    explicit AnimationStrip(QWidget *parent = nullptr);

    // Plays from the current frame, looping after the last one.
    void start();
    // Stops on the current frame.
    void stop();
    bool isPlaying() const { return m_timer.isActive(); }
    // 0 .. FrameCount - 1.
    int currentFrame() const { return m_frame; }
    void setCurrentFrame(int index);

    // PC to palmtop unless set.
    void setRoute(Route route);
    Route route() const { return m_route; }

    // Frame `index` (0 .. FrameCount - 1) of `route` as drawn; a null image
    // outside that range.
    static QImage frame(int index, Route route = Route());

    QSize sizeHint() const override { return FrameSize; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void advance();

    QTimer m_timer;
    int m_frame = 0;
    Route m_route;
};

} // namespace vexo
