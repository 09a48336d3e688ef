#pragma once

#include <cstdint>
#include <ctime>

namespace vexo
{

// Dates and times as directory entries store them: the wall-clock time of
// whoever wrote the entry, with no time zone.
struct FatTime {
    uint16_t date = 0; // bits 15-9 year since 1980, 8-5 month, 4-0 day
    uint16_t time = 0; // bits 15-11 hours, 10-5 minutes, 4-0 seconds / 2

    // The entry's time counted as seconds since 1970-01-01 00:00 of the
    // same wall clock. Out-of-range fields are clamped, so any bytes give a
    // plausible value.
    int64_t toSeconds() const;
    // The given wall-clock seconds (local time taken as UTC) as an entry
    // time; clamped to 1980-2107, seconds rounded down to even.
    static FatTime fromSeconds(int64_t seconds);
    // The current local time.
    static FatTime now();
};

} // namespace vexo
