#include "FatTime.h"

#include <algorithm>

namespace vexo
{

namespace
{

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's
// days_from_civil).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int64_t &y, unsigned &m, unsigned &d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

} // namespace

int64_t FatTime::toSeconds() const
{
    int64_t year = 1980 + (date >> 9);
    unsigned month = std::clamp<unsigned>((date >> 5) & 0x0F, 1, 12);
    unsigned day = std::max<unsigned>(date & 0x1F, 1);
    int64_t hours = std::min<int64_t>(time >> 11, 23);
    int64_t minutes = std::min<int64_t>((time >> 5) & 0x3F, 59);
    int64_t seconds = std::min<int64_t>((time & 0x1F) * 2, 58);
    // A day past the month's end (say 31 February) rolls into the next
    // month, as the day count simply runs on.
    return (daysFromCivil(year, month, 1) + day - 1) * 86400 + hours * 3600 + minutes * 60 + seconds;
}

FatTime FatTime::fromSeconds(int64_t seconds)
{
    const int64_t lowest = daysFromCivil(1980, 1, 1) * 86400;
    const int64_t highest = (daysFromCivil(2108, 1, 1)) * 86400 - 2;
    seconds = std::clamp(seconds, lowest, highest);
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    int64_t y = 0;
    unsigned m = 0, d = 0;
    civilFromDays(days, y, m, d);
    FatTime t;
    t.date = static_cast<uint16_t>(((y - 1980) << 9) | (m << 5) | d);
    t.time = static_cast<uint16_t>(((rest / 3600) << 11) | (((rest / 60) % 60) << 5) | ((rest % 60) / 2));
    return t;
}

FatTime FatTime::now()
{
    std::time_t t = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr)
        return fromSeconds(t);
    int64_t wall = (daysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                                  static_cast<unsigned>(local.tm_mday))) *
                       86400 +
                   local.tm_hour * 3600 + local.tm_min * 60 + std::min(local.tm_sec, 59);
    return fromSeconds(wall);
}

} // namespace vexo
