#pragma once

#include <string>

namespace vexo::link
{

// A pseudo-terminal pair in raw mode. The slave stays open here too, so the
// master does not see a hang-up while no client has the slave open.
class PtyPair
{
public:
    PtyPair() = default;
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool open(std::string *error);
    int master() const { return m_master; }
    int slave() const { return m_slave; }
    const std::string &slavePath() const { return m_slavePath; }
    // Gives up ownership of the master descriptor (the caller closes it).
    int releaseMaster();

private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
};

} // namespace vexo::link
