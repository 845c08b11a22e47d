// Split raw images: one disk cut into equal files "NAME.000"/"NAME.001",
// "NAME.002" ... (as `split -d` or an imaging tool leaves them), the last one
// shorter. Every segment but the last covers exactly the first segment's
// size, so a segment that is shorter than that (cut short while copied)
// leaves a hole whose sectors fail to read; the data of later segments never
// moves to another offset.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "wfs/common/log.h"
#include "wfs/device/image_source.h"
#include "wfs/device/source_info.h"

namespace {

// Segments whose descriptors stay open at once; a disk imaged into 650 MB
// pieces has thousands of them.
constexpr size_t k_open_limit = 16;

struct SegmentName {
    std::string dir;     // folder, "" for the current one
    std::string stem;    // file name before the final '.'
    size_t width = 0;    // digits of the number
    unsigned long number = 0;
};

bool parse_segment_name(const std::string &path, SegmentName *out)
{
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot + 1 >= path.size())
        return false;
    const std::string digits = path.substr(dot + 1);
    // Three digits or more: "x.01" is more likely anything else. Nine at most
    // keeps the number in range.
    if (digits.size() < 3 || digits.size() > 9)
        return false;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
    }
    const size_t name_start = slash == std::string::npos ? 0 : slash + 1;
    if (dot == name_start)
        return false;  // ".001" alone has no stem
    out->dir = path.substr(0, name_start);
    out->stem = path.substr(name_start, dot - name_start);
    out->width = digits.size();
    out->number = std::strtoul(digits.c_str(), nullptr, 10);
    return true;
}

std::string segment_path(const SegmentName &n, unsigned long number)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%0*lu", static_cast<int>(n.width), number);
    return n.dir + n.stem + "." + digits;
}

bool exists(const std::string &path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

// Numbers of the segment files beside the first one that belong to its set.
std::set<unsigned long> numbers_in_folder(const SegmentName &n)
{
    std::set<unsigned long> found;
    DIR *d = opendir(n.dir.empty() ? "." : n.dir.c_str());
    if (!d)
        return found;
    while (dirent *e = readdir(d)) {
        SegmentName other;
        if (parse_segment_name(e->d_name, &other) && other.stem == n.stem && other.width == n.width)
            found.insert(other.number);
    }
    closedir(d);
    return found;
}

struct Segment {
    std::string path;
    uint64_t bytes = 0;
};

struct OpenSegment {
    size_t index = 0;
    int fd = -1;
    uint64_t last_use = 0;
};

struct SplitRaw {
    std::vector<Segment> segments;
    uint64_t segment_size = 0;  // bytes each segment covers: the first segment's size
    uint64_t bytes = 0;         // (segments - 1) * segment_size + the last one's size
    uint64_t sectors = 0;
    std::mutex lock;            // the descriptor cache
    std::vector<OpenSegment> open;
    uint64_t uses = 0;
};

SplitRaw *state(BlockDevice *dev) { return static_cast<SplitRaw *>(dev->priv); }

// The descriptor of segment `i`, opened on demand (the least recently used
// one is closed when k_open_limit are open). -1 when it cannot be opened.
int segment_fd(SplitRaw *s, size_t i)
{
    ++s->uses;
    for (OpenSegment &o : s->open) {
        if (o.index == i) {
            o.last_use = s->uses;
            return o.fd;
        }
    }
    int fd = open(s->segments[i].path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (s->open.size() < k_open_limit) {
        s->open.push_back(OpenSegment{i, fd, s->uses});
        return fd;
    }
    OpenSegment *oldest = &s->open[0];
    for (OpenSegment &o : s->open) {
        if (o.last_use < oldest->last_use)
            oldest = &o;
    }
    close(oldest->fd);
    *oldest = OpenSegment{i, fd, s->uses};
    return fd;
}

int split_read(BlockDevice *dev, uint64_t sector, uint32_t count, void *buf)
{
    SplitRaw *s = state(dev);
    if (sector > s->sectors || count > s->sectors - sector)
        return -1;
    uint64_t offset = sector * WFS_SECTOR_SIZE;
    uint64_t left = static_cast<uint64_t>(count) * WFS_SECTOR_SIZE;
    uint8_t *p = static_cast<uint8_t *>(buf);
    std::lock_guard<std::mutex> guard(s->lock);
    while (left > 0) {
        const size_t i = static_cast<size_t>(offset / s->segment_size);
        const uint64_t within = offset % s->segment_size;
        if (i >= s->segments.size())
            return -1;
        uint64_t n = s->segment_size - within;
        if (n > left)
            n = left;
        const int fd = segment_fd(s, i);
        if (fd < 0)
            return -1;
        ssize_t got = pread(fd, p, static_cast<size_t>(n), static_cast<off_t>(within));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return -1;  // an error, or the segment ends before the range: a short read
        p += got;
        offset += static_cast<uint64_t>(got);
        left -= static_cast<uint64_t>(got);
    }
    return 0;
}

uint64_t split_capacity(BlockDevice *dev) { return state(dev)->sectors; }

void split_close(BlockDevice *dev)
{
    SplitRaw *s = state(dev);
    if (s) {
        for (OpenSegment &o : s->open)
            close(o.fd);
        delete s;
    }
    delete dev;
}

void split_describe(BlockDevice *dev, DiskSourceInfo *out)
{
    SplitRaw *s = state(dev);
    out->kind = "split";
    out->kind_text = segments_kind_text("split raw", s->segments.size());
    out->source = s->segments.empty() ? std::string() : s->segments[0].path;
    out->segments.clear();
    out->segment_bytes.clear();
    for (const Segment &seg : s->segments) {
        out->segments.push_back(seg.path);
        out->segment_bytes.push_back(seg.bytes);
    }
    out->sectors = s->sectors;
    out->bytes = s->bytes;
}

const BlockDeviceOps k_split_ops = {"split", split_read, nullptr, split_capacity, split_close, split_describe};

int fail(ImageOpenError *why, int problem, const std::string &segment, int err)
{
    if (why) {
        why->problem = problem;
        why->segment = segment;
    }
    return err;
}

}  // namespace

SplitRawName split_raw_name(const char *path, std::string *previous)
{
    SegmentName n;
    if (!path || !parse_segment_name(path, &n))
        return SPLIT_RAW_NONE;
    if (n.number > 0) {
        const std::string before = segment_path(n, n.number - 1);
        if (exists(before)) {
            if (previous)
                *previous = before;
            return SPLIT_RAW_LATER;
        }
    }
    return n.number <= 1 ? SPLIT_RAW_FIRST : SPLIT_RAW_NONE;
}

int split_raw_device_open(const char *path, BlockDevice **out, ImageOpenError *why)
{
    if (!path || !out)
        return EINVAL;
    *out = nullptr;
    std::string previous;
    switch (split_raw_name(path, &previous)) {
    case SPLIT_RAW_FIRST:
        break;
    case SPLIT_RAW_LATER:
        return fail(why, IMAGE_NOT_FIRST_SEGMENT, previous, EINVAL);
    default:
        return EINVAL;
    }
    SegmentName name;
    parse_segment_name(path, &name);

    // The set: consecutive numbers from the first on. A higher number in the
    // folder after the run ends means a segment in between is missing.
    std::vector<Segment> segments;
    unsigned long next = name.number;  // the first number not found
    for (;;) {
        const std::string p = segment_path(name, next);
        int fd = open(p.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            const int err = errno ? errno : EIO;
            if (err == ENOENT && !segments.empty())
                break;
            if (segments.empty())
                return err;  // the first segment itself: the plain errno says it
            return fail(why, IMAGE_SEGMENT_UNREADABLE, p, err);
        }
        struct stat st {};
        const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
        close(fd);
        if (!regular) {
            if (segments.empty())
                return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
            return fail(why, IMAGE_SEGMENT_UNREADABLE, p, EINVAL);
        }
        segments.push_back(Segment{p, static_cast<uint64_t>(st.st_size)});
        ++next;
        // Past the last number the width allows there is nothing to find.
        if (std::to_string(next).size() > name.width)
            break;
    }
    for (unsigned long later : numbers_in_folder(name)) {
        if (later >= next)
            return fail(why, IMAGE_SEGMENT_MISSING, segment_path(name, next), ENOENT);
    }

    const uint64_t size = segments[0].bytes;
    if (size == 0)
        return fail(why, IMAGE_SEGMENT_SHORT, segments[0].path, EIO);
    for (size_t i = 1; i < segments.size(); ++i) {
        if (segments[i].bytes > size)
            return fail(why, IMAGE_SEGMENT_TOO_LONG, segments[i].path, EINVAL);
        if (i + 1 < segments.size() && segments[i].bytes < size)
            wfs_warn("split image: segment %s is %llu bytes short of the first; the sectors it lacks cannot be read\n",
                     segments[i].path.c_str(), static_cast<unsigned long long>(size - segments[i].bytes));
    }
    const uint64_t before_last = static_cast<uint64_t>(segments.size() - 1);
    if (before_last > (UINT64_MAX - segments.back().bytes) / size)
        return fail(why, IMAGE_SEGMENT_TOO_LONG, segments.back().path, EOVERFLOW);

    SplitRaw *s = new SplitRaw;
    s->segments = std::move(segments);
    s->segment_size = size;
    s->bytes = before_last * size + s->segments.back().bytes;
    s->sectors = s->bytes / WFS_SECTOR_SIZE;
    BlockDevice *dev = new BlockDevice;
    dev->ops = &k_split_ops;
    dev->priv = s;
    *out = dev;
    return 0;
}
