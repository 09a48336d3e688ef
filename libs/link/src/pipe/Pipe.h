#pragma once

#include "ByteStream.h"

#include <memory>
#include <mutex>
#include <string>

namespace vexo::link
{

// One pipe to the palmtop: which device node, at what speed, and the open
// stream. A pipe that was opened but lost its device (unplugged, hung up)
// opens it again the next time a stream is asked for.
class Pipe
{
public:
    enum class Kind { Uart, Usb, Stream };

    explicit Pipe(Kind kind);
    // A pipe over an existing stream (tests, stdio); it never reopens.
    explicit Pipe(std::shared_ptr<ByteStream> stream);

    Kind kind() const { return m_kind; }
    void setDevicePath(const std::string &path);
    void setLine(int port, int baud);
    int baud() const;
    std::string devicePath() const;

    bool open(std::string *error = nullptr);
    void close();
    // The open stream, opening the device again if needed; null when it cannot be opened.
    std::shared_ptr<ByteStream> stream(std::string *error = nullptr);
    // The stream broke; the next stream() opens the device again.
    void dropStream(const std::shared_ptr<ByteStream> &broken);

private:
    bool openLocked(std::string *error);
    std::string pathLocked() const;

    mutable std::mutex m_mutex;
    Kind m_kind;
    std::string m_path;
    int m_port = 1;
    int m_baud = 115200;
    bool m_wanted = false;
    std::shared_ptr<ByteStream> m_stream;
};

} // namespace vexo::link
