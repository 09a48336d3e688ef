#pragma once

#include <QList>
#include <QString>

namespace vexo
{

class LanguageTable;

// A run's counters as the progress window reads them on a tick. A size of
// -1 is not known yet.
struct TransferCounts {
    int fileNumber = 0; // 1-based; 0 before the first file
    int fileCount = 0;
    qint64 fileDone = 0;
    qint64 fileTotal = -1;
    qint64 runDone = 0;
    qint64 runTotal = -1;
    // Bytes that crossed the line so far, those of failed files included:
    // the speed is measured on this, which never goes back.
    qint64 moved = 0;
};

// What the progress window says about a run: file i of n, bytes of the file
// and of the run, the speed over the last few seconds and the time left.
// Fed the counters with the time they were read; no widgets, no clock of its
// own, so a test can play a line at any pace.
class TransferProgress
{
public:
    // The speed is the bytes moved over this span, so one slow or quick
    // second does not make the time left jump about.
    static constexpr qint64 SpeedWindowMs = 5000;
    // Less than this since the first sample says nothing about the speed.
    static constexpr qint64 MinSpanMs = 900;

    explicit TransferProgress(const LanguageTable &language);

    // The counters as read `atMs` (any clock that does not go back).
    void update(qint64 atMs, const TransferCounts &counts);
    const TransferCounts &counts() const { return m_counts; }

    // Bytes per second; 0 until known.
    double bytesPerSecond() const;
    // Seconds to the end of the run at that speed; -1 until known.
    qint64 secondsLeft() const;
    // 0..100; 0 while the total is not known.
    int filePercent() const;
    int runPercent() const;

    // "File 2 of 5  ·  120 KB of 640 KB".
    QString fileText() const;
    // "All: 1.2 MB of 3.4 MB · 11.2 KB/s · 2 min 5 s left"; the speed and
    // the time once known.
    QString runText() const;

    // "532 B", "9.8 KB", "640 KB", "1.2 MB".
    static QString sizeText(const LanguageTable &language, qint64 bytes);
    // "45 s", "2 min 5 s", "1 h 3 min".
    static QString durationText(const LanguageTable &language, qint64 seconds);

private:
    struct Sample {
        qint64 atMs;
        qint64 moved;
    };

    const LanguageTable &m_language;
    TransferCounts m_counts;
    QList<Sample> m_samples;
};

} // namespace vexo
