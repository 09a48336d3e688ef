#pragma once

#include "engine/TransferProgress.h"

#include <QList>

#include <atomic>
#include <cstdint>

namespace vexo
{

// The byte counts of one run of transfers, kept by the run's thread (and, for
// the file in flight, by the link library) and read by the window on its
// tick. Every field is an atomic on its own: a reader may see one file's step
// half taken, which a display shows for one tick at most.
//
// Sizes of -1 are not known; a run with such a file has no total until that
// file has ended.
class RunCounters
{
public:
    // The run's files in order; run thread, before the first file.
    void start(const QList<qint64> &sizes);
    // File `index` starts: its counters go back to 0.
    void beginFile(int index);
    // The counters the library keeps while the file is in flight (see
    // SetTransferCounters); tell whether it took them.
    std::int64_t *libraryDone() { return reinterpret_cast<std::int64_t *>(&m_fileDone); }
    std::int64_t *libraryTotal() { return reinterpret_cast<std::int64_t *>(&m_fileTotal); }
    void setLibraryCounts(bool counting) { m_counting.store(counting); }
    // The file in flight has ended; `percent` is the library's percentage of
    // it. Its bytes count as done only when it arrived.
    void endFile(bool arrived, int percent);
    // File `index` is passed over without a transfer.
    void skipFile(int index);
    // Sizes learnt during the run, in the order of start(); those of files
    // not started yet that were not known join the total.
    void learnSizes(const QList<qint64> &sizes);

    // The counts now; `percent` (the library's percentage of the file in
    // flight) stands in for the bytes when the library does not count them.
    TransferCounts counts(int percent) const;

private:
    qint64 fileDone(int percent) const;
    // The file's bytes as shown: never fewer than shown before, since a try
    // after a lost link counts again from 0 (or from the part the other side
    // kept) up to where the last one got.
    qint64 fileShown(int percent) const;
    qint64 fileTotal() const;
    // The run's total loses a file's expected size; a file of unknown size
    // instead stops holding the total back.
    void dropFromTotal(qint64 expected);

    // Run thread only; readers see the count.
    QList<qint64> m_sizes;
    std::atomic<int> m_fileCount{0};
    std::atomic<int> m_index{-1};
    std::atomic<bool> m_inFlight{false};
    std::atomic<bool> m_counting{false};
    std::atomic<std::int64_t> m_fileDone{0};
    std::atomic<std::int64_t> m_fileTotal{0};
    std::atomic<qint64> m_fileExpected{-1};
    mutable std::atomic<qint64> m_fileShown{0};
    std::atomic<qint64> m_runDone{0};
    std::atomic<qint64> m_runTotal{0};
    // Files of unknown size not ended yet; until start() the sizes are not
    // known at all.
    std::atomic<int> m_runUnknown{1};
    std::atomic<qint64> m_movedBefore{0};
};

} // namespace vexo
