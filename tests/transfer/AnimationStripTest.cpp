// The progress window's looping picture strip.
#include "widgets/AnimationStrip.h"

#include <QTest>

using namespace vexo;

class AnimationStripTest : public QObject
{
    Q_OBJECT

private slots:
    void seventeenDistinctFramesOfTheStripSize()
    {
        for (int i = 0; i < AnimationStrip::FrameCount; ++i) {
            const QImage frame = AnimationStrip::frame(i);
            QCOMPARE(frame.size(), QSize(260, 40));
            QVERIFY(frame != AnimationStrip::frame((i + 1) % AnimationStrip::FrameCount));
        }
        QVERIFY(AnimationStrip::frame(-1).isNull());
        QVERIFY(AnimationStrip::frame(AnimationStrip::FrameCount).isNull());
    }

    void playsInALoopAndStopsOnItsFrame()
    {
        AnimationStrip strip;
        QCOMPARE(strip.size(), QSize(260, 40));
        QVERIFY(!strip.isPlaying());
        strip.setCurrentFrame(AnimationStrip::FrameCount - 1);
        strip.start();
        QTRY_COMPARE(strip.currentFrame(), 0);
        QTRY_COMPARE(strip.currentFrame(), 1);
        strip.stop();
        const int frame = strip.currentFrame();
        QTest::qWait(3 * AnimationStrip::FrameMs);
        QCOMPARE(strip.currentFrame(), frame);
    }
};

QTEST_MAIN(AnimationStripTest)
#include "AnimationStripTest.moc"
