#include "engine/TransferProgress.h"

#include "engine/LanguageTable.h"

#include <QtMath>

namespace vexo
{

namespace
{

// Between the parts of a line; no words, so no language's own.
const QString Separator = QStringLiteral("  \u00b7  ");

int percent(qint64 done, qint64 total)
{
    if (total <= 0)
        return 0;
    return int(qBound(qint64(0), done * 100 / total, qint64(100)));
}

// "a of b", or "a" alone while b is not known.
QString doneOfTotal(const LanguageTable &language, qint64 done, qint64 total)
{
    const QString doneText = TransferProgress::sizeText(language, done);
    if (total < 0)
        return doneText;
    return Filled(language.window(QStringLiteral("ProgressOf")),
                  {doneText, TransferProgress::sizeText(language, total)});
}

} // namespace

TransferProgress::TransferProgress(const LanguageTable &language) : m_language(language)
{
}

void TransferProgress::update(qint64 atMs, const TransferCounts &counts)
{
    m_counts = counts;
    // A reader may catch the worker between two counters; the speed never
    // takes a step back from that.
    if (!m_samples.isEmpty())
        m_counts.moved = qMax(m_counts.moved, m_samples.last().moved);
    m_samples.append({atMs, m_counts.moved});
    while (m_samples.size() > 2 && atMs - m_samples.at(1).atMs >= SpeedWindowMs)
        m_samples.removeFirst();
}

double TransferProgress::bytesPerSecond() const
{
    if (m_samples.size() < 2)
        return 0;
    const Sample &first = m_samples.first();
    const Sample &last = m_samples.last();
    const qint64 span = last.atMs - first.atMs;
    if (span < MinSpanMs)
        return 0;
    return double(last.moved - first.moved) * 1000.0 / double(span);
}

qint64 TransferProgress::secondsLeft() const
{
    const double speed = bytesPerSecond();
    if (speed <= 0 || m_counts.runTotal < 0)
        return -1;
    const qint64 left = qMax<qint64>(0, m_counts.runTotal - m_counts.runDone);
    return qint64(qCeil(double(left) / speed));
}

int TransferProgress::filePercent() const
{
    return percent(m_counts.fileDone, m_counts.fileTotal);
}

int TransferProgress::runPercent() const
{
    return percent(m_counts.runDone, m_counts.runTotal);
}

QString TransferProgress::fileText() const
{
    if (m_counts.fileNumber <= 0)
        return QString();
    return Filled(m_language.window(QStringLiteral("FileNumber")),
                  {QString::number(m_counts.fileNumber), QString::number(m_counts.fileCount)}) +
           Separator + doneOfTotal(m_language, m_counts.fileDone, m_counts.fileTotal);
}

QString TransferProgress::runText() const
{
    QString text = Filled(m_language.window(QStringLiteral("ProgressRun")),
                          {doneOfTotal(m_language, m_counts.runDone, m_counts.runTotal)});
    const double speed = bytesPerSecond();
    if (speed <= 0)
        return text;
    text += Separator +
            Filled(m_language.window(QStringLiteral("ProgressSpeed")), {sizeText(m_language, qint64(speed))});
    const qint64 left = secondsLeft();
    if (left >= 0)
        text += Separator +
                Filled(m_language.window(QStringLiteral("ProgressLeft")), {durationText(m_language, left)});
    return text;
}

QString TransferProgress::sizeText(const LanguageTable &language, qint64 bytes)
{
    static const char *const units[] = {"SizeKB", "SizeMB", "SizeGB"};
    if (bytes < 1024)
        return Filled(language.window(QStringLiteral("SizeBytes")),
                      {QString::number(qMax<qint64>(0, bytes))});
    double value = double(bytes) / 1024;
    int unit = 0;
    while (value >= 1024 && unit < 2) {
        value /= 1024;
        ++unit;
    }
    // One decimal while it still says something, as file managers show sizes;
    // cut, not rounded, so that a file is never shown done early.
    const double tenths = qFloor(value * 10) / 10.0;
    const QString number = tenths < 10 ? QString::number(tenths, 'f', 1) : QString::number(qFloor(value));
    return Filled(language.window(QLatin1String(units[unit])), {number});
}

QString TransferProgress::durationText(const LanguageTable &language, qint64 seconds)
{
    seconds = qMax<qint64>(0, seconds);
    if (seconds < 60)
        return Filled(language.window(QStringLiteral("Seconds")), {QString::number(seconds)});
    if (seconds < 3600)
        return Filled(language.window(QStringLiteral("MinutesSeconds")),
                      {QString::number(seconds / 60), QString::number(seconds % 60)});
    return Filled(language.window(QStringLiteral("HoursMinutes")),
                  {QString::number(seconds / 3600), QString::number(seconds % 3600 / 60)});
}

} // namespace vexo
