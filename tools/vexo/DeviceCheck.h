// vexo check-device: a fixed sequence of requests against whatever answers
// on the port, for people who implement the palmtop side. Every check is a
// row of one table with its reason when it fails; the device keeps nothing of
// ours afterwards.
#pragma once

#include "CheckTable.h"
#include "FileClient.h"
#include "Hello.h"
#include "Pipe.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace vexo::cli
{

class DeviceCheck
{
public:
    // quick: the best codec only, and smaller files; for a first try.
    DeviceCheck(std::shared_ptr<link::Pipe> pipe, int timeoutMs, bool quick);
    ~DeviceCheck();
    DeviceCheck(const DeviceCheck &) = delete;
    DeviceCheck &operator=(const DeviceCheck &) = delete;

    // Runs the sequence and prints the table on `out`. Returns 0 when every
    // check passed, 1 on any deviation (or when the device could not be reached).
    int run(std::FILE *out);

private:
    void row(const std::string &check, bool pass, const std::string &reason = "");
    // A call's result where `want` was expected; the reason names what came instead.
    bool expect(const std::string &check, link::LinkError got, link::LinkError want,
                const std::string &what = "");
    // The handshake on a channel of our own (HelloCheck); false when no session can follow.
    bool checkHandshake();
    // A session of the file client offering all but `withheld` (bits 0-7 of
    // byte 1 of the hello record, 8-15 of byte 10); false when none opened.
    bool open(link::FileClient &client, uint16_t withheld, const std::string &label);
    void checkTransfers(uint16_t withheld, const std::string &label);
    void checkBatch();
    void checkNames(link::FileClient &client);
    void checkListings();
    void checkRequests(link::FileClient &client);
    void checkResume();
    void cleanUp();
    // Sends `content` as device file `name` and receives it back into a new local file.
    std::string roundTrip(link::FileClient &client, const std::string &name,
                          const std::vector<uint8_t> &content);
    std::string local(const std::string &name) const { return m_work + "/" + name; }
    // A timed call of the file client: the slowest answer is reported, a time-out named.
    template <typename Call> link::LinkError timed(const std::string &what, Call call);

    std::shared_ptr<link::Pipe> m_pipe;
    int m_timeoutMs;
    bool m_quick;
    std::string m_work;                                    // local folder for the files sent and received
    uint8_t m_caps = 0;                                    // byte 1 of the device's HelloAck
    uint8_t m_moreCaps = 0;                                // its byte 10
    std::array<uint8_t, link::kIdentitySize> m_identity{}; // the HelloAck's, with kMoreCapIdentity
    CheckTable m_table;
    int64_t m_slowestMs = 0;
    std::string m_slowest;
    std::vector<std::string> m_timedOut;
};

} // namespace vexo::cli
