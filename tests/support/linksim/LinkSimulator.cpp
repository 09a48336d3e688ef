#include "LinkSimulator.h"

#include "LinkLine.h"
#include "vexo/sys/FileIo.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace vexo::test
{

namespace
{

// The relay sends in small bursts: waking up for every byte (87 us at
// 115,200 baud) would cost a lot of CPU for nothing a receiver could notice.
constexpr int64_t kMinSleepNs = 300 * 1000;
// Upper bound on any wait, in case a pseudo-terminal misses a wake-up.
constexpr int64_t kMaxSleepNs = 50 * 1000 * 1000;

int64_t monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void pull(int fd, LinkLine &line, int64_t nowNs)
{
    uint8_t buffer[16384];
    for (size_t room = line.intakeRoom(); room > 0; room = line.intakeRoom()) {
        const ssize_t got = ::read(fd, buffer, std::min(room, sizeof buffer));
        if (got > 0) {
            line.accept(buffer, static_cast<size_t>(got), nowNs);
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            break; // EAGAIN: the sender has nothing more for now
        }
    }
}

void push(int fd, LinkLine &line)
{
    while (line.pendingSize() > 0) {
        const ssize_t put = ::write(fd, line.pending(), line.pendingSize());
        if (put > 0) {
            line.consume(static_cast<size_t>(put));
        } else if (put < 0 && errno == EINTR) {
            continue;
        } else {
            break; // the receiver's buffer is full
        }
    }
}

uint64_t faultSeed(uint32_t seed, uint64_t direction)
{
    // Each direction gets its own stream, so traffic one way never shifts
    // the faults met the other way.
    return (uint64_t{seed} << 8) | direction;
}

} // namespace

LinkSimulator::LinkSimulator(LinkSimOptions options) : m_options(options)
{
}

LinkSimulator::~LinkSimulator()
{
    stop();
}

bool LinkSimulator::start(std::string *error)
{
    if (m_thread.joinable()) {
        if (error) {
            *error = "the link simulator is already running";
        }
        return false;
    }
    // The speed the ends report: the standard baud rate that carries the
    // simulated byte rate with 10 bits per byte (8N1).
    const long nominalBaud =
        m_options.bytesPerSecond > 0 ? static_cast<long>(m_options.bytesPerSecond * 10.0 + 0.5) : 0;
    const int baud = static_cast<int>(std::min<long>(nominalBaud, 4000000));
    for (sys::PtyPair *end : {&m_a, &m_b}) {
        if (!end->open(error, baud)) {
            return false;
        }
        // The relay never blocks on one side while the other waits.
        if (!sys::setNonBlocking(end->master())) {
            if (error) {
                *error = std::string("making the master non-blocking: ") + std::strerror(errno);
            }
            return false;
        }
    }
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        if (error) {
            *error = std::string("pipe2: ") + std::strerror(errno);
        }
        return false;
    }
    m_wakeRead.reset(pipeFds[0]);
    m_wakeWrite.reset(pipeFds[1]);
    m_aToB = std::make_unique<LinkLine>(m_options, faultSeed(m_options.seed, 1));
    m_bToA = std::make_unique<LinkLine>(m_options, faultSeed(m_options.seed, 2));
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_pathA = m_a.slavePath();
        m_pathB = m_b.slavePath();
        m_publishedAToB = LinkSimCounters{};
        m_publishedBToA = LinkSimCounters{};
    }
    m_stopping = false;
    m_thread = std::thread([this] { run(); });
    return true;
}

void LinkSimulator::stop()
{
    if (m_thread.joinable()) {
        m_stopping = true;
        const char wake = 1;
        (void)!::write(m_wakeWrite.get(), &wake, 1);
        m_thread.join();
    }
    m_a.close();
    m_b.close();
    m_wakeRead.reset();
    m_wakeWrite.reset();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pathA.clear();
    m_pathB.clear();
}

std::string LinkSimulator::endA() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pathA;
}

std::string LinkSimulator::endB() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pathB;
}

void LinkSimulator::setCut(bool cut)
{
    m_cut = cut;
}

LinkSimCounters LinkSimulator::counters(Direction direction) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return direction == Direction::AToB ? m_publishedAToB : m_publishedBToA;
}

void LinkSimulator::publishCounters()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_publishedAToB = m_aToB->counters();
    m_publishedBToA = m_bToA->counters();
}

void LinkSimulator::followPulls(int64_t nowNs)
{
    if (m_mendAtNs >= 0 && nowNs >= m_mendAtNs) {
        m_mendAtNs = -1;
        m_cut = false;
    }
    const size_t next = static_cast<size_t>(m_pullsBegun.load());
    if (m_mendAtNs >= 0 || next >= m_options.pulls.size())
        return;
    const CablePull &pull = m_options.pulls[next];
    if (m_aToB->counters().received + m_bToA->counters().received < pull.atByte)
        return;
    m_cut = true;
    m_mendAtNs = nowNs + static_cast<int64_t>(pull.seconds * 1e9);
    m_pullsBegun = static_cast<int>(next + 1);
}

void LinkSimulator::run()
{
    const int masterA = m_a.master();
    const int masterB = m_b.master();
    while (!m_stopping) {
        const int64_t now = monotonicNs();
        followPulls(now);
        const bool cut = m_cut;
        pull(masterA, *m_aToB, now);
        pull(masterB, *m_bToA, now);
        m_aToB->advance(now, cut);
        m_bToA->advance(now, cut);
        push(masterB, *m_aToB);
        push(masterA, *m_bToA);
        publishCounters();

        pollfd fds[3] = {{m_wakeRead.get(), POLLIN, 0}, {masterA, 0, 0}, {masterB, 0, 0}};
        if (m_aToB->intakeRoom() > 0) {
            fds[1].events |= POLLIN;
        }
        if (m_bToA->pendingSize() > 0) {
            fds[1].events |= POLLOUT;
        }
        if (m_bToA->intakeRoom() > 0) {
            fds[2].events |= POLLIN;
        }
        if (m_aToB->pendingSize() > 0) {
            fds[2].events |= POLLOUT;
        }
        int64_t next = std::min(m_aToB->nextEventNs(), m_bToA->nextEventNs());
        if (m_mendAtNs >= 0)
            next = std::min(next, m_mendAtNs);
        int64_t waitNs = kMaxSleepNs;
        if (next != LinkLine::kNever) {
            waitNs = std::clamp(next - monotonicNs(), kMinSleepNs, kMaxSleepNs);
        }
        const timespec timeout{static_cast<time_t>(waitNs / 1000000000),
                               static_cast<long>(waitNs % 1000000000)};
        if (ppoll(fds, 3, &timeout, nullptr) > 0 && (fds[0].revents & POLLIN)) {
            char drain[64];
            while (::read(m_wakeRead.get(), drain, sizeof drain) > 0) {
            }
        }
        // A master that reports a hang-up or an error (it should not, as we
        // hold the slaves open) must not turn this loop into a busy one.
        if ((fds[1].revents | fds[2].revents) & (POLLHUP | POLLERR | POLLNVAL)) {
            const timespec pause{0, static_cast<long>(kMinSleepNs)};
            nanosleep(&pause, nullptr);
        }
    }
    publishCounters();
}

} // namespace vexo::test
