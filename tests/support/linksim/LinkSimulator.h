#pragma once

#include "LinkSimOptions.h"
#include "vexo/sys/PtyPair.h"
#include "vexo/sys/UniqueFd.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vexo::test
{

class LinkLine;

// A serial cable between two pseudo-terminals. A program opens endA(), the
// other endB(); a relay thread carries bytes both ways at the line rate, with
// the latency and the faults of the options. Both ends are raw (8 bits, no
// echo, no translation). The relay never blocks on a side that stops reading:
// it holds a bounded amount and then leaves the sender's writes waiting.
class LinkSimulator
{
public:
    enum class Direction { AToB, BToA };

    explicit LinkSimulator(LinkSimOptions options);
    ~LinkSimulator();
    LinkSimulator(const LinkSimulator &) = delete;
    LinkSimulator &operator=(const LinkSimulator &) = delete;

    // Creates both pseudo-terminals and starts relaying. Returns false and
    // says why in `error` (may be null) when it could not; calling it again
    // while running is an error.
    bool start(std::string *error);
    // Stops relaying and closes both pseudo-terminals (programs still holding
    // an end then see it hang up). Returns promptly; safe to call twice.
    void stop();

    // Device paths (/dev/pts/N) of the two ends; empty before start().
    std::string endA() const;
    std::string endB() const;

    // Cuts the cable (true) or mends it (false). While cut, every byte that
    // crosses the line or is under way is lost, both ways.
    void setCut(bool cut);

    // Pulls of the options that have begun so far.
    int pullsBegun() const { return m_pullsBegun.load(); }

    // Totals of one direction since start().
    LinkSimCounters counters(Direction direction) const;

private:
    void run();
    void publishCounters();
    // Starts and ends the scheduled pulls of the options.
    void followPulls(int64_t nowNs);

    LinkSimOptions m_options;
    sys::PtyPair m_a;
    sys::PtyPair m_b;
    std::unique_ptr<LinkLine> m_aToB;
    std::unique_ptr<LinkLine> m_bToA;
    sys::UniqueFd m_wakeRead;
    sys::UniqueFd m_wakeWrite;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_cut{false};
    std::atomic<int> m_pullsBegun{0};
    int64_t m_mendAtNs = -1;    // end of the pull under way; -1 when none
    mutable std::mutex m_mutex; // guards the published counters and the paths
    LinkSimCounters m_publishedAToB;
    LinkSimCounters m_publishedBToA;
    std::string m_pathA;
    std::string m_pathB;
};

} // namespace vexo::test
