// C API of the file-service client: handles, records and integer results.
#include "VexoFileClient.h"

#include "ByteIO.h"
#include "FileClient.h"
#include "NoThrow.h"
#include "PipeRegistry.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>

using namespace vexo::link;

static_assert(sizeof(RpcFindRecord) == 1060, "RpcFindRecord must be 1,060 bytes");
static_assert(offsetof(RpcFindRecord, time) == 16 && offsetof(RpcFindRecord, size) == 24 &&
                  offsetof(RpcFindRecord, name) == 36,
              "RpcFindRecord layout");

namespace
{

struct FindState {
    int client = 0;
    std::vector<DeviceEntry> entries;
    size_t next = 0;
};

// Where a client's transfers count their bytes (SetTransferCounters).
struct Counters {
    int64_t *done = nullptr;
    int64_t *total = nullptr;
};

struct Registry {
    std::mutex mutex;
    std::map<int, std::shared_ptr<FileClient>> clients;
    std::map<int, Counters> counters;
    std::map<int, FindState> finds;
    int nextClient = 1;
    int nextFind = 1;
};

Registry &registry()
{
    static Registry r;
    return r;
}

std::shared_ptr<FileClient> findClient(int handle)
{
    auto &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    const auto it = r.clients.find(handle);
    return it == r.clients.end() ? nullptr : it->second;
}

int toResult(LinkError e)
{
    switch (e) {
    case LinkError::Ok:
        return 0;
    case LinkError::NotConnected:
        return VEXO_ERR_NOT_CONNECTED;
    case LinkError::Timeout:
        return VEXO_ERR_TIMEOUT;
    case LinkError::NotFound:
        return VEXO_ERR_NOT_FOUND;
    case LinkError::BadName:
        return VEXO_ERR_BAD_NAME;
    case LinkError::Exists:
        return VEXO_ERR_EXISTS;
    case LinkError::Stopped:
        return VEXO_ERR_STOPPED;
    case LinkError::TransferFailed:
        return VEXO_ERR_TRANSFER_FAILED;
    case LinkError::LocalIo:
        return VEXO_ERR_LOCAL_IO;
    case LinkError::DeviceIo:
        return VEXO_ERR_DEVICE_IO;
    case LinkError::BadHandle:
        return VEXO_ERR_BAD_HANDLE;
    case LinkError::Protocol:
        return VEXO_ERR_PROTOCOL;
    case LinkError::TooLarge:
        return VEXO_ERR_TOO_LARGE;
    case LinkError::Unsupported:
        return VEXO_ERR_UNSUPPORTED;
    case LinkError::NoSpace:
        return VEXO_ERR_NO_SPACE;
    case LinkError::OtherDevice:
        return VEXO_ERR_OTHER_DEVICE;
    }
    return VEXO_ERR_PROTOCOL;
}

void fillRecord(RpcFindRecord *record, const DeviceEntry &entry)
{
    auto *bytes = reinterpret_cast<uint8_t *>(record);
    std::memset(bytes, 0, sizeof(RpcFindRecord));
    putLe64(bytes + 16, static_cast<uint64_t>(entry.mtimeMs));
    putLe64(bytes + 24, entry.size);
    std::memcpy(bytes + 36, entry.name.data(), std::min<size_t>(entry.name.size(), 1023));
}

// No exception leaves the library: a call that runs out of memory is
// abandoned with VEXO_ERR_NO_MEMORY.
template <typename Fn> int guarded(Fn fn) noexcept
{
    return noThrow(VEXO_ERR_NO_MEMORY, fn);
}

// Runs fn with the client locked; unknown handles give VEXO_ERR_BAD_HANDLE. A
// call abandoned midway also gives up its session, whose state it may have left half done.
template <typename Fn> int withClient(int handle, Fn fn) noexcept
{
    return guarded([&] {
        const auto client = findClient(handle);
        if (!client)
            return VEXO_ERR_BAD_HANDLE;
        std::lock_guard<std::mutex> lock(client->callMutex());
        try {
            return fn(*client);
        } catch (...) {
            client->abandon();
            return VEXO_ERR_NO_MEMORY;
        }
    });
}

Counters countersOf(int client)
{
    auto &r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    const auto it = r.counters.find(client);
    return it == r.counters.end() ? Counters{} : it->second;
}

void storeCount(int64_t *counter, uint64_t value)
{
    __atomic_store_n(counter, static_cast<int64_t>(value), __ATOMIC_RELAXED);
}

int transfer(int client, const char *from, const char *to, int *progress, int *stop, int overwrite,
             bool sending) noexcept
{
    if (!from || !to)
        return VEXO_ERR_BAD_HANDLE;
    const Counters counters = countersOf(client);
    return withClient(client, [&](FileClient &c) {
        TransferControl control;
        control.progress = progress;
        control.stop = stop;
        if (counters.done) {
            storeCount(counters.done, 0);
            storeCount(counters.total, 0);
            control.onProgress = [counters](size_t, uint64_t done, uint64_t total) {
                storeCount(counters.done, done);
                storeCount(counters.total, total);
            };
        }
        const std::vector<TransferItem> items{TransferItem{from, to, overwrite != 0}};
        const auto results = sending ? c.send(items, control) : c.receive(items, control);
        // The device answers a full disk as any failed write; a Space
        // question afterwards tells the two apart.
        if (sending && results.front() == LinkError::DeviceIo && c.lacksSpaceFor(from))
            return VEXO_ERR_NO_SPACE;
        return results.front() == LinkError::Ok ? 1 : toResult(results.front());
    });
}

} // namespace

extern "C" {

int InitVexoFileClient(int pipe)
{
    const int rc = guarded([&] {
        auto p = PipeRegistry::instance().find(pipe);
        if (!p)
            return 0;
        auto &r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        const int handle = r.nextClient++;
        r.clients[handle] = std::make_shared<FileClient>(std::move(p));
        return handle;
    });
    return rc < 0 ? 0 : rc;
}

int UnInitVexoFileClient(int client)
{
    return guarded([&] {
        const auto c = findClient(client);
        if (!c)
            return VEXO_ERR_BAD_HANDLE;
        {
            std::lock_guard<std::mutex> lock(c->callMutex());
            c->close();
        }
        auto &r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        r.clients.erase(client);
        r.counters.erase(client);
        for (auto it = r.finds.begin(); it != r.finds.end();)
            it = it->second.client == client ? r.finds.erase(it) : std::next(it);
        return 0;
    });
}

int SetRespondTimeout(int client, int timeoutMs)
{
    return withClient(client, [&](FileClient &c) {
        c.setTimeout(timeoutMs);
        return 0;
    });
}

int SetResume(int client, int on)
{
    return withClient(client, [&](FileClient &c) {
        c.setResume(on != 0);
        return 0;
    });
}

int ConnectServer(int client)
{
    return withClient(client, [](FileClient &c) { return toResult(c.connect()); });
}

int CloseConnection(int client)
{
    return withClient(client, [](FileClient &c) { return toResult(c.close()); });
}

int RequestFindFileOpen(int client, const char *pattern, RpcFindRecord *record)
{
    if (!record)
        return VEXO_ERR_BAD_HANDLE;
    return guarded([&] {
        std::vector<DeviceEntry> entries;
        const int rc = withClient(client, [&](FileClient &c) {
            return toResult(c.list(pattern && *pattern ? pattern : "*", entries));
        });
        if (rc != 0)
            return rc;
        if (entries.empty())
            return 0;
        fillRecord(record, entries.front());
        auto &r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        const int handle = r.nextFind++;
        if (r.nextFind <= 0)
            r.nextFind = 1;
        r.finds[handle] = FindState{client, std::move(entries), 1};
        return handle;
    });
}

int RequestFindFileNext(int client, int find, RpcFindRecord *record)
{
    return guarded([&] {
        auto &r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        const auto it = r.finds.find(find);
        if (!record || it == r.finds.end() || it->second.client != client)
            return VEXO_ERR_BAD_HANDLE;
        FindState &state = it->second;
        if (state.next >= state.entries.size())
            return 1;
        fillRecord(record, state.entries[state.next++]);
        return 0;
    });
}

int RequestFindFileClose(int client, int find)
{
    return guarded([&] {
        auto &r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        const auto it = r.finds.find(find);
        if (it != r.finds.end() && it->second.client == client)
            r.finds.erase(it);
        return 0;
    });
}

int RequestLookupFile(int client, const char *name)
{
    if (!name)
        return VEXO_ERR_BAD_HANDLE;
    return withClient(client, [&](FileClient &c) { return toResult(c.lookup(name)); });
}

int RequestFileInfo(int client, const char *name, RpcFindRecord *record)
{
    if (!name || !record)
        return VEXO_ERR_BAD_HANDLE;
    return withClient(client, [&](FileClient &c) {
        DeviceEntry entry;
        const int result = toResult(c.lookup(name, &entry));
        if (result == 0)
            fillRecord(record, entry);
        return result;
    });
}

int RequestFileChecksum(int client, const char *name, uint32_t *crc)
{
    if (!name || !crc)
        return VEXO_ERR_BAD_HANDLE;
    return withClient(client, [&](FileClient &c) { return toResult(c.checksum(name, *crc)); });
}

int RequestFileHash(int client, const char *name, uint8_t hash[32])
{
    if (!name || !hash)
        return VEXO_ERR_BAD_HANDLE;
    return withClient(client, [&](FileClient &c) {
        Hash got{};
        const auto e = c.fileHash(name, got);
        if (e == LinkError::Ok)
            std::copy(got.begin(), got.end(), hash);
        return toResult(e);
    });
}

int RequestDeviceIdentity(int client, char *id, int size)
{
    if (!id || size < static_cast<int>(2 * kIdentitySize + 1))
        return VEXO_ERR_BAD_HANDLE;
    return withClient(client, [&](FileClient &c) {
        std::array<uint8_t, kIdentitySize> identity{};
        const auto e = c.deviceIdentity(identity);
        if (e != LinkError::Ok)
            return toResult(e);
        static const char kHex[] = "0123456789abcdef";
        for (size_t i = 0; i < identity.size(); ++i) {
            id[2 * i] = kHex[identity[i] >> 4];
            id[2 * i + 1] = kHex[identity[i] & 15];
        }
        id[2 * kIdentitySize] = '\0';
        return 0;
    });
}

int RequestFreeSpace(int client, int64_t *freeBytes, int64_t *totalBytes)
{
    if (!freeBytes || !totalBytes)
        return VEXO_ERR_BAD_HANDLE;
    return withClient(client, [&](FileClient &c) {
        uint64_t free = 0, total = 0;
        const auto e = c.freeSpace(free, total);
        if (e != LinkError::Ok)
            return toResult(e);
        *freeBytes = static_cast<int64_t>(std::min<uint64_t>(free, INT64_MAX));
        *totalBytes = static_cast<int64_t>(std::min<uint64_t>(total, INT64_MAX));
        return 0;
    });
}

int RequestDeleteFile(int client, const char *name)
{
    if (!name)
        return VEXO_ERR_BAD_HANDLE;
    return withClient(client, [&](FileClient &c) { return toResult(c.remove(name)); });
}

int RequestDeleteFiles(int client, const char *const *names, int count, int *results, int *stop)
{
    if (count < 0 || (count > 0 && (!names || !results)))
        return VEXO_ERR_BAD_HANDLE;
    for (int i = 0; i < count; ++i) {
        if (!names[i])
            return VEXO_ERR_BAD_HANDLE;
    }
    return withClient(client, [&](FileClient &c) {
        const std::vector<std::string> list(names, names + count);
        std::vector<LinkError> outcome;
        const auto e = c.removeMany(list, outcome, stop);
        for (int i = 0; i < count; ++i)
            results[i] = toResult(outcome[static_cast<size_t>(i)]);
        return toResult(e);
    });
}

int RequestRenameFile(int client, const char *oldName, const char *newName)
{
    if (!oldName || !newName)
        return VEXO_ERR_BAD_HANDLE;
    return withClient(client, [&](FileClient &c) { return toResult(c.rename(oldName, newName)); });
}

int SetTransferCounters(int client, int64_t *bytesDone, int64_t *bytesTotal)
{
    return guarded([&] {
        auto &r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        if (r.clients.find(client) == r.clients.end())
            return VEXO_ERR_BAD_HANDLE;
        if (bytesDone && bytesTotal)
            r.counters[client] = Counters{bytesDone, bytesTotal};
        else
            r.counters.erase(client);
        return 0;
    });
}

int RequestSendFileEx(int client, const char *localPath, const char *deviceName, int *progress,
                      int * /*extra*/, int *stop, int overwrite)
{
    return transfer(client, localPath, deviceName, progress, stop, overwrite, true);
}

int RequestReceiveFileEx(int client, const char *deviceName, const char *localPath, int *progress,
                         int * /*extra*/, int *stop, int overwrite)
{
    return transfer(client, deviceName, localPath, progress, stop, overwrite, false);
}
}
