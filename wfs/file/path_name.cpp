// Recording path names: type letters, the bounded parser and the builders.
#include "wfs/file/path_name.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

static const char *const k_letters[16] = {"R", "A", "M", "C", "H", "I", "S", "F",
                                          "N", "K", "G", "U", "P", "T", "B", "V"};

const char *wfs_type_letter(unsigned code) { return code < 16 ? k_letters[code] : "R"; }

const char *wfs_lib_type_letter(unsigned code) { return code <= 10 ? k_letters[code] : "R"; }

const char *wfs_find_type_letter(unsigned code)
{
    return (code >= 1 && code <= 4) ? k_letters[code] : "R";
}

unsigned wfs_type_code_from_letter(const std::string &letter)
{
    if (letter == "A")
        return 1;
    if (letter == "M")
        return 2;
    if (letter == "C")
        return 3;
    if (letter == "H")
        return 4;
    return 0;
}

bool wfs_is_recorder_path(const char *path)
{
    return path && std::strncmp(path, WFS_PATH_PREFIX, sizeof WFS_PATH_PREFIX - 1) == 0;
}

static bool ends_with(const char *s, size_t len, const char *tail)
{
    size_t n = std::strlen(tail);
    return len >= n && std::memcmp(s + len - n, tail, n) == 0;
}

wfs_path_kind_t wfs_path_kind(const char *path)
{
    if (!path)
        return WFS_PATH_OTHER;
    size_t len = strnlen(path, WFS_MAX_PATH + 1);
    if (len > WFS_MAX_PATH)
        return WFS_PATH_OTHER;
    if (ends_with(path, len, ".h264") || ends_with(path, len, ".jpg"))
        return WFS_PATH_RECORD;
    if (std::strstr(path, WFS_WORK_DIR_NAME))
        return WFS_PATH_WORKDIR;
    return WFS_PATH_OTHER;
}

namespace {

// A cursor over one component [p, end).
struct Scan {
    const char *p;
    const char *end;

    bool done() const { return p == end; }
    bool lit(char c)
    {
        if (p < end && *p == c) {
            ++p;
            return true;
        }
        return false;
    }
    bool peek(char c) const { return p < end && *p == c; }
    // Reads min_digits..max_digits decimal digits.
    bool num(int *out, int min_digits, int max_digits)
    {
        int n = 0;
        long v = 0;
        while (p < end && *p >= '0' && *p <= '9' && n < max_digits) {
            v = v * 10 + (*p - '0');
            ++p;
            ++n;
        }
        if (n < min_digits || (p < end && *p >= '0' && *p <= '9'))
            return false;
        *out = static_cast<int>(v);
        return true;
    }
    // Reads 1..8 hexadecimal digits.
    bool hex(uint32_t *out)
    {
        int n = 0;
        uint32_t v = 0;
        while (p < end && n < 9) {
            char c = *p;
            unsigned d;
            if (c >= '0' && c <= '9')
                d = c - '0';
            else if (c >= 'a' && c <= 'f')
                d = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                d = c - 'A' + 10;
            else
                break;
            v = (v << 4) | d;
            ++p;
            ++n;
        }
        if (n < 1 || n > 8)
            return false;
        *out = v;
        return true;
    }
};

// Splits off the last n components of a path: comp[i] = [begin, end) of the
// i-th component counted from the start of those n. Each component must be
// preceded by a '/'.
bool last_components(const char *path, size_t len, int n, const char **begin, const char **end)
{
    const char *stop = path + len;
    for (int i = n - 1; i >= 0; --i) {
        const char *q = stop;
        while (q > path && q[-1] != '/')
            --q;
        if (q == path)
            return false;  // no '/' before this component
        begin[i] = q;
        end[i] = stop;
        stop = q - 1;
    }
    return true;
}

bool parse_ide(const char *b, const char *e, int *disk, int *part)
{
    Scan s{b, e};
    for (const char *k = WFS_PATH_IDE; *k; ++k)
        if (!s.lit(*k))
            return false;
    if (s.done() || *s.p < 'a' || *s.p > 'z')
        return false;
    *disk = *s.p - 'a';
    ++s.p;
    return s.num(part, 1, 2) && s.done();
}

bool parse_date(const char *b, const char *e, int *y, int *m, int *d)
{
    Scan s{b, e};
    if (!(s.num(y, 4, 4) && s.lit('-') && s.num(m, 1, 2) && s.lit('-') && s.num(d, 1, 2) &&
          s.done()))
        return false;
    return *y >= 2000 && *y <= 2063 && *m >= 1 && *m <= 12 && *d >= 1 && *d <= 31;
}

bool parse_channel(const char *b, const char *e, int *channel)
{
    Scan s{b, e};
    int dir = 0;
    if (!(s.num(&dir, 1, 3) && s.done()) || dir > 64)
        return false;
    *channel = dir - 1;
    return true;
}

bool valid_tod(int h, int m, int s) { return h <= 23 && m <= 59 && s <= 59; }

bool parse_file_name(const char *b, const char *e, wfs_record_name *out)
{
    Scan s{b, e};
    if (!(s.num(&out->start_h, 1, 2) && s.lit('.') && s.num(&out->start_m, 1, 2) && s.lit('.') &&
          s.num(&out->start_s, 1, 2) && s.lit('-') && s.num(&out->end_h, 1, 2) && s.lit('.') &&
          s.num(&out->end_m, 1, 2) && s.lit('.') && s.num(&out->end_s, 1, 2)))
        return false;
    if (!valid_tod(out->start_h, out->start_m, out->start_s) ||
        !valid_tod(out->end_h, out->end_m, out->end_s))
        return false;
    out->letter.clear();
    out->first_cluster = 0;
    out->hint = 0;
    // "[L]": the type letter group (a short text without brackets).
    if (s.peek('[') && !(s.p + 1 < s.end && s.p[1] == '@')) {
        ++s.p;
        const char *lb = s.p;
        while (s.p < s.end && *s.p != ']' && *s.p != '[' && *s.p != '.')
            ++s.p;
        const char *le = s.p;
        if (le - lb > 8 || !s.lit(']'))
            return false;
        out->letter.assign(lb, le);
    }
    // "[@hex]": the first cluster.
    if (s.peek('[') && s.p + 1 < s.end && s.p[1] == '@') {
        s.p += 2;
        if (!(s.hex(&out->first_cluster) && s.lit(']')))
            return false;
    }
    // "[n]": the tie-break number.
    if (s.lit('[')) {
        bool neg = s.lit('-');
        int v = 0;
        if (!(s.num(&v, 1, 9) && s.lit(']')))
            return false;
        out->hint = neg ? -v : v;
    }
    if (!s.lit('.'))
        return false;
    size_t ext_len = static_cast<size_t>(s.end - s.p);
    if (ext_len == 4 && std::memcmp(s.p, "h264", 4) == 0)
        out->video = true;
    else if (ext_len == 3 && std::memcmp(s.p, "jpg", 3) == 0)
        out->video = false;
    else
        return false;
    out->alarm = wfs_type_code_from_letter(out->letter);
    return true;
}

}  // namespace

int wfs_parse_record_name(const char *path, wfs_record_name *out)
{
    if (!path || !out)
        return -1;
    size_t len = strnlen(path, WFS_MAX_PATH + 1);
    if (len > WFS_MAX_PATH)
        return -1;
    const char *b[4], *e[4];
    if (!last_components(path, len, 4, b, e))
        return -1;
    if (!parse_ide(b[0], e[0], &out->disk, &out->part))
        return -1;
    if (!parse_date(b[1], e[1], &out->year, &out->month, &out->day))
        return -1;
    if (!parse_channel(b[2], e[2], &out->channel))
        return -1;
    if (!parse_file_name(b[3], e[3], out))
        return -1;
    return 0;
}

int wfs_parse_ide_component(const char *path, int *disk, int *part)
{
    if (!path)
        return -1;
    size_t len = strnlen(path, WFS_MAX_PATH + 1);
    if (len > WFS_MAX_PATH)
        return -1;
    // The first component that starts with "ide" and reads as "ide<letter><digits>".
    const char *p = path;
    const char *stop = path + len;
    while (p < stop) {
        const char *slash = static_cast<const char *>(std::memchr(p, '/', stop - p));
        if (!slash)
            break;
        const char *b = slash + 1;
        const char *e = static_cast<const char *>(std::memchr(b, '/', stop - b));
        if (!e)
            e = stop;
        const ptrdiff_t n = sizeof WFS_PATH_IDE - 1;
        if (e - b >= n && std::memcmp(b, WFS_PATH_IDE, n) == 0)
            return parse_ide(b, e, disk, part) ? 0 : -1;
        p = e;
    }
    return -1;
}

int wfs_parse_find_dir(const char *path, int *disk, int *part, int *channel, int *year,
                       int *month, int *day)
{
    if (!path)
        return -1;
    size_t len = strnlen(path, WFS_MAX_PATH + 1);
    if (len > WFS_MAX_PATH)
        return -1;
    const char *b[4], *e[4];
    if (!last_components(path, len, 4, b, e))
        return -1;
    if (!parse_ide(b[0], e[0], disk, part) || !parse_date(b[1], e[1], year, month, day) ||
        !parse_channel(b[2], e[2], channel))
        return -1;
    return 0;
}

std::string wfs_build_file_name(int start_h, int start_m, int start_s, int end_h, int end_m,
                                int end_s, const char *letter, uint32_t first_cluster,
                                int number, const char *ext)
{
    char head[64];
    std::snprintf(head, sizeof head, "%02d.%02d.%02d-%02d.%02d.%02d[", start_h, start_m, start_s,
                  end_h, end_m, end_s);
    char tail[48];
    std::snprintf(tail, sizeof tail, "][@%x][%d].", first_cluster, number);
    return std::string(head) + letter + tail + ext;
}

std::string wfs_build_record_path(int disk, int part, int year, int month, int day,
                                  int channel_dir, const std::string &file_name)
{
    char dir[64];
    std::snprintf(dir, sizeof dir, "/%04d-%02d-%02d/%03d/", year, month, day, channel_dir);
    return WFS_PATH_ROOT + wfs_build_ide_component(disk, part) + dir + file_name;
}

std::string wfs_build_ide_component(int disk, int part)
{
    char ide[32];
    std::snprintf(ide, sizeof ide, "%s%c%d", WFS_PATH_IDE, 'a' + disk, part);
    return ide;
}

std::string wfs_build_work_dir_path(int disk, int part)
{
    return WFS_PATH_ROOT + wfs_build_ide_component(disk, part) + "/" WFS_WORK_DIR_NAME;
}
