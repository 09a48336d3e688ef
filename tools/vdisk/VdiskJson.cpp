// vdisk IMAGE ls --json
#include "JsonListing.h"
#include "VdiskTool.h"
#include "VexoVDisk.h"

#include <cstring>
#include <ctime>

namespace vexo
{

namespace
{

// The image keeps the wall-clock time of whoever wrote the entry, with no
// zone: taken as this computer's local time (TZ), as the simulator on it
// and this tool both write local time.
int64_t wallToUtc(int64_t wall)
{
    const auto t = static_cast<std::time_t>(wall);
    std::tm tm{};
    gmtime_r(&t, &tm);
    tm.tm_isdst = -1;
    const std::time_t utc = std::mktime(&tm);
    return utc == static_cast<std::time_t>(-1) ? wall : utc;
}

} // namespace

int VdiskTool::listJson()
{
    if (!mount(false))
        return Failed;
    cli::JsonListing listing;
    VDiskFindRecord record;
    int search = OpenFindFile("/");
    for (int r = FindFirst(&record, search); r != -1; r = FindNext(&record, search))
        listing.add(std::string_view(record.name, strnlen(record.name, sizeof record.name)),
                    static_cast<uint64_t>(record.size), wallToUtc(record.time));
    const std::string &text = listing.finish();
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? Ok : Failed;
}

} // namespace vexo
