// A put or get of several files that outlives a lost link: when the line goes
// quiet mid-transfer it reconnects for a while and carries on with the files
// not yet done, the interrupted one continued where the device or the local
// partial left it.
#pragma once

#include "FileClient.h"

#include <chrono>
#include <string>
#include <vector>

namespace vexo::cli
{

class TransferRun
{
public:
    // port: named when another palmtop answers there after a reconnect.
    TransferRun(link::FileClient &client, int retrySeconds, std::string port)
        : m_client(client), m_retrySeconds(retrySeconds), m_port(std::move(port))
    {
    }

    // Transfers the items (labels name them in messages); prints a failure
    // line per file that did not make it. 0 when all did, else 1.
    int run(const std::vector<link::TransferItem> &items, const std::vector<std::string> &labels,
            bool sending);

private:
    // Says Hello until it succeeds or `deadline` passes, counting down on stderr.
    bool reconnect(std::chrono::steady_clock::time_point deadline);

    link::FileClient &m_client;
    int m_retrySeconds;
    std::string m_port;
    bool m_otherDevice = false; // a reconnect met another palmtop: the run stops there
};

} // namespace vexo::cli
