#pragma once

#include "vexo/sys/UniqueFd.h"

#include <string>
#include <utility>

namespace vexo::sys
{

// A pseudo-terminal pair in raw mode. The slave stays open here too, so the
// master does not see a hang-up while no program has the slave open.
class PtyPair
{
public:
    // `nominalBaud` is only the speed the slave reports to programs that ask
    // (a pseudo-terminal has no real rate); 0 leaves the default. On failure
    // returns false and says why in *error.
    bool open(std::string *error, int nominalBaud = 0);
    void close();

    int master() const { return m_master.get(); }
    int slave() const { return m_slave.get(); }
    // The slave device (/dev/pts/N); empty when not open.
    const std::string &slavePath() const { return m_slavePath; }
    // Gives up ownership of the master descriptor.
    UniqueFd releaseMaster() { return std::move(m_master); }

private:
    UniqueFd m_master;
    UniqueFd m_slave;
    std::string m_slavePath;
};

} // namespace vexo::sys
