#pragma once

#include <string>

namespace vexo::test
{

// A pseudo-terminal pair: we keep the master (non-blocking) for the relay and
// hold the slave open in raw mode, so that programs opening and closing the
// slave path never make the master see a hang-up.
class PseudoTerminal
{
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    // Creates the pair. `nominalBaud` is only the speed the slave reports to
    // programs that ask (a pseudo-terminal has no real rate); 0 leaves the
    // default. On failure returns false and says why in `error`.
    bool open(long nominalBaud, std::string *error);
    void close();

    int masterFd() const { return m_master; }
    // Path of the slave device (/dev/pts/N); empty when not open.
    const std::string &slavePath() const { return m_slavePath; }

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};

} // namespace vexo::test
