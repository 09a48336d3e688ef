// Fixtures shared by the link tests: temporary folders, file helpers, and a
// device server running in-process on one end of a socket pair.
#pragma once

#include "DeviceFolder.h"
#include "DeviceServer.h"
#include "FaultyStream.h"
#include "FdStream.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace vexo::link
{
class FileClient;
}

namespace vexo::link::test
{

class TempDir
{
public:
    TempDir();
    ~TempDir();
    const std::filesystem::path &path() const { return m_path; }
    std::string operator/(const std::string &name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

std::vector<uint8_t> randomBytes(size_t size, uint32_t seed);
std::vector<uint8_t> textBytes(size_t size);
void writeFile(const std::string &path, const std::vector<uint8_t> &bytes);
std::vector<uint8_t> readFile(const std::string &path);
// Names in a folder, our temporary files included.
std::vector<std::string> listFolder(const std::filesystem::path &dir);

// Two connected stream ends; either may be wrapped in a FaultyStream.
struct StreamPair {
    StreamPair();
    std::shared_ptr<FdStream> a;
    std::shared_ptr<FdStream> b;
};

// vexo-deviced's server loop on a thread, serving `root` on one end of a socket pair.
class ServerThread
{
public:
    // verbose: the server logs each request on stderr, as vexo-deviced --verbose does.
    // offerChecksum false: the server behaves as one of version 1, from before the Checksum request,
    // compact listings, the compression context per file, the Space request and the hash.
    ServerThread(const std::string &root, std::shared_ptr<ByteStream> stream, int timeoutMs = 3000,
                 bool verbose = false, bool offerChecksum = true);
    ServerThread(const std::string &root, std::shared_ptr<ByteStream> stream,
                 const deviced::ServerOptions &options);
    ~ServerThread();
    // Stops serving at once, as a device that is switched off would.
    void kill();

private:
    deviced::DeviceFolder m_folder;
    std::shared_ptr<ByteStream> m_stream;
    std::atomic<bool> m_quit{false};
    std::unique_ptr<deviced::DeviceServer> m_server;
    std::thread m_thread;
};

// What the client tests share: a device folder, a local one, the line
// between them, and the server and the client on its ends once started.
struct ClientServerFolders {
    std::string dev(const std::string &name) const { return m_device / name; }
    std::string loc(const std::string &name) const { return m_local / name; }

    TempDir m_device;
    TempDir m_local;
    StreamPair m_pair;
    std::unique_ptr<ServerThread> m_server;
    std::unique_ptr<FileClient> m_client;
};

} // namespace vexo::link::test
