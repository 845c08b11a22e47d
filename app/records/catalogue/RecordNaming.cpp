#include "app/records/catalogue/RecordNaming.h"

#include <cstdio>

#include "wfs/file/path_name.h"
#include "wfs/file/wfs_time.h"

std::string MakeRecordKey(const file_info_v2 &fi)
{
    char key[64];
    const wfs_time s = fi.start_time, e = fi.end_time;
    std::snprintf(key, sizeof key, "%02d%02d%02d%04u%02u%02u%02u%02u%02u-%02u%02u%02u-%08x", fi.disk,
                  fi.part, fi.channel, wfs_time_year(s), wfs_time_month(s), wfs_time_day(s),
                  wfs_time_hour(s), wfs_time_minute(s), wfs_time_second(s), wfs_time_hour(e),
                  wfs_time_minute(e), wfs_time_second(e), fi.first_cluster_no);
    return key;
}

std::string MakeDisplayName(const file_info_v2 &fi)
{
    const wfs_time s = fi.start_time, e = fi.end_time;
    return wfs_build_file_name(wfs_time_hour(s), wfs_time_minute(s), wfs_time_second(s),
                               wfs_time_hour(e), wfs_time_minute(e), wfs_time_second(e),
                               wfs_type_letter(fi.alarm), fi.first_cluster_no,
                               static_cast<int>(file_info_v2_stream_type(&fi)), "h264");
}

std::string MakeRecordPath(int disk, int part, int year, int month, int day, int channel,
                           const std::string &displayName)
{
    return wfs_build_record_path(disk, part, year, month, day, channel, displayName);
}

std::string MakeRecordPath(const file_info_v2 &fi)
{
    const wfs_time s = fi.start_time;
    return MakeRecordPath(fi.disk, fi.part, static_cast<int>(wfs_time_year(s)),
                          static_cast<int>(wfs_time_month(s)), static_cast<int>(wfs_time_day(s)),
                          fi.channel, MakeDisplayName(fi));
}

bool KeepRecord(const file_info_v2 &fi, int part, int channel, int recordFormat)
{
    return fi.part == part && fi.end_time > fi.start_time && (fi.av == 2 || fi.av == 3) &&
           fi.channel == channel && static_cast<int>(file_info_v2_stream_type(&fi)) == recordFormat &&
           wfs_time_diff(fi.end_time, fi.start_time) >= 2;
}

std::string FormatWfsTime(uint32_t t)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", wfs_time_year(t), wfs_time_month(t),
                  wfs_time_day(t), wfs_time_hour(t), wfs_time_minute(t), wfs_time_second(t));
    return buf;
}
