#include "media/common/PackedTime.h"

#include <ctime>

namespace media {

LocalTime unpack_time(uint32_t t)
{
    LocalTime lt;
    if (t == 0)
        return lt;
    lt.year = int(t >> 26) + 2000;
    lt.month = int((t >> 22) & 0xF);
    lt.day = int((t >> 17) & 0x1F);
    lt.hour = int((t >> 12) & 0x1F);
    lt.minute = int((t >> 6) & 0x3F);
    lt.second = int(t & 0x3F);
    return lt;
}

uint32_t pack_time(const LocalTime &t)
{
    if (t.year < 2000 || t.year > 2063)
        return 0;
    return (uint32_t(t.year - 2000) << 26) | (uint32_t(t.month & 0xF) << 22) | (uint32_t(t.day & 0x1F) << 17) |
           (uint32_t(t.hour & 0x1F) << 12) | (uint32_t(t.minute & 0x3F) << 6) | uint32_t(t.second & 0x3F);
}

int64_t packed_to_epoch(uint32_t packed)
{
    if (packed == 0)
        return 0;
    LocalTime lt = unpack_time(packed);
    std::tm tm{};
    tm.tm_year = lt.year - 1900;
    tm.tm_mon = (lt.month < 1 ? 1 : lt.month > 12 ? 12 : lt.month) - 1;
    tm.tm_mday = lt.day < 1 ? 1 : lt.day;
    tm.tm_hour = lt.hour;
    tm.tm_min = lt.minute;
    tm.tm_sec = lt.second;
    tm.tm_isdst = -1;
    time_t v = std::mktime(&tm);
    return v == time_t(-1) ? 0 : int64_t(v);
}

}  // namespace media

namespace media {

uint32_t epoch_to_packed(int64_t t)
{
    time_t v = time_t(t);
    std::tm tm{};
    if (!localtime_r(&v, &tm))
        return 0;
    LocalTime lt;
    lt.year = tm.tm_year + 1900;
    lt.month = tm.tm_mon + 1;
    lt.day = tm.tm_mday;
    lt.hour = tm.tm_hour;
    lt.minute = tm.tm_min;
    lt.second = tm.tm_sec;
    return pack_time(lt);
}

}  // namespace media
