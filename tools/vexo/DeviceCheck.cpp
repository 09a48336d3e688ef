#include "DeviceCheck.h"

#include "BlockCodec.h"
#include "Crc32.h"
#include "FileDigest.h"
#include "Hello.h"
#include "HelloCheck.h"
#include "Message.h"
#include "OpenChain.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sys/stat.h>

namespace vexo::cli
{

using namespace link;
using std::chrono::milliseconds;

namespace
{

// Half text that compresses well, half bytes that do not: blocks of both kinds.
std::vector<uint8_t> content(size_t size, uint32_t seed)
{
    std::vector<uint8_t> bytes(size);
    std::mt19937 random(seed);
    static const char text[] = "The palmtop keeps its notes in a flat folder; ";
    for (size_t i = 0; i < size; ++i)
        bytes[i] =
            i < size / 2 ? static_cast<uint8_t>(text[i % (sizeof text - 1)]) : static_cast<uint8_t>(random());
    return bytes;
}

bool writeLocal(const std::string &path, const std::vector<uint8_t> &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::vector<uint8_t> readLocal(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int64_t localTimeMs(const std::string &path)
{
    struct stat st {
    };
    if (stat(path.c_str(), &st) != 0)
        return 0;
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000;
}

std::string describeListing(const std::map<std::string, uint64_t> &got,
                            const std::map<std::string, uint64_t> &want)
{
    for (const auto &[name, size] : want) {
        const auto it = got.find(name);
        if (it == got.end())
            return shownName(name) + " missing";
        if (it->second != size)
            return shownName(name) + " listed with " + std::to_string(it->second) + " bytes, not " +
                   std::to_string(size);
    }
    for (const auto &[name, size] : got)
        if (!want.count(name))
            return shownName(name) + " listed, but it is not there";
    return "";
}

} // namespace

DeviceCheck::DeviceCheck(std::shared_ptr<Pipe> pipe, int timeoutMs, bool quick)
    : m_pipe(std::move(pipe)), m_timeoutMs(timeoutMs), m_quick(quick)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vexo-check-XXXXXX").string();
    if (mkdtemp(pattern.data()))
        m_work = pattern;
}

DeviceCheck::~DeviceCheck()
{
    std::error_code ignored;
    if (!m_work.empty())
        std::filesystem::remove_all(m_work, ignored);
}

void DeviceCheck::row(const std::string &check, bool pass, const std::string &reason)
{
    m_table.add(check, pass, reason);
}

bool DeviceCheck::expect(const std::string &check, LinkError got, LinkError want, const std::string &what)
{
    if (got == want) {
        row(check, true);
        return true;
    }
    const std::string instead = got == LinkError::Ok ? std::string("it succeeded") : describe(got);
    row(check, false, (what.empty() ? "" : what + ": ") + instead + "; expected: " + describe(want));
    return false;
}

template <typename Call> LinkError DeviceCheck::timed(const std::string &what, Call call)
{
    const auto started = Clock::now();
    const LinkError e = call();
    const auto ms = std::chrono::duration_cast<milliseconds>(Clock::now() - started).count();
    if (e == LinkError::Timeout)
        m_timedOut.push_back(what);
    else if (ms > m_slowestMs) {
        m_slowestMs = ms;
        m_slowest = what;
    }
    return e;
}

int DeviceCheck::run(std::FILE *out)
{
    if (m_work.empty()) {
        std::fprintf(stderr, "vexo: check-device: cannot make a temporary folder\n");
        return 1;
    }
    if (checkHandshake()) {
        FileClient client(m_pipe);
        if (open(client, 0, "")) {
            // Each codec the device offers, on sessions of their own.
            std::vector<std::pair<uint16_t, std::string>> profiles;
            const uint8_t codecs = m_caps & (kCapZstd | kCapZlib);
            if (m_quick) {
                profiles.push_back({0, (codecs & kCapZstd) ? "zstd" : (codecs & kCapZlib) ? "zlib" : "none"});
            } else {
                if (codecs & kCapZstd)
                    profiles.push_back({kCapZlib, "zstd"});
                if ((codecs & kCapZstd) && (m_caps & kCapZstdContext))
                    profiles.push_back({kCapZlib | kCapZstdContext, "zstd, blocks alone"});
                if (codecs & kCapZlib)
                    profiles.push_back({kCapZstd, "zlib"});
                profiles.push_back({kCapZstd | kCapZlib, "none"});
                if (m_moreCaps & kMoreCapHash)
                    profiles.push_back({uint16_t{kMoreCapHash} << 8, "CRC-32 only"});
            }
            client.close();
            for (const auto &[withheld, label] : profiles)
                checkTransfers(withheld, label);
            checkBatch();
            FileClient requests(m_pipe);
            if (open(requests, 0, " for requests")) {
                checkNames(requests);
                checkRequests(requests);
                requests.close();
            }
            checkListings();
            checkResume();
            cleanUp();
        }
        std::string reason =
            m_slowest.empty() ? "" : "slowest " + std::to_string(m_slowestMs) + " ms (" + m_slowest + ")";
        for (size_t i = 0; i < m_timedOut.size(); ++i)
            reason += (i > 0 ? ", " : reason.empty() ? "no answer to: " : "; no answer to: ") + m_timedOut[i];
        row("answers within the time-out (" + std::to_string(m_timeoutMs) + " ms)", m_timedOut.empty(),
            reason);
    }

    return m_table.print(out) == 0 ? 0 : 1;
}

bool DeviceCheck::checkHandshake()
{
    std::string error;
    const auto stream = m_pipe->stream(&error);
    if (!stream) {
        row("port opened", false, error);
        return false;
    }
    HelloCheck hello(*stream, m_timeoutMs, m_table);
    const bool ok = hello.run();
    m_caps = hello.caps();
    m_moreCaps = hello.moreCaps();
    m_identity = hello.identity();
    return ok;
}

bool DeviceCheck::open(FileClient &client, uint16_t withheld, const std::string &label)
{
    client.setTimeout(m_timeoutMs);
    client.withhold(static_cast<uint8_t>(withheld), static_cast<uint8_t>(withheld >> 8));
    const LinkError e = timed("Hello", [&] { return client.connect(); });
    // Only a session that did not open is worth a row of its own.
    if (e != LinkError::Ok)
        row("session" + label, false, describe(e));
    return e == LinkError::Ok;
}

std::string DeviceCheck::roundTrip(FileClient &client, const std::string &name,
                                   const std::vector<uint8_t> &bytes)
{
    const std::string source = local("sent"), received = local("received");
    std::remove(received.c_str());
    if (!writeLocal(source, bytes))
        return "cannot write a local file";
    LinkError e = client.send({TransferItem{source, name, true}}, {}).front();
    if (e == LinkError::Timeout)
        m_timedOut.push_back("put " + name);
    if (e != LinkError::Ok)
        return std::string("put: ") + describe(e);
    e = client.receive({TransferItem{name, received, true}}, {}).front();
    if (e == LinkError::Timeout)
        m_timedOut.push_back("get " + name);
    if (e != LinkError::Ok)
        return std::string("get: ") + describe(e);
    if (readLocal(received) != bytes)
        return "get: the bytes received differ from those sent";
    DeviceEntry entry;
    e = timed("Lookup " + name, [&] { return client.lookup(name, &entry); });
    if (e != LinkError::Ok)
        return std::string("Lookup: ") + describe(e);
    if (entry.size != bytes.size())
        return "Lookup: " + std::to_string(entry.size) + " bytes, not " + std::to_string(bytes.size());
    // A FAT disk keeps times to 2 s.
    const int64_t sent = localTimeMs(source);
    if ((m_caps & kCapSync) && std::llabs(entry.mtimeMs - sent) > 2000)
        return "Lookup: time " + std::to_string(entry.mtimeMs) + " ms, the put carried " +
               std::to_string(sent);
    return "";
}

void DeviceCheck::checkTransfers(uint16_t withheld, const std::string &label)
{
    FileClient client(m_pipe);
    if (!open(client, withheld, " (" + label + ")"))
        return;
    const size_t large = m_quick ? 40000 : 200000;
    for (const size_t size : {size_t(0), size_t(1), large}) {
        const std::string name = kCheckPrefix + std::to_string(size) + ".bin";
        const std::string reason = roundTrip(client, name, content(size, static_cast<uint32_t>(size)));
        row("put and get, " + std::to_string(size) + (size == 1 ? " byte (" : " bytes (") + label + ")",
            reason.empty(), reason);
    }
    client.close();
}

void DeviceCheck::checkBatch()
{
    if (!(m_caps & kCapLeanBatch)) {
        row("PutNext: a batch of small files", true, "not offered");
        return;
    }
    FileClient client(m_pipe);
    if (!open(client, 0, " for a batch"))
        return;
    std::vector<TransferItem> sends, gets;
    std::vector<std::vector<uint8_t>> bytes;
    for (int i = 1; i <= 3; ++i) {
        const std::string name = kCheckPrefix + "b" + std::to_string(i) + ".txt";
        bytes.push_back(content(100u * static_cast<size_t>(i), static_cast<uint32_t>(i)));
        writeLocal(local(name), bytes.back());
        sends.push_back(TransferItem{local(name), name, true});
        gets.push_back(TransferItem{name, local(name + ".back"), true});
    }
    std::string reason;
    const auto sent = client.send(sends, {});
    const auto got = client.receive(gets, {});
    for (size_t i = 0; i < sends.size() && reason.empty(); ++i) {
        if (sent[i] != LinkError::Ok)
            reason = "put " + sends[i].destination + ": " + describe(sent[i]);
        else if (got[i] != LinkError::Ok)
            reason = "get " + gets[i].source + ": " + describe(got[i]);
        else if (readLocal(gets[i].destination) != bytes[i])
            reason = "get " + gets[i].source + ": the bytes received differ from those sent";
    }
    row("PutNext: a batch of 3 small files", reason.empty(), reason);
    client.close();
}

void DeviceCheck::checkNames(FileClient &client)
{
    // The longest name, and one of two-byte characters ("文件" in code page 936).
    std::string reason;
    for (const std::string &name : {kCheckPrefix + "0123456789", kCheckPrefix + "\xCE\xC4\xBC\xFE.txt"}) {
        if (reason.empty())
            reason = roundTrip(client, name, content(10, 1));
        if (!reason.empty()) {
            reason = shownName(name) + ": " + reason;
            break;
        }
    }
    row("names at the limits: 16 bytes, code page 936", reason.empty(), reason);
}

void DeviceCheck::checkRequests(FileClient &client)
{
    const std::string one = kCheckPrefix + "1.bin", moved = kCheckPrefix + "mv.bin",
                      zero = kCheckPrefix + "0.bin";
    const std::string missing = kCheckPrefix + "none.bin";
    // vxchk-0.bin and vxchk-1.bin are there from the transfers.
    writeLocal(local("one"), content(1, 1));
    LinkError e = client.send({TransferItem{local("one"), one, false}}, {}).front();
    expect("put without overwrite onto a file: Exists", e, LinkError::Exists);

    expect("mv", timed("Rename", [&] { return client.rename(one, moved); }), LinkError::Ok);
    e = timed("Lookup", [&] { return client.lookup(one); });
    expect("mv: the old name is gone (NotFound)", e, LinkError::NotFound);
    expect("mv onto a taken name: Exists", timed("Rename", [&] { return client.rename(moved, zero); }),
           LinkError::Exists);
    expect("mv of a missing name: NotFound", timed("Rename", [&] { return client.rename(missing, one); }),
           LinkError::NotFound);
    expect("rm", timed("Delete", [&] { return client.remove(moved); }), LinkError::Ok);
    expect("rm of a missing name: NotFound", timed("Delete", [&] { return client.remove(moved); }),
           LinkError::NotFound);
    expect("get of a missing name: NotFound",
           timed("get " + missing,
                 [&] {
                     return client.receive({TransferItem{missing, local("missing"), true}}, {}).front();
                 }),
           LinkError::NotFound);

    if (!(m_caps & kCapSync)) {
        row("Checksum", true, "not offered");
    } else {
        const auto bytes = content(m_quick ? 40000 : 200000, m_quick ? 40000 : 200000);
        const std::string name = kCheckPrefix + std::to_string(bytes.size()) + ".bin";
        uint32_t crc = 0;
        e = timed("Checksum", [&] { return client.checksum(name, crc); });
        const uint32_t want = crc32(bytes.data(), bytes.size());
        if (e == LinkError::Ok && crc != want)
            row("Checksum", false, "CRC-32 " + hexByte(crc) + ", the file's is " + hexByte(want));
        else
            expect("Checksum", e, LinkError::Ok);
    }
    if (!(m_moreCaps & kMoreCapHash)) {
        row("Hash (BLAKE2b)", true, "not offered");
    } else {
        const auto bytes = content(m_quick ? 40000 : 200000, m_quick ? 40000 : 200000);
        const std::string name = kCheckPrefix + std::to_string(bytes.size()) + ".bin";
        FileDigest digest;
        digest.add(bytes.data(), bytes.size());
        Hash hash{};
        e = timed("Hash", [&] { return client.fileHash(name, hash); });
        if (e == LinkError::Ok && hash != digest.hash())
            row("Hash (BLAKE2b)", false, "another hash than the file's");
        else
            expect("Hash (BLAKE2b)", e, LinkError::Ok);
    }
    if (m_moreCaps & kMoreCapIdentity) {
        std::array<uint8_t, kIdentitySize> identity{};
        e = client.deviceIdentity(identity);
        if (e == LinkError::Ok && identity != m_identity)
            row("identity the same in another session", false, "another identity");
        else
            expect("identity the same in another session", e, LinkError::Ok);
    }
    if (!(m_moreCaps & kMoreCapSpace)) {
        row("Space", true, "not offered");
    } else {
        uint64_t freeBytes = 0, totalBytes = 0;
        e = timed("Space", [&] { return client.freeSpace(freeBytes, totalBytes); });
        if (e == LinkError::Ok)
            row("Space", true, std::to_string(freeBytes) + " bytes free of " + std::to_string(totalBytes));
        else
            expect("Space", e, LinkError::Ok);
    }
}

void DeviceCheck::checkListings()
{
    const std::string pattern = kCheckPrefix + "*";
    std::map<std::string, uint64_t> want;
    {
        FileClient client(m_pipe);
        if (!open(client, 0, " for listings"))
            return;
        // What is there, by Lookup: the listings must agree with it.
        for (const std::string &name :
             {kCheckPrefix + "0.bin", kCheckPrefix + "1.bin",
              kCheckPrefix + std::to_string(m_quick ? 40000 : 200000) + ".bin", kCheckPrefix + "0123456789",
              kCheckPrefix + "\xCE\xC4\xBC\xFE.txt", kCheckPrefix + "b1.txt", kCheckPrefix + "b2.txt",
              kCheckPrefix + "b3.txt"}) {
            DeviceEntry entry;
            if (client.lookup(name, &entry) == LinkError::Ok)
                want[name] = entry.size;
        }
        client.close();
    }
    const auto listed = [&](FileClient &client, std::string &reason) {
        std::vector<DeviceEntry> entries;
        const LinkError e = timed("List", [&] { return client.list(pattern, entries); });
        if (e != LinkError::Ok) {
            reason = describe(e);
            return;
        }
        std::map<std::string, uint64_t> got;
        for (const auto &entry : entries)
            got[entry.name] = entry.size;
        reason = describeListing(got, want);
    };

    // Protocol version 1 ends a listing with its stream, version 2 with a Result.
    for (const uint8_t version : {uint8_t(1), uint8_t(2)}) {
        FileClient client(m_pipe);
        client.setTimeout(m_timeoutMs);
        client.withhold(kCapCompactList | kCapListDelta, 0, version);
        const std::string label = "listing, entry by entry, version " + std::to_string(version);
        const LinkError e = timed("Hello", [&] { return client.connect(); });
        std::string reason;
        if (e == LinkError::Ok)
            listed(client, reason);
        else
            reason = std::string("session: ") + describe(e);
        row(label, reason.empty(), reason);
        client.close();
    }
    if (!(m_caps & kCapCompactList)) {
        row("listing, compact", true, "not offered");
        return;
    }
    FileClient client(m_pipe);
    if (!open(client, 0, " with compact listings"))
        return;
    std::string reason;
    auto before = client.stats().bytesRead;
    listed(client, reason);
    const auto whole = client.stats().bytesRead - before;
    row("listing, compact", reason.empty(), reason);
    before = client.stats().bytesRead;
    listed(client, reason);
    const auto again = client.stats().bytesRead - before;
    if (reason.empty() && again >= whole)
        reason = "the whole listing again (" + std::to_string(again) + " bytes) where its token was current";
    row("listing unchanged: the Result alone", reason.empty(), reason);

    const std::string added = kCheckPrefix + "new.txt";
    writeLocal(local("new"), content(5, 5));
    const LinkError e = client.send({TransferItem{local("new"), added, true}}, {}).front();
    if (e == LinkError::Ok)
        want[added] = 5;
    listed(client, reason);
    row(std::string("listing after a change") + ((m_caps & kCapListDelta) ? " (delta)" : ""),
        e == LinkError::Ok && reason.empty(),
        e != LinkError::Ok ? std::string("put: ") + describe(e) : reason);
    client.close();
}

void DeviceCheck::checkResume()
{
    // The client resumes only with both bits: the partial's record holds the source's time.
    if (!(m_caps & kCapResume) || !(m_caps & kCapSync)) {
        row("resume offer after an interrupted put", true, "not offered");
        row("get continued after an interrupted get", true, "not offered");
        return;
    }
    FileClient client(m_pipe);
    if (!open(client, 0, " for resume"))
        return;
    const std::string name = kCheckPrefix + "resume.bin";
    std::vector<uint8_t> bytes(m_quick ? 160 * 1024 : 512 * 1024);
    std::mt19937 random(7);
    for (auto &b : bytes)
        b = static_cast<uint8_t>(random());
    writeLocal(local("resume"), bytes);
    int stop = 0;
    TransferControl control;
    control.stop = &stop;
    control.onProgress = [&](size_t, uint64_t done, uint64_t) {
        if (done >= bytes.size() / 2)
            stop = 1;
    };
    const TransferItem item{local("resume"), name, true};
    LinkError e = client.send({item}, control).front();
    std::string reason;
    if (e != LinkError::Stopped) {
        reason = std::string("the first put was to stop midway: ") + describe(e);
    } else {
        const auto before = client.stats().dataBytesSent;
        e = client.send({item}, {}).front();
        const auto sent = client.stats().dataBytesSent - before;
        if (e != LinkError::Ok)
            reason = std::string("put: ") + describe(e);
        // A kept part is whole blocks of 32 KiB; framing adds about 1 % to what is sent.
        else if (sent + 16 * 1024 > bytes.size())
            reason = "no kept part offered: " + std::to_string(sent) + " bytes sent again for a file of " +
                     std::to_string(bytes.size());
        else if (client.receive({TransferItem{name, local("resume.back"), true}}, {}).front() !=
                     LinkError::Ok ||
                 readLocal(local("resume.back")) != bytes)
            reason = "the continued file, received back, differs from the one sent";
        else
            reason = "continued: " + std::to_string(sent) + " bytes sent for " + std::to_string(bytes.size());
    }
    const bool putResumed = reason.rfind("continued", 0) == 0;
    row("resume offer after an interrupted put", putResumed, reason);

    // The other way: a get stopped halfway leaves its partial here, and the
    // next get of the file asks the device to continue after it.
    reason.clear();
    const std::string back = local("resume.back2");
    stop = 0;
    if (!putResumed) {
        reason = "the put above left no file to get";
    } else if (e = client.receive({TransferItem{name, back, true}}, control).front();
               e != LinkError::Stopped) {
        reason = std::string("the first get was to stop midway: ") + describe(e);
    } else {
        const auto before = client.stats().bytesRead;
        e = client.receive({TransferItem{name, back, true}}, {}).front();
        const auto read = client.stats().bytesRead - before;
        if (e != LinkError::Ok)
            reason = std::string("get: ") + describe(e);
        else if (readLocal(back) != bytes)
            reason = "the continued file differs from the one on the device";
        else if (read + 16 * 1024 > bytes.size())
            reason = "the device sent the whole file again (" + std::to_string(read) + " bytes)";
        else
            reason =
                "continued: " + std::to_string(read) + " bytes received for " + std::to_string(bytes.size());
    }
    row("get continued after an interrupted get", reason.rfind("continued", 0) == 0, reason);
    client.close();
}

void DeviceCheck::cleanUp()
{
    FileClient client(m_pipe);
    if (!open(client, 0, " for the clean-up"))
        return;
    std::vector<DeviceEntry> entries;
    std::string reason;
    if (const LinkError e = client.list("*", entries); e != LinkError::Ok)
        reason = std::string("List: ") + describe(e);
    for (const auto &entry : entries) {
        if (entry.name.rfind(kCheckPrefix, 0) != 0)
            continue;
        if (const LinkError e = client.remove(entry.name); e != LinkError::Ok && reason.empty())
            reason = "rm " + shownName(entry.name) + ": " + describe(e);
    }
    entries.clear();
    if (reason.empty() && client.list("*", entries) == LinkError::Ok)
        for (const auto &entry : entries)
            if (entry.name.rfind(kCheckPrefix, 0) == 0 && reason.empty())
                reason = shownName(entry.name) + " still listed after its rm";
    row("names of the check removed", reason.empty(), reason);
    client.close();
}

} // namespace vexo::cli
