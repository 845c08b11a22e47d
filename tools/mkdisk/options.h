// Command line of orvelle-mkdisk.
#pragma once

#include <cstdint>
#include <string>

namespace mkdisk {

struct Options {
    std::string out;             // image file to write
    uint64_t size_mib = 2048;    // whole image, MBR included
    int partitions = 1;          // recording partitions
    uint32_t sec_per_clus = 4096;
    int channels = 4;
    int days = 2;
    int per_day = 6;             // recordings per channel and day
    int seconds = 12;            // typical recording length
    int year = 2024, month = 5, day = 1;
    uint32_t seed = 1;
    int width = 352, height = 288, fps = 10;
    int bitrate_kbps = 0;        // average video bit rate; 0 = constant quality, at most 256 kbit/s
    std::string codec = "h264";  // "h264" or "h265"
    bool grain = false;          // camera-like noise in every picture
    uint32_t pack_seconds = 3600;  // the writer's file-splitting interval
    bool long_recordings = false;  // one recording per channel and day outlasts the pack interval
    bool wrap = false;           // record until the ring has wrapped
    bool collision = false;      // the clock goes back an hour once
    bool unclosed = false;       // the last recording is left open (a pulled disk)
    bool dhii = false;           // the first recording carries a "DHII" stream header
    bool pictures = false;       // a picture partition with a still per recording
    bool deleted = false;        // one recording is deleted afterwards
    bool overrun = false;        // the ring ends behind the recordings and the recorder goes on over them
    bool audio = true;
    bool verbose = false;
};

// Parses argv. False with *err set on a usage error; *help for --help.
bool parse_options(int argc, char **argv, Options *o, bool *help, std::string *err);
const char *usage_text();

}  // namespace mkdisk
