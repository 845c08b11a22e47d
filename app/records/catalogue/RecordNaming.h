// How the catalogue names a recording: its sort key, the name shown in the
// tree, and the path through which it is played, exported and cut.
#pragma once

#include <cstdint>
#include <string>

#include "wfs/file/file_info.h"

// Sort key "%02d%02d%02d%04d%02d%02d%02d%02d%02d-%02d%02d%02d-%08x": disk,
// partition, 0-based channel, start date, start time, end time, and the
// first cluster, so that two recordings of one channel with the same start
// and end seconds both have a key of their own.
std::string MakeRecordKey(const file_info_v2 &fi);

// Display name "%02d.%02d.%02d-%02d.%02d.%02d[%s][@%x][%d].h264": start and
// end time of day, type letter (sixteen letters, "R" above 15), first
// cluster, stream type.
std::string MakeDisplayName(const file_info_v2 &fi);

// Path "/mnt/ide%c%d/%04d-%02d-%02d/%03d/%s" with the 0-based channel as the
// channel directory.
std::string MakeRecordPath(int disk, int part, int year, int month, int day, int channel,
                           const std::string &displayName);
std::string MakeRecordPath(const file_info_v2 &fi);

// Whether a listed recording belongs in the catalogue of (part, channel):
// it is on that partition and channel, ends after it starts, is a video
// recording (av 2 or 3), has stream type recordFormat and lasts at least 2 s.
bool KeepRecord(const file_info_v2 &fi, int part, int channel, int recordFormat);

// "YYYY-MM-DD HH:MM:SS" of a packed time.
std::string FormatWfsTime(uint32_t t);
