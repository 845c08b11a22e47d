#include "wfs/file/wfs_time.h"

#include "wfs/common/log.h"

#include <cstdio>
#include <ctime>

namespace {

// Days before the first of each month in a non-leap year.
const int kDaysBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};

bool is_leap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int year, int month)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return (month == 2 && is_leap(year)) ? 29 : kDays[month - 1];
}

// Last representable instant: 2063-12-31 23:59:59.
const int64_t kLastSecond = wfs_time_to_sec(wfs_time_pack(2063, 12, 31, 23, 59, 59));

}  // namespace

wfs_time wfs_time_pack(int year, int month, int day, int hour, int minute, int second)
{
    int y = year - 2000;
    if (y < 0)
        y = 0;
    if (y > 63)
        y = 63;
    return (static_cast<uint32_t>(y) << 26) | ((static_cast<uint32_t>(month) & 0x0Fu) << 22) |
           ((static_cast<uint32_t>(day) & 0x1Fu) << 17) | ((static_cast<uint32_t>(hour) & 0x1Fu) << 12) |
           ((static_cast<uint32_t>(minute) & 0x3Fu) << 6) | (static_cast<uint32_t>(second) & 0x3Fu);
}

void wfs_time_unpack(wfs_time t, wfs_time_fields *out)
{
    out->year = static_cast<int>(wfs_time_year(t));
    out->month = static_cast<int>(wfs_time_month(t));
    out->day = static_cast<int>(wfs_time_day(t));
    out->hour = static_cast<int>(wfs_time_hour(t));
    out->minute = static_cast<int>(wfs_time_minute(t));
    out->second = static_cast<int>(wfs_time_second(t));
}

int wfs_time_cmp(wfs_time a, wfs_time b)
{
    if (a == b)
        return 0;
    return a > b ? 1 : -1;
}

int64_t wfs_time_to_sec(wfs_time t)
{
    int year = static_cast<int>(t >> 26);  // years since 2000
    int month = static_cast<int>(wfs_time_month(t));
    int day = static_cast<int>(wfs_time_day(t));
    if (month == 0)
        month = 1;
    if (month > 12)
        month = 12;
    if (day == 0)
        day = 1;
    // Counting "day" rather than "day - 1" adds the leap day of 2000 itself;
    // year / 4 adds those of 2004, 2008, ... up to and including this year,
    // so January and February of a leap year take one back.
    int64_t days = kDaysBeforeMonth[month - 1] + 365LL * year + year / 4 + day;
    if (is_leap(year + 2000) && month <= 2)
        days -= 1;
    return ((days * 24 + wfs_time_hour(t)) * 60 + wfs_time_minute(t)) * 60 + wfs_time_second(t);
}

wfs_time wfs_sec_to_time(int64_t s)
{
    if (s < 0)
        s = 0;
    if (s > kLastSecond)
        s = kLastSecond;
    int64_t days = s / 86400;
    int64_t rest = s % 86400;
    int year = 2000;
    for (;;) {
        int len = is_leap(year) ? 366 : 365;
        if (days < len)
            break;
        days -= len;
        ++year;
    }
    int month = 1;
    while (days >= days_in_month(year, month)) {
        days -= days_in_month(year, month);
        ++month;
    }
    return wfs_time_pack(year, month, static_cast<int>(days) + 1, static_cast<int>(rest / 3600),
                         static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
}

int64_t wfs_time_diff(wfs_time a, wfs_time b) { return wfs_time_to_sec(a) - wfs_time_to_sec(b); }

wfs_time wfs_time_add(wfs_time t, int64_t s) { return wfs_sec_to_time(wfs_time_to_sec(t) + s); }

wfs_time wfs_time_now(void)
{
    time_t now = time(nullptr);
    struct tm lt;
    localtime_r(&now, &lt);
    return wfs_time_pack(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday, lt.tm_hour, lt.tm_min, lt.tm_sec);
}

char *wfs_time_format(wfs_time t, char *buf, size_t size)
{
    if (buf == nullptr || size == 0)
        return buf;
    std::snprintf(buf, size, "%04u-%02u-%02u %02u:%02u:%02u", wfs_time_year(t), wfs_time_month(t),
                  wfs_time_day(t), wfs_time_hour(t), wfs_time_minute(t), wfs_time_second(t));
    return buf;
}

void wfs_time_print(wfs_time t)
{
    wfs_trace("WFS: %04u-%02u-%02u %02u:%02u:%02u\n", wfs_time_year(t), wfs_time_month(t), wfs_time_day(t),
              wfs_time_hour(t), wfs_time_minute(t), wfs_time_second(t));
}
