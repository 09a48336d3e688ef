// Fuzz target: the server's request handling. The input is a list of
// records; each either carries one message in a checked Data frame of the
// session (so every message reaches the request handler), acknowledges what
// the server sent, says Hello again, or feeds raw bytes to the frame layer.
// The served folder holds a plain file, a file of several blocks, a FIFO, a
// folder and a symbolic link leading out; it is restored before each input.
#include "DeviceFolder.h"
#include "DeviceServer.h"
#include "Frame.h"
#include "FrameDecoder.h"
#include "Hello.h"
#include "Message.h"

#include <cstdint>
#include <cstdlib>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace vexo;
using namespace vexo::link;

namespace
{

// The server's line: what the client "sent" waits in `in`; what the server
// writes is decoded at once, so the client knows what to acknowledge.
class MemoryStream : public ByteStream
{
public:
    int wait(bool wantWrite, int) override
    {
        return (wantWrite ? kWritable : 0) | (m_in.empty() ? 0 : kReadable);
    }
    long readSome(uint8_t *buffer, size_t capacity) override
    {
        size_t n = 0;
        while (n < capacity && !m_in.empty()) {
            buffer[n++] = m_in.front();
            m_in.pop_front();
        }
        return static_cast<long>(n);
    }
    long writeSome(const uint8_t *data, size_t size) override
    {
        m_out.feed(data, size);
        Frame f;
        for (auto r = m_out.next(f); r != FrameDecoder::Result::None; r = m_out.next(f))
            if (r == FrameDecoder::Result::Frame && f.type == FrameType::Data && f.tag == tag)
                nextExpected = static_cast<uint16_t>(f.seq + 1);
        return static_cast<long>(size);
    }
    void push(const std::vector<uint8_t> &bytes) { m_in.insert(m_in.end(), bytes.begin(), bytes.end()); }

    uint8_t tag = 0;
    uint16_t nextExpected = 0;

private:
    std::deque<uint8_t> m_in;
    FrameDecoder m_out;
};

// One folder for the whole run, removed at exit.
struct Folder {
    Folder()
    {
        char tmpl[] = "/tmp/vexo-server-fuzz.XXXXXX";
        if (!mkdtemp(tmpl))
            std::abort();
        path = tmpl;
    }
    ~Folder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string path;
};

const std::string &root()
{
    static const Folder folder;
    return folder.path;
}

void writeFile(const std::string &path, size_t size)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    if (fd >= 0 && write(fd, bytes.data(), size) < 0)
        std::abort();
    close(fd);
}

// Back to the same folder for every input: only the fixtures, as they were.
void restoreFolder()
{
    const std::string &dir = root();
    if (DIR *d = opendir(dir.c_str())) {
        while (const dirent *e = readdir(d)) {
            const std::string name = e->d_name;
            if (name != "." && name != ".." && name != "fifo" && name != "dir" && name != "out")
                unlink((dir + "/" + name).c_str());
        }
        closedir(d);
    }
    writeFile(dir + "/a.txt", 100);
    writeFile(dir + "/big.bin", 40000);
    mkfifo((dir + "/fifo").c_str(), 0600);
    mkdir((dir + "/dir").c_str(), 0700);
    if (symlink("/etc/passwd", (dir + "/out").c_str()) != 0 && errno != EEXIST)
        std::abort();
}

std::vector<uint8_t> frame(FrameType type, uint8_t tag, uint16_t seq, const std::vector<uint8_t> &payload)
{
    return encodeFrame(Frame{type, tag, seq, payload});
}

constexpr MsgType kTypes[] = {MsgType::Lookup,  MsgType::Delete,  MsgType::Rename,  MsgType::List,
                              MsgType::PutOpen, MsgType::Get,     MsgType::Abort,   MsgType::FileData,
                              MsgType::Result,  MsgType::GetOpen, MsgType::ListPart};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    restoreFolder();
    MemoryStream line;
    deviced::DeviceFolder folder(root());
    deviced::ServerOptions options;
    options.timeoutMs = 200;
    deviced::DeviceServer server(folder, line, options);

    uint32_t nonce = 0x1234567;
    uint32_t sessionNonce = 0;
    uint16_t seq = 0;
    auto hello = [&] {
        Hello h;
        h.caps = localCodecCaps();
        h.nonce = nonce;
        h.maxPayload = 512;
        h.window = 4;
        line.tag = tagForNonce(nonce);
        // A repeated Hello keeps the session and its numbering.
        if (nonce != sessionNonce) {
            line.nextExpected = 0;
            seq = 0;
            sessionNonce = nonce;
        }
        line.push(frame(FrameType::Hello, line.tag, 0, encodeHello(h)));
    };
    auto run = [&] {
        // A step takes the input that is there; a few more let queued work go out.
        for (int i = 0; i < 4; ++i)
            server.step(0);
    };
    hello();
    run();

    size_t at = 0;
    for (int records = 0; at + 2 <= size && records < 64; ++records) {
        const uint8_t op = data[at];
        const size_t length = std::min<size_t>(data[at + 1], size - at - 2);
        const std::vector<uint8_t> body(data + at + 2, data + at + 2 + length);
        at += 2 + length;
        switch (op & 3) {
        case 0: {
            // One message: its type from the op, id and fields from the bytes.
            std::vector<uint8_t> msg = {
                static_cast<uint8_t>(kTypes[(op >> 2) % (sizeof kTypes / sizeof *kTypes)])};
            msg.insert(msg.end(), body.begin(), body.end());
            line.push(frame(FrameType::Data, line.tag, seq++, msg));
            break;
        }
        case 1:
            line.push(frame(FrameType::Ack, line.tag, line.nextExpected, {0, 0, 0, 0}));
            break;
        case 2:
            if (op & 4)
                ++nonce;
            hello();
            break;
        default:
            line.push(body);
            break;
        }
        run();
    }
    // Let whatever the input started go on for a while, acknowledged.
    for (int i = 0; i < 8; ++i) {
        line.push(frame(FrameType::Ack, line.tag, line.nextExpected, {0, 0, 0, 0}));
        run();
    }
    return 0;
}
