#include "engine/RunCounters.h"

namespace vexo
{

// The library writes the file counters through plain pointers with atomic
// stores of its own; that is only sound while the atomic is a lock-free
// wrapper of exactly one 64-bit integer.
static_assert(std::atomic<std::int64_t>::is_always_lock_free,
              "the library shares the counters without locks");
static_assert(sizeof(std::atomic<std::int64_t>) == sizeof(std::int64_t), "the library sees one integer");
static_assert(alignof(std::atomic<std::int64_t>) == alignof(std::int64_t), "the library sees one integer");

void RunCounters::start(const QList<qint64> &sizes)
{
    m_sizes = sizes;
    qint64 total = 0;
    int unknown = 0;
    for (qint64 size : sizes) {
        if (size < 0)
            ++unknown;
        else
            total += size;
    }
    m_runTotal.store(total);
    m_runUnknown.store(unknown);
    m_fileCount.store(int(sizes.size()));
}

void RunCounters::beginFile(int index)
{
    m_fileDone.store(0);
    m_fileTotal.store(0);
    m_fileShown.store(0);
    m_fileExpected.store(m_sizes.value(index, -1));
    m_index.store(index);
    m_inFlight.store(true);
}

void RunCounters::endFile(bool arrived, int percent)
{
    const qint64 done = fileShown(percent);
    const qint64 expected = m_fileExpected.load();
    // Out of flight first: a reader then misses these bytes for a moment
    // rather than counting them twice.
    m_inFlight.store(false);
    m_movedBefore.fetch_add(done);
    if (!arrived) {
        dropFromTotal(expected);
        return;
    }
    const qint64 size = qMax(done, fileTotal());
    m_runDone.fetch_add(size);
    if (expected < 0) {
        m_runTotal.fetch_add(size);
        m_runUnknown.fetch_sub(1);
    } else {
        m_runTotal.fetch_add(size - expected);
    }
}

void RunCounters::skipFile(int index)
{
    m_index.store(index);
    dropFromTotal(m_sizes.value(index, -1));
}

void RunCounters::learnSizes(const QList<qint64> &sizes)
{
    for (int i = m_index.load() + 1; i < m_sizes.size() && i < sizes.size(); ++i) {
        if (m_sizes.at(i) >= 0 || sizes.at(i) < 0)
            continue;
        m_sizes[i] = sizes.at(i);
        m_runTotal.fetch_add(sizes.at(i));
        m_runUnknown.fetch_sub(1);
    }
}

void RunCounters::dropFromTotal(qint64 expected)
{
    if (expected < 0)
        m_runUnknown.fetch_sub(1);
    else
        m_runTotal.fetch_sub(expected);
}

qint64 RunCounters::fileTotal() const
{
    const qint64 counted = m_counting.load() ? m_fileTotal.load() : 0;
    return counted > 0 ? counted : m_fileExpected.load();
}

qint64 RunCounters::fileDone(int percent) const
{
    if (m_counting.load())
        return m_fileDone.load();
    const qint64 total = fileTotal();
    return total > 0 ? total * qBound(0, percent, 100) / 100 : 0;
}

qint64 RunCounters::fileShown(int percent) const
{
    const qint64 done = fileDone(percent);
    qint64 shown = m_fileShown.load();
    while (done > shown && !m_fileShown.compare_exchange_weak(shown, done)) {
    }
    return qMax(done, shown);
}

TransferCounts RunCounters::counts(int percent) const
{
    TransferCounts c;
    c.fileCount = m_fileCount.load();
    const int index = m_index.load();
    c.fileNumber = index < 0 ? 0 : index + 1;
    c.fileTotal = fileTotal();
    c.fileDone = fileShown(percent);
    const bool inFlight = m_inFlight.load();
    const qint64 flying = inFlight ? c.fileDone : 0;
    c.runDone = m_runDone.load() + flying;
    c.runTotal = m_runUnknown.load() > 0 ? -1 : m_runTotal.load();
    c.moved = m_movedBefore.load() + flying;
    return c;
}

} // namespace vexo
