#pragma once

namespace vexo::sys
{

// Sole owner of a file descriptor: closes it exactly once, moves but never
// copies, so no descriptor is closed twice or leaked on an early return.
class UniqueFd
{
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd();
    UniqueFd(UniqueFd &&other) noexcept : m_fd(other.release()) {}
    UniqueFd &operator=(UniqueFd &&other) noexcept;
    UniqueFd(const UniqueFd &) = delete;
    UniqueFd &operator=(const UniqueFd &) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    explicit operator bool() const { return valid(); }
    // Gives the descriptor up; the caller closes it.
    int release();
    void reset(int fd = -1);
    // Closes now and reports whether close() succeeded: for a written file a
    // failed close is a failed write.
    bool close();

private:
    int m_fd = -1;
};

} // namespace vexo::sys
