#include "CheckTable.h"

#include "BlockCodec.h"
#include "FileDigest.h"
#include "Hello.h"
#include "OpenChain.h"

namespace vexo::cli
{

using namespace link;

namespace
{

struct CapName {
    int byte; // of the hello record
    uint8_t bit;
    const char *name;
};
const CapName kCapNames[] = {
    {1, kCapZstd, "zstd blocks"},
    {1, kCapZlib, "zlib blocks"},
    {1, kCapSync, "Checksum, PutOpen times"},
    {1, kCapCompactList, "compact listings, tokens"},
    {1, kCapZstdContext, "zstd context per file"},
    {1, kCapLeanBatch, "PutNext, Acks without bitmap"},
    {1, kCapListDelta, "delta listings"},
    {1, kCapResume, "kept partials, resume"},
    {10, kMoreCapSpace, "Space"},
    {10, kMoreCapHash, "BLAKE2b hash of whole files"},
    {10, kMoreCapIdentity, "palmtop identity"},
};

} // namespace

void CheckTable::add(const std::string &check, bool pass, const std::string &reason)
{
    m_rows.push_back(Row{check, pass, reason});
}

void CheckTable::setOffered(uint8_t caps, uint8_t moreCaps)
{
    m_offered = true;
    m_caps = caps;
    m_moreCaps = moreCaps;
}

size_t CheckTable::print(std::FILE *out) const
{
    std::fprintf(out, "%-46s %s\n", "capability (byte, bit)", "offered");
    for (const auto &cap : kCapNames) {
        int bit = 0;
        while ((1u << bit) != cap.bit)
            ++bit;
        const bool on = cap.byte == 1 ? (m_caps & cap.bit) : (m_moreCaps & cap.bit);
        char label[64];
        std::snprintf(label, sizeof label, "%2d.%d  %s", cap.byte, bit, cap.name);
        std::fprintf(out, "%-46s %s\n", label, !m_offered ? "?" : on ? "yes" : "no");
    }
    std::fprintf(out, "\n%-46s %-6s %s\n", "check", "result", "reason");
    size_t failed = 0;
    for (const auto &r : m_rows) {
        failed += r.pass ? 0 : 1;
        std::fprintf(out, "%-46s %-6s %s\n", r.check.c_str(), r.pass ? "pass" : "FAIL", r.reason.c_str());
    }
    std::fprintf(out, "\n%zu checks, %zu failed\n", m_rows.size(), failed);
    return failed;
}

std::string hexByte(unsigned value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

std::string shownName(const std::string &bytes)
{
    std::string out = "\"";
    for (const unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\')
            out += static_cast<char>(c);
        else
            out += "\\x" + hexByte(c).substr(2);
    }
    return out + "\"";
}

} // namespace vexo::cli
