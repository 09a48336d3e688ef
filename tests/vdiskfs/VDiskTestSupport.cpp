#include "VDiskTestSupport.h"

#include "FileReader.h"
#include "FileWriter.h"
#include "VexoVDisk.h"
#include "VolumeChecker.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace vexo::test
{

VDiskError FaultyBlockDevice::read(uint64_t offset, void *buffer, size_t length)
{
    if (offset > m_bytes.size() || length > m_bytes.size() - offset)
        return VDiskError::Io;
    std::memcpy(buffer, m_bytes.data() + offset, length);
    return VDiskError::None;
}

VDiskError FaultyBlockDevice::write(uint64_t offset, const void *buffer, size_t length)
{
    if (offset > m_bytes.size() || length > m_bytes.size() - offset)
        return VDiskError::Io;
    const long attempt = m_attempts++;
    if (m_budget >= 0 && m_writes >= m_budget)
        return VDiskError::Io;
    if (attempt >= m_failFirst && attempt < m_failEnd)
        return VDiskError::Io;
    ++m_writes;
    std::memcpy(m_bytes.data() + offset, buffer, length);
    return VDiskError::None;
}

std::unique_ptr<Volume> mountBytes(std::vector<uint8_t> &bytes, long writeBudget)
{
    std::unique_ptr<Volume> volume;
    if (Volume::mount(std::make_unique<FaultyBlockDevice>(bytes, writeBudget), volume) != VDiskError::None)
        return nullptr;
    return volume;
}

std::unique_ptr<Volume> formatAndMount(std::vector<uint8_t> &bytes, size_t size, long writeBudget)
{
    bytes.assign(size, 0);
    FaultyBlockDevice device(bytes);
    if (Volume::format(device, 0x12345678) != VDiskError::None)
        return nullptr;
    return mountBytes(bytes, writeBudget);
}

VDiskError writeFile(Volume &volume, const std::string &name, const std::string &data)
{
    std::unique_ptr<FileWriter> writer;
    VDiskError e = FileWriter::open(volume, name, writer);
    if (e == VDiskError::None)
        e = writer->write(data.data(), data.size());
    if (e == VDiskError::None)
        e = writer->commit();
    return e;
}

VDiskError readFile(Volume &volume, const std::string &name, std::string &data)
{
    data.clear();
    std::unique_ptr<FileReader> reader;
    VDiskError e = FileReader::open(volume, name, reader);
    char buffer[3000]; // not a divisor of any cluster size
    size_t got = 0;
    while (e == VDiskError::None && (e = reader->read(buffer, sizeof buffer, got)) == VDiskError::None &&
           got > 0)
        data.append(buffer, got);
    return e;
}

std::vector<std::string> checkProblems(std::vector<uint8_t> &bytes, bool ignoreCrashLeftovers)
{
    FaultyBlockDevice device(bytes);
    CheckReport report;
    if (VolumeChecker::check(device, report) != VDiskError::None)
        return {"not a volume"};
    std::vector<std::string> problems;
    for (const std::string &p : report.problems)
        if (!ignoreCrashLeftovers || (p.find("lost clusters") == std::string::npos &&
                                      p.find("FAT copy 2 differs") == std::string::npos))
            problems.push_back(p);
    return problems;
}

std::string randomBytes(std::mt19937 &rng, size_t length)
{
    std::string s(length, '\0');
    for (char &c : s)
        c = static_cast<char>(rng() & 0xFF);
    return s;
}

bool apiPut(const std::string &name, const std::string &data)
{
    int h = zfopen(name.c_str(), "w+");
    if (h == 0)
        return false;
    size_t at = 0;
    bool ok = true;
    for (;;) {
        int n = int(std::min<size_t>(1024, data.size() - at));
        ok = zfwrite(data.data() + at, n, 1, h) == n && ok;
        at += size_t(n);
        if (n < 1024)
            break;
    }
    return zfclose(h) == 0 && ok;
}

std::string apiGet(const std::string &name)
{
    int length = zflen(name.c_str());
    int h = zfopen(name.c_str(), "r");
    if (length < 0 || h == 0)
        return "<missing " + name + ">";
    std::string data(size_t(length), '\0');
    for (int at = 0; at < length; at += 1024) {
        int n = std::min(1024, length - at);
        if (zfread(&data[size_t(at)], n, 1, h) != n)
            data = "<short read " + name + ">";
    }
    zfclose(h);
    return data;
}

std::vector<std::string> apiList()
{
    std::vector<std::string> names;
    VDiskFindRecord r;
    int search = OpenFindFile("/");
    for (int more = FindFirst(&r, search); more != -1; more = FindNext(&r, search))
        names.emplace_back(r.name, strnlen(r.name, sizeof r.name));
    return names;
}

TempDir::TempDir()
{
    const char *base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/vdiskfs-test.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr)
        std::abort();
    m_path = pattern;
}

TempDir::~TempDir()
{
    run("rm -rf " + quote(m_path));
}

int run(const std::string &command, std::string *output)
{
    std::FILE *pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return -1;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, n);
    int status = ::pclose(pipe);
    if (output != nullptr)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string readLocal(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeLocal(const std::string &path, const std::string &data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

std::string quote(const std::string &s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

} // namespace vexo::test
