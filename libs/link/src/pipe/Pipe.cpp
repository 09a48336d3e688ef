#include "Pipe.h"

#include "FdStream.h"
#include "vexo/sys/Tty.h"

namespace vexo::link
{

Pipe::Pipe(Kind kind) : m_kind(kind)
{
}

Pipe::Pipe(std::shared_ptr<ByteStream> stream)
    : m_kind(Kind::Stream), m_wanted(true), m_stream(std::move(stream))
{
}

void Pipe::setDevicePath(const std::string &path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_path = path;
}

void Pipe::setLine(int port, int baud)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_port = port;
    m_baud = baud;
}

int Pipe::baud() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_kind == Kind::Uart ? m_baud : 0;
}

std::string Pipe::devicePath() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return pathLocked();
}

std::string Pipe::pathLocked() const
{
    if (!m_path.empty())
        return m_path;
    if (m_kind == Kind::Usb)
        return "/dev/ttyACM0";
    return "/dev/ttyS" + std::to_string(m_port > 0 ? m_port - 1 : 0);
}

bool Pipe::openLocked(std::string *error)
{
    if (m_kind == Kind::Stream)
        return m_stream != nullptr;
    const int fd = sys::openSerialDevice(pathLocked(), m_kind == Kind::Uart ? m_baud : 0, error);
    if (fd < 0)
        return false;
    m_stream = std::make_shared<FdStream>(fd, fd, true);
    return true;
}

bool Pipe::open(std::string *error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_wanted = true;
    if (m_stream)
        return true;
    return openLocked(error);
}

void Pipe::close()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_kind == Kind::Stream)
        return;
    m_wanted = false;
    m_stream.reset();
}

std::shared_ptr<ByteStream> Pipe::stream(std::string *error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_stream && m_wanted)
        openLocked(error);
    return m_stream;
}

void Pipe::dropStream(const std::shared_ptr<ByteStream> &broken)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_kind != Kind::Stream && m_stream == broken)
        m_stream.reset();
}

} // namespace vexo::link
