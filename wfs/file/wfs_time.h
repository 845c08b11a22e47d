// Packed recorder time stamps.
//
// Every time in WFS is one unsigned 32-bit word in the recorder's local time:
//   bits 31-26 year - 2000 (0..63)   bits 25-22 month (1..12)
//   bits 21-17 day (1..31)           bits 16-12 hour (0..23)
//   bits 11-6  minute (0..59)        bits 5-0   second (0..59)
// The fields run from year down to second, so two packed times compare
// correctly as unsigned integers. 0 means "no time".
#pragma once

#include <cstddef>
#include <cstdint>

typedef uint32_t wfs_time;

// The fields of a packed time, year as the full year (2000..2063).
struct wfs_time_fields {
    int year;
    int month;
    int day;
    int hour;
    int minute;
    int second;
};

// Field extraction without any validation.
inline unsigned wfs_time_year(wfs_time t) { return (t >> 26) + 2000u; }
inline unsigned wfs_time_month(wfs_time t) { return (t >> 22) & 0x0Fu; }
inline unsigned wfs_time_day(wfs_time t) { return (t >> 17) & 0x1Fu; }
inline unsigned wfs_time_hour(wfs_time t) { return (t >> 12) & 0x1Fu; }
inline unsigned wfs_time_minute(wfs_time t) { return (t >> 6) & 0x3Fu; }
inline unsigned wfs_time_second(wfs_time t) { return t & 0x3Fu; }

// Packs the fields; each is masked to its bit width (a year outside
// 2000..2063 is clamped into it).
wfs_time wfs_time_pack(int year, int month, int day, int hour, int minute, int second);
void wfs_time_unpack(wfs_time t, wfs_time_fields *out);

// 0 when equal, 1 when a > b, -1 otherwise (unsigned comparison).
int wfs_time_cmp(wfs_time a, wfs_time b);

// Seconds since 2000-01-01 00:00:00. Month 0 counts as 1, a month above 12
// as 12 and day 0 as 1.
int64_t wfs_time_to_sec(wfs_time t);

// The inverse of wfs_time_to_sec. Seconds before 2000-01-01 give that
// instant; seconds past 2063-12-31 23:59:59 give that instant.
wfs_time wfs_sec_to_time(int64_t s);

// wfs_time_to_sec(a) - wfs_time_to_sec(b).
int64_t wfs_time_diff(wfs_time a, wfs_time b);

// t moved by s seconds (s may be negative).
wfs_time wfs_time_add(wfs_time t, int64_t s);

// The computer's local time, packed.
wfs_time wfs_time_now(void);

// "YYYY-MM-DD HH:MM:SS" into buf (at least 20 bytes); returns buf.
char *wfs_time_format(wfs_time t, char *buf, size_t size);

// Traces the time as "WFS: YYYY-MM-DD HH:MM:SS".
void wfs_time_print(wfs_time t);
