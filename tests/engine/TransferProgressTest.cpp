// What the progress window says over a paced line: the run's counters as the
// worker and the library keep them, read once a second as the window does.
#include "engine/TransferProgress.h"
#include "engine/LanguageTable.h"
#include "engine/RunCounters.h"

#include <gtest/gtest.h>

using namespace vexo;

namespace
{

// A line of `rate` bytes per second under a run: each tick moves that many
// bytes of the file in flight, as the library would count them.
class PacedRun
{
public:
    PacedRun(const QList<qint64> &sizes, qint64 rate) : m_sizes(sizes), m_rate(rate)
    {
        counters.start(sizes);
        counters.beginFile(0);
        counters.setLibraryCounts(true);
        *counters.libraryTotal() = sizes.at(0);
    }
    // One second on the line (none while `stalled`), then the window's tick.
    void second(bool stalled = false)
    {
        qint64 budget = stalled ? 0 : m_rate;
        while (budget > 0 && m_file < m_sizes.size()) {
            std::int64_t &done = *counters.libraryDone();
            const qint64 step = qMin(budget, m_sizes.at(m_file) - done);
            done += step;
            budget -= step;
            if (done == m_sizes.at(m_file))
                nextFile(true);
        }
        m_nowMs += 1000;
        progress.update(m_nowMs, counters.counts(0));
    }
    // The file in flight fails where it is.
    void fail() { nextFile(false); }

    RunCounters counters;
    LanguageTable language;
    TransferProgress progress{language};

private:
    void nextFile(bool arrived)
    {
        counters.endFile(arrived, 0);
        if (++m_file < m_sizes.size()) {
            counters.beginFile(m_file);
            counters.setLibraryCounts(true);
            *counters.libraryTotal() = m_sizes.at(m_file);
        }
    }
    QList<qint64> m_sizes;
    qint64 m_rate;
    int m_file = 0;
    qint64 m_nowMs = 0;
};

} // namespace

// File i of n and the bytes follow the line; the speed is what moved over
// the last five seconds, so a stall slows it down rather than zeroing it,
// and a failed file leaves the total but not the speed.
TEST(TransferProgress, countsSpeedAndTimeLeftOverAPacedLine)
{
    PacedRun run({30000, 640 * 1024, 5000}, 11520);
    run.progress.update(0, run.counters.counts(0));
    EXPECT_EQ(run.progress.fileText(), QString::fromUtf8("File 1 of 3  ·  0 B of 29 KB"));
    EXPECT_EQ(run.progress.runText(), QString::fromUtf8("All: 0 B of 674 KB"));

    for (int i = 0; i < 3; ++i)
        run.second();
    EXPECT_EQ(run.progress.fileText(), QString::fromUtf8("File 2 of 3  ·  4.4 KB of 640 KB"));
    // (690,360 - 34,560) bytes at 11,520 a second: 56.9 s.
    EXPECT_EQ(run.progress.runText(), QString::fromUtf8("All: 33 KB of 674 KB  ·  11 KB/s  ·  57 s left"));
    EXPECT_EQ(run.progress.runPercent(), 5);

    run.second(true);
    run.second(true);
    EXPECT_NEAR(run.progress.bytesPerSecond(), 34560 / 5.0, 1);
    for (int i = 0; i < 5; ++i)
        run.second();
    EXPECT_NEAR(run.progress.bytesPerSecond(), 11520, 1);

    // 62,160 bytes of the second file had crossed; the last file then takes
    // 5,000 bytes of the next second.
    run.fail();
    run.second();
    EXPECT_EQ(run.progress.counts().fileNumber, 3);
    EXPECT_EQ(run.progress.counts().runTotal, 35000);
    EXPECT_EQ(run.progress.counts().runDone, 35000);
    EXPECT_NEAR(run.progress.bytesPerSecond(), (4 * 11520 + 5000) / 5.0, 1);
    EXPECT_EQ(run.progress.secondsLeft(), 0);
}

// Files passed over leave the total; a size the run did not know holds the
// total back until that file has ended or a listing tells it. Without the
// library's bytes the percentage stands in. A try after a lost link counts
// from 0 again, then from the part the other side kept: nothing shown goes back.
TEST(TransferProgress, skippedAndUnknownSizes)
{
    RunCounters counters;
    counters.start({100, -1, 300});
    EXPECT_EQ(counters.counts(0).runTotal, -1);
    counters.skipFile(0);
    counters.beginFile(1);
    EXPECT_EQ(counters.counts(0).fileTotal, -1);
    counters.endFile(true, 100);
    EXPECT_EQ(counters.counts(0).runTotal, 300);
    counters.beginFile(2);
    const TransferCounts c = counters.counts(40);
    EXPECT_EQ(c.fileNumber, 3);
    EXPECT_EQ(c.fileDone, 120);
    EXPECT_EQ(c.runDone, 120);

    // A receive learns the sizes once its first file is in: only those of
    // files still to come join the total.
    RunCounters received;
    received.start({-1, -1, -1});
    received.beginFile(0);
    received.setLibraryCounts(true);
    *received.libraryDone() = *received.libraryTotal() = 10;
    received.endFile(true, 100);
    received.learnSizes({999, 20, 30});
    EXPECT_EQ(received.counts(0).runTotal, 60);

    RunCounters retried;
    retried.start({1000});
    retried.beginFile(0);
    retried.setLibraryCounts(true);
    *retried.libraryTotal() = 1000;
    // 600 B in, the link lost; the next try starts at 0 and hears the
    // device kept 400 B.
    for (std::int64_t library : {600, 0, 400}) {
        *retried.libraryDone() = library;
        const TransferCounts c = retried.counts(0);
        EXPECT_EQ(c.fileDone, 600);
        EXPECT_EQ(c.runDone, 600);
        EXPECT_EQ(c.moved, 600);
    }
    *retried.libraryDone() = 700;
    EXPECT_EQ(retried.counts(0).fileDone, 700);
    retried.endFile(true, 100);
    EXPECT_EQ(retried.counts(0).runDone, 1000);
}

TEST(TransferProgress, sizesAndDurations)
{
    const LanguageTable t;
    const QStringList sizes{TransferProgress::sizeText(t, 1023), TransferProgress::sizeText(t, 1024),
                            TransferProgress::sizeText(t, 10239), TransferProgress::sizeText(t, 10240),
                            TransferProgress::sizeText(t, 5 * 1024 * 1024 + 512 * 1024)};
    EXPECT_EQ(sizes.join('|'), "1023 B|1.0 KB|9.9 KB|10 KB|5.5 MB");
    const QStringList times{TransferProgress::durationText(t, 59), TransferProgress::durationText(t, 125),
                            TransferProgress::durationText(t, 3 * 3600 + 61)};
    EXPECT_EQ(times.join('|'), "59 s|2 min 5 s|3 h 1 min");
}
