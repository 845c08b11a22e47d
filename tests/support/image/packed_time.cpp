#include "tests/support/image/packed_time.h"

namespace testimg {

namespace {

// Days from 2000-01-01 to the given civil date (Howard Hinnant's
// days-from-civil, shifted to a 2000 epoch). Deliberately a different method
// from the recorder's month table, so that the two cross-check each other.
int64_t days_from_civil(int64_t y, int m, int d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 730425;  // 730425 = days from 0000-03-01 to 2000-01-01
}

CivilTime civil_from_days(int64_t z) {
    z += 730425;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    CivilTime t;
    t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2));
    return t;
}

}  // namespace

uint32_t pack_time(const CivilTime &t) {
    return (static_cast<uint32_t>(t.year - 2000) & 0x3F) << 26 |
           (static_cast<uint32_t>(t.month) & 0xF) << 22 |
           (static_cast<uint32_t>(t.day) & 0x1F) << 17 |
           (static_cast<uint32_t>(t.hour) & 0x1F) << 12 |
           (static_cast<uint32_t>(t.minute) & 0x3F) << 6 |
           (static_cast<uint32_t>(t.second) & 0x3F);
}

uint32_t pack_time(int year, int month, int day, int hour, int minute, int second) {
    CivilTime t;
    t.year = year;
    t.month = month;
    t.day = day;
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    return pack_time(t);
}

CivilTime unpack_time(uint32_t p) {
    CivilTime t;
    t.year = 2000 + static_cast<int>(p >> 26);
    t.month = static_cast<int>((p >> 22) & 0xF);
    t.day = static_cast<int>((p >> 17) & 0x1F);
    t.hour = static_cast<int>((p >> 12) & 0x1F);
    t.minute = static_cast<int>((p >> 6) & 0x3F);
    t.second = static_cast<int>(p & 0x3F);
    return t;
}

int64_t packed_to_seconds(uint32_t packed) {
    const CivilTime t = unpack_time(packed);
    const int64_t days = days_from_civil(t.year, t.month, t.day);
    return ((days * 24 + t.hour) * 60 + t.minute) * 60 + t.second;
}

uint32_t seconds_to_packed(int64_t s) {
    if (s < 0) s = 0;
    CivilTime t = civil_from_days(s / 86400);
    const int64_t rest = s % 86400;
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.second = static_cast<int>(rest % 60);
    return pack_time(t);
}

uint32_t packed_add(uint32_t packed, int64_t seconds) {
    return seconds_to_packed(packed_to_seconds(packed) + seconds);
}

}  // namespace testimg
