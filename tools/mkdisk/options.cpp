#include "options.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace mkdisk {

namespace {

bool number(const char *s, long long lo, long long hi, long long *out)
{
    if (!s || !*s)
        return false;
    char *end = nullptr;
    long long v = std::strtoll(s, &end, 10);
    if (*end != '\0' || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

// "4096", "4096M", "4G" -> MiB.
bool size_mib(const char *s, uint64_t *out)
{
    std::string t = s ? s : "";
    uint64_t mul = 1;
    if (!t.empty() && (t.back() == 'G' || t.back() == 'g')) {
        mul = 1024;
        t.pop_back();
    } else if (!t.empty() && (t.back() == 'M' || t.back() == 'm')) {
        t.pop_back();
    }
    long long v = 0;
    if (!number(t.c_str(), 1, 1LL << 24, &v))
        return false;
    *out = uint64_t(v) * mul;
    return true;
}

}  // namespace

const char *usage_text()
{
    return "Usage: orvelle-mkdisk OUT.img [OPTION]...\n"
           "Makes a recorder disk image (MBR + WFS volume) and records into it as a recorder would.\n"
           "\n"
           "Options:\n"
           "  --demo               the demo disk: 4 channels, 2 days, 12 recordings per channel,\n"
           "                       one deleted, the oldest overrun (--sec-per-clus 128 --deleted --overrun)\n"
           "  --size N[M|G]        image size (default 2048M)\n"
           "  --partitions N       recording partitions, 1-4 (default 1)\n"
           "  --sec-per-clus N     sectors per cluster, a power of two up to 32768 (default 4096)\n"
           "  --channels N         channels recording at once, 1-16 (default 4)\n"
           "  --days N             days of recordings (default 2)\n"
           "  --per-day N          recordings per channel and day (default 6)\n"
           "  --seconds N          typical recording length in seconds (default 12)\n"
           "  --start YYYY-MM-DD   first day (default 2024-05-01)\n"
           "  --seed N             the same seed makes the same image (default 1)\n"
           "  --size-video WxH     picture size, up to 3840x2160 (default 352x288)\n"
           "  --fps N              frames per second (default 10)\n"
           "  --codec h264|h265    video codec (default h264)\n"
           "  --bitrate KBPS       average video bit rate, 16-20000 (default: constant quality,\n"
           "                       at most 256 kbit/s)\n"
           "  --grain              camera-like noise, so that the encoder really spends its bits\n"
           "  --pack SECONDS       file-splitting interval, at least 60 (default 3600)\n"
           "  --long               one recording per channel and day outlasts the pack interval\n"
           "  --wrap               record until the ring has wrapped\n"
           "  --collision          the recorder's clock goes back an hour once\n"
           "  --unclosed           leave the last recording open, as a pulled disk leaves it\n"
           "  --dhii               the first recording starts with a \"DHII\" stream header\n"
           "  --pictures           add a picture partition with a still of every recording\n"
           "  --deleted            delete one recording afterwards\n"
           "  --overrun            end the ring behind the recordings and go on recording over the\n"
           "                       oldest until a long one has lost its first clusters\n"
           "  --no-audio           no sound frames\n"
           "  --verbose            library messages on standard error\n"
           "  -h, --help           show this help and exit\n"
           "  --version            show the version and exit\n";
}

bool parse_options(int argc, char **argv, Options *o, bool *help, std::string *err)
{
    *help = false;
    auto need = [&](int &i) -> const char * {
        if (i + 1 >= argc) {
            *err = std::string(argv[i]) + " needs a value";
            return nullptr;
        }
        return argv[++i];
    };
    long long v = 0;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        const char *val = nullptr;
        if (a == "--help" || a == "-h") {
            *help = true;
            return true;
        } else if (a == "--demo") {
            o->channels = 4;
            o->days = 2;
            o->per_day = 6;
            o->seconds = 12;
            o->pack_seconds = 60;
            o->long_recordings = true;
            o->size_mib = 2048;
            // Clusters small enough that a recording spans several, so that
            // what the overrun leaves of one shows among the recovered.
            o->sec_per_clus = 128;
            o->deleted = true;
            o->overrun = true;
        } else if (a == "--size") {
            if (!(val = need(i)) || !size_mib(val, &o->size_mib))
                return *err = err->empty() ? "bad --size" : *err, false;
        } else if (a == "--partitions") {
            if (!(val = need(i)) || !number(val, 1, 4, &v))
                return *err = "bad --partitions (1-4)", false;
            o->partitions = int(v);
        } else if (a == "--sec-per-clus") {
            if (!(val = need(i)) || !number(val, 1, 32768, &v) || (v & (v - 1)) != 0)
                return *err = "bad --sec-per-clus (a power of two up to 32768)", false;
            o->sec_per_clus = uint32_t(v);
        } else if (a == "--channels") {
            if (!(val = need(i)) || !number(val, 1, 16, &v))
                return *err = "bad --channels (1-16)", false;
            o->channels = int(v);
        } else if (a == "--days") {
            if (!(val = need(i)) || !number(val, 1, 366, &v))
                return *err = "bad --days", false;
            o->days = int(v);
        } else if (a == "--per-day") {
            if (!(val = need(i)) || !number(val, 1, 200, &v))
                return *err = "bad --per-day", false;
            o->per_day = int(v);
        } else if (a == "--seconds") {
            if (!(val = need(i)) || !number(val, 3, 36000, &v))
                return *err = "bad --seconds (3-36000)", false;
            o->seconds = int(v);
        } else if (a == "--start") {
            if (!(val = need(i)) || std::sscanf(val, "%d-%d-%d", &o->year, &o->month, &o->day) != 3 ||
                o->year < 2000 || o->year > 2060 || o->month < 1 || o->month > 12 || o->day < 1 || o->day > 28)
                return *err = "bad --start (YYYY-MM-DD, 2000-2060, day 1-28)", false;
        } else if (a == "--seed") {
            if (!(val = need(i)) || !number(val, 0, UINT32_MAX, &v))
                return *err = "bad --seed", false;
            o->seed = uint32_t(v);
        } else if (a == "--size-video") {
            if (!(val = need(i)) || std::sscanf(val, "%dx%d", &o->width, &o->height) != 2 || o->width < 64 ||
                o->height < 64 || o->width > 3840 || o->height > 2160 || o->width % 2 || o->height % 2)
                return *err = "bad --size-video (WxH, even, 64x64 to 3840x2160)", false;
        } else if (a == "--fps") {
            if (!(val = need(i)) || !number(val, 1, 60, &v))
                return *err = "bad --fps (1-60)", false;
            o->fps = int(v);
        } else if (a == "--codec") {
            if (!(val = need(i)) || (std::strcmp(val, "h264") != 0 && std::strcmp(val, "h265") != 0))
                return *err = "bad --codec (h264 or h265)", false;
            o->codec = val;
        } else if (a == "--bitrate") {
            if (!(val = need(i)) || !number(val, 16, 20000, &v))
                return *err = "bad --bitrate (16-20000 kbit/s)", false;
            o->bitrate_kbps = int(v);
        } else if (a == "--grain") {
            o->grain = true;
        } else if (a == "--pack") {
            if (!(val = need(i)) || !number(val, 60, 86400, &v))
                return *err = "bad --pack (60-86400)", false;
            o->pack_seconds = uint32_t(v);
        } else if (a == "--long") {
            o->long_recordings = true;
        } else if (a == "--wrap") {
            o->wrap = true;
        } else if (a == "--collision") {
            o->collision = true;
        } else if (a == "--unclosed") {
            o->unclosed = true;
        } else if (a == "--dhii") {
            o->dhii = true;
        } else if (a == "--pictures") {
            o->pictures = true;
        } else if (a == "--deleted") {
            o->deleted = true;
        } else if (a == "--overrun") {
            o->overrun = true;
        } else if (a == "--no-audio") {
            o->audio = false;
        } else if (a == "--verbose") {
            o->verbose = true;
        } else if (!a.empty() && a[0] == '-') {
            *err = "unknown option " + a;
            return false;
        } else if (o->out.empty()) {
            o->out = a;
        } else {
            *err = "more than one output file";
            return false;
        }
    }
    if (o->out.empty()) {
        *err = "no output file";
        return false;
    }
    return true;
}

}  // namespace mkdisk
