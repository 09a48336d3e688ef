#include "LinkTestSupport.h"

#include <fstream>
#include <iterator>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

namespace vexo::link::test
{

TempDir::TempDir()
{
    std::string tmpl = (std::filesystem::temp_directory_path() / "vexo-link-test.XXXXXX").string();
    m_path = mkdtemp(tmpl.data());
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::vector<uint8_t> randomBytes(size_t size, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(size);
    for (auto &b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

std::vector<uint8_t> textBytes(size_t size)
{
    static const char *words[] = {"palmtop ", "file ", "service ", "serial ", "line ", "terminal ", "data\n"};
    std::mt19937 rng(7);
    std::vector<uint8_t> v;
    while (v.size() < size) {
        const char *w = words[rng() % 7];
        v.insert(v.end(), w, w + std::char_traits<char>::length(w));
    }
    v.resize(size);
    return v;
}

void writeFile(const std::string &path, const std::vector<uint8_t> &bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> listFolder(const std::filesystem::path &dir)
{
    std::vector<std::string> names;
    for (const auto &e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

StreamPair::StreamPair()
{
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
        std::abort();
    a = std::make_shared<FdStream>(fds[0], fds[0], true);
    b = std::make_shared<FdStream>(fds[1], fds[1], true);
}

namespace
{
deviced::ServerOptions optionsFor(int timeoutMs, bool verbose, bool offerChecksum)
{
    deviced::ServerOptions options;
    options.timeoutMs = timeoutMs;
    options.verbose = verbose;
    options.offerChecksum = offerChecksum;
    options.offerCompactList = offerChecksum;
    options.offerListDelta = offerChecksum;
    options.offerFileContext = offerChecksum;
    options.offerLeanBatch = offerChecksum;
    options.offerSpace = offerChecksum;
    options.offerHash = offerChecksum;
    if (!offerChecksum)
        options.protocol = 1;
    return options;
}
} // namespace

ServerThread::ServerThread(const std::string &root, std::shared_ptr<ByteStream> stream, int timeoutMs,
                           bool verbose, bool offerChecksum)
    : ServerThread(root, std::move(stream), optionsFor(timeoutMs, verbose, offerChecksum))
{
}

ServerThread::ServerThread(const std::string &root, std::shared_ptr<ByteStream> stream,
                           const deviced::ServerOptions &options)
    : m_folder(root), m_stream(std::move(stream))
{
    m_server = std::make_unique<deviced::DeviceServer>(m_folder, *m_stream, options);
    m_thread = std::thread([this] {
        while (!m_quit.load() && m_server->step(50)) {
        }
    });
}

ServerThread::~ServerThread()
{
    kill();
}

void ServerThread::kill()
{
    m_quit.store(true);
    if (m_thread.joinable())
        m_thread.join();
}

} // namespace vexo::link::test
