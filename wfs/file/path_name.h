// Recording path names and type letters.
//
// A recording on a recorder disk is named
//   /mnt/ide<d><p>/<YYYY>-<MM>-<DD>/<CCC>/<hh.mm.ss>-<hh.mm.ss>[<L>][@<clus>][<n>].<ext>
// with <d> the disk letter ('a' + disk number), <p> the partition, the start
// date, the channel directory (channel + 1 as the library writes it, the
// 0-based channel as the record catalogue writes it), start and end time of
// day, the type letter, the first cluster in lower-case hexadecimal, a small
// number (a tie-break hint for the time search) and "h264" or "jpg".
// "/mnt/ide<d><p>/WorkDirectory" names the partition's work directory.
//
// The parser is bounded: it never writes past anything, rejects numbers that
// do not fit, letters where digits belong, and names that are too long.
#pragma once

#include <cstdint>
#include <string>

// Longest path the name layer accepts.
enum { WFS_MAX_PATH = 1024 };

// Every path of a recorder disk begins with WFS_PATH_PREFIX ("/mnt/ide", the
// disk letter follows). A local copy keeps the part after WFS_PATH_ROOT
// ("/mnt/") below its folder. Other paths under /mnt are ordinary mounted
// file systems.
#define WFS_PATH_ROOT "/mnt/"
#define WFS_PATH_IDE "ide"
#define WFS_PATH_PREFIX WFS_PATH_ROOT WFS_PATH_IDE
// The name of a partition's work directory.
#define WFS_WORK_DIR_NAME "WorkDirectory"

// True when the path begins with WFS_PATH_PREFIX.
bool wfs_is_recorder_path(const char *path);

// Letter of a recording type code as the record catalogue writes it: sixteen
// letters "RAMCHISFNKGUPTBV" for codes 0..15, "R" for anything above.
const char *wfs_type_letter(unsigned code);
// Letter as the library's handle-based name builder writes it: codes 0..10,
// "R" for anything above.
const char *wfs_lib_type_letter(unsigned code);
// Letter as find-next writes it: "A", "M", "C", "H" for codes 1..4, else "R".
const char *wfs_find_type_letter(unsigned code);
// Type code of a letter text read from a name: "A" 1, "M" 2, "C" 3, "H" 4,
// anything else 0.
unsigned wfs_type_code_from_letter(const std::string &letter);

// What a path names.
enum wfs_path_kind_t {
    WFS_PATH_OTHER = 0,    // neither: the name layer refuses it
    WFS_PATH_RECORD = 1,   // ends in ".h264" or ".jpg"
    WFS_PATH_WORKDIR = 2,  // contains "WorkDirectory"
};
wfs_path_kind_t wfs_path_kind(const char *path);

// The components of a recording name.
struct wfs_record_name {
    int disk;              // disk letter - 'a'
    int part;              // partition
    int year, month, day;  // start date
    int channel;           // channel directory - 1 (-1 for directory 000)
    int start_h, start_m, start_s;
    int end_h, end_m, end_s;
    std::string letter;    // text of the type group ("" when absent)
    unsigned alarm;        // wfs_type_code_from_letter(letter)
    uint32_t first_cluster;  // 0 when the name carries none
    int hint;              // the "[n]" number; 0 when absent
    bool video;            // extension "h264" (else "jpg")
};

// Parses a recording path. Returns 0, or -1 when the path is not a well-formed
// recording name (the output is then unspecified).
int wfs_parse_record_name(const char *path, wfs_record_name *out);

// Reads the "/ide<d><p>" component of a path. Returns 0 or -1.
int wfs_parse_ide_component(const char *path, int *disk, int *part);

// Parses the directory components of a find-first pattern
// "/mnt/ide<d><p>/<YYYY>-<MM>-<DD>/<CCC>/<pattern>" (the pattern is ignored).
// channel is the directory number - 1. Returns 0 or -1.
int wfs_parse_find_dir(const char *path, int *disk, int *part, int *channel,
                       int *year, int *month, int *day);

// File name "%02d.%02d.%02d-%02d.%02d.%02d[%s][@%x][%d].%s".
std::string wfs_build_file_name(int start_h, int start_m, int start_s, int end_h, int end_m,
                                int end_s, const char *letter, uint32_t first_cluster,
                                int number, const char *ext);

// Full path "/mnt/ide%c%d/%04d-%02d-%02d/%03d/%s"; channel_dir is written as
// given (the caller decides between channel + 1 and the 0-based channel).
std::string wfs_build_record_path(int disk, int part, int year, int month, int day,
                                  int channel_dir, const std::string &file_name);

// "ide%c%d": the component that names a partition ("idea0").
std::string wfs_build_ide_component(int disk, int part);
// "/mnt/ide%c%d/WorkDirectory": the partition's work directory.
std::string wfs_build_work_dir_path(int disk, int part);
