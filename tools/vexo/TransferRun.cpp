#include "TransferRun.h"

#include "ProgressBar.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>

namespace vexo::cli
{

using link::LinkError;

namespace
{
// Failures a lost link causes; a refusal or a failed check is final.
bool lostWithLink(LinkError e)
{
    return e == LinkError::Timeout || e == LinkError::NotConnected || e == LinkError::TransferFailed;
}
} // namespace

int TransferRun::run(const std::vector<link::TransferItem> &items, const std::vector<std::string> &labels,
                     bool sending)
{
    std::vector<LinkError> results(items.size(), LinkError::NotConnected);
    std::vector<size_t> todo(items.size());
    for (size_t i = 0; i < todo.size(); ++i)
        todo[i] = i;
    // The retry time runs from the loss of the link; only a round that moved
    // data starts it again, so a link that comes back only to fail at once
    // is not retried for ever.
    std::chrono::steady_clock::time_point deadline;
    bool lost = false;
    for (;;) {
        std::vector<link::TransferItem> batch;
        for (const size_t i : todo)
            batch.push_back(items[i]);
        ProgressBar bar;
        link::TransferControl control;
        std::vector<uint64_t> first(todo.size(), UINT64_MAX);
        bool moved = false;
        control.onProgress = [&](size_t index, uint64_t done, uint64_t total) {
            first[index] = std::min(first[index], done);
            moved = moved || done > first[index];
            bar.update(labels[todo[index]], done, total);
        };
        const auto got = sending ? m_client.send(batch, control) : m_client.receive(batch, control);
        bar.finish();
        std::vector<size_t> again;
        for (size_t k = 0; k < got.size(); ++k) {
            results[todo[k]] = got[k];
            moved = moved || got[k] == LinkError::Ok;
            m_otherDevice = m_otherDevice || got[k] == LinkError::OtherDevice;
            if (lostWithLink(got[k]))
                again.push_back(todo[k]);
        }
        // Only a session that went away is worth another try: the same
        // failure on a working link would only come back.
        if (again.empty() || !m_client.sessionLost())
            break;
        if (moved || !lost)
            deadline = std::chrono::steady_clock::now() + std::chrono::seconds(m_retrySeconds);
        lost = true;
        if (!reconnect(deadline))
            break;
        todo = std::move(again);
    }
    if (m_otherDevice) {
        const auto copied = std::count(results.begin(), results.end(), LinkError::Ok);
        std::fprintf(stderr,
                     "vexo: another palmtop answered on %s; %lld files were copied to the first one, %lld "
                     "were not copied\n",
                     m_port.c_str(), static_cast<long long>(copied),
                     static_cast<long long>(results.size() - static_cast<size_t>(copied)));
        return 1;
    }
    int failures = 0;
    for (size_t i = 0; i < results.size(); ++i) {
        if (results[i] != LinkError::Ok) {
            std::fprintf(stderr, "vexo: %s: %s\n", labels[i].c_str(), link::describe(results[i]));
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}

bool TransferRun::reconnect(std::chrono::steady_clock::time_point deadline)
{
    using Clock = std::chrono::steady_clock;
    while (Clock::now() < deadline) {
        const auto left =
            std::chrono::duration_cast<std::chrono::seconds>(deadline - Clock::now()).count() + 1;
        std::fprintf(stderr, "vexo: reconnecting\u2026 %lld s\n", static_cast<long long>(left));
        const auto tried = Clock::now();
        // Each attempt lasts up to the response time-out while nothing answers.
        const LinkError e = m_client.reconnect();
        if (e == LinkError::Ok)
            return true;
        if (e == LinkError::OtherDevice) {
            m_otherDevice = true;
            return false;
        }
        // A device node that is gone fails at once: do not spin on it.
        if (Clock::now() - tried < std::chrono::milliseconds(500))
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    std::fprintf(stderr, "vexo: the device did not come back within %d s\n", m_retrySeconds);
    return false;
}

} // namespace vexo::cli
