// The table vexo check-device prints: the capabilities the palmtop's
// HelloAck offered, then one row per check with its reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace vexo::cli
{

class CheckTable
{
public:
    void add(const std::string &check, bool pass, const std::string &reason = "");
    // The HelloAck's bytes 1 and 10; without a HelloAck the offers print as "?".
    void setOffered(uint8_t caps, uint8_t moreCaps);
    // Prints the table; returns the number of failed checks.
    size_t print(std::FILE *out) const;

private:
    struct Row {
        std::string check;
        bool pass = false;
        std::string reason; // why it failed, or what was seen
    };
    std::vector<Row> m_rows;
    bool m_offered = false;
    uint8_t m_caps = 0;
    uint8_t m_moreCaps = 0;
};

// Every device name the check uses begins so; nothing else on the palmtop is touched.
inline const std::string kCheckPrefix = "vxchk-";

// "0x1F": a byte for the reasons column.
std::string hexByte(unsigned value);
// A device name for the reasons column, in quotes, bytes outside ASCII as \xNN.
std::string shownName(const std::string &bytes);

} // namespace vexo::cli
