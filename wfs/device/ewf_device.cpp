// Expert Witness Format image sets (disk.E01, disk.E02 ...; Ex01 where the
// library reads it) through libewf. Capacity is the media size the image
// records.
//
// libewf hands back the bytes of a chunk whose checksum does not match (or
// whose compressed data does not inflate) as a successful read and only adds
// the chunk to its list of checksum errors. A read that touches such a
// chunk is a failed read here, now and on every later read of it (the
// library caches the chunk and does not report it twice).
//
// The library keeps every segment file of a set open (limiting its pool of
// open files breaks its reads in this version).
#include <libewf.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "wfs/common/bytes.h"
#include "wfs/common/log.h"
#include "wfs/device/image_source.h"
#include "wfs/device/source_info.h"

namespace {

struct BadRange {
    uint64_t first;  // 512-byte sectors
    uint64_t end;    // exclusive
};

struct EwfImage {
    libewf_handle_t *handle = nullptr;
    std::vector<std::string> segments;
    std::vector<uint64_t> segment_bytes;
    uint64_t media_bytes = 0;
    uint64_t sectors = 0;
    uint32_t bytes_per_sector = WFS_SECTOR_SIZE;  // the image's own sector size
    std::vector<StoredHash> hashes;
    std::mutex lock;                  // the handle is not safe for concurrent use
    uint32_t known_errors = 0;        // checksum errors already taken into `bad`
    std::vector<BadRange> bad;
};

EwfImage *state(BlockDevice *dev) { return static_cast<EwfImage *>(dev->priv); }

void drop(libewf_error_t **err)
{
    if (*err)
        libewf_error_free(err);
}

// Takes the checksum errors the library has added since the last call.
void collect_bad_ranges(EwfImage *s)
{
    libewf_error_t *err = nullptr;
    uint32_t count = 0;
    if (libewf_handle_get_number_of_checksum_errors(s->handle, &count, &err) != 1) {
        drop(&err);
        return;
    }
    const uint64_t scale = s->bytes_per_sector / WFS_SECTOR_SIZE;
    for (uint32_t i = s->known_errors; i < count; ++i) {
        uint64_t first = 0, n = 0;
        if (libewf_handle_get_checksum_error(s->handle, i, &first, &n, &err) != 1) {
            drop(&err);
            continue;
        }
        s->bad.push_back(BadRange{first * scale, (first + n) * scale});
        wfs_warn("ewf image %s: sectors %llu to %llu fail their checksum\n", s->segments[0].c_str(),
                 static_cast<unsigned long long>(first * scale),
                 static_cast<unsigned long long>((first + n) * scale - 1));
    }
    s->known_errors = count;
}

bool touches_bad(const EwfImage *s, uint64_t first, uint64_t end)
{
    for (const BadRange &r : s->bad) {
        if (r.first < end && first < r.end)
            return true;
    }
    return false;
}

int ewf_read(BlockDevice *dev, uint64_t sector, uint32_t count, void *buf)
{
    EwfImage *s = state(dev);
    if (sector > s->sectors || count > s->sectors - sector)
        return -1;
    const size_t want = static_cast<size_t>(count) * WFS_SECTOR_SIZE;
    std::lock_guard<std::mutex> guard(s->lock);
    if (touches_bad(s, sector, sector + count))
        return -1;
    libewf_error_t *err = nullptr;
    ssize_t got = libewf_handle_read_random(s->handle, buf, want, static_cast<off64_t>(sector * WFS_SECTOR_SIZE), &err);
    drop(&err);
    collect_bad_ranges(s);
    if (got < 0 || static_cast<size_t>(got) != want)
        return -1;
    return touches_bad(s, sector, sector + count) ? -1 : 0;
}

uint64_t ewf_capacity(BlockDevice *dev) { return state(dev)->sectors; }

void close_handle(libewf_handle_t **handle)
{
    libewf_error_t *err = nullptr;
    if (libewf_handle_close(*handle, &err) != 0)
        drop(&err);
    libewf_handle_free(handle, &err);
    drop(&err);
}

void ewf_close(BlockDevice *dev)
{
    EwfImage *s = state(dev);
    if (s) {
        if (s->handle)
            close_handle(&s->handle);
        delete s;
    }
    delete dev;
}

void ewf_describe(BlockDevice *dev, DiskSourceInfo *out)
{
    EwfImage *s = state(dev);
    out->kind = "ewf";
    out->kind_text = segments_kind_text("ewf", s->segments.size());
    out->source = s->segments.empty() ? std::string() : s->segments[0];
    out->segments = s->segments;
    out->segment_bytes = s->segment_bytes;
    out->sectors = s->sectors;
    out->bytes = s->media_bytes;
    out->stored_hashes = s->hashes;
}

const BlockDeviceOps k_ewf_ops = {"ewf", ewf_read, nullptr, ewf_capacity, ewf_close, ewf_describe};

int fail(ImageOpenError *why, int problem, const std::string &segment, int err)
{
    if (why) {
        why->problem = problem;
        why->segment = segment;
    }
    return err;
}

std::string hex_of(const uint8_t *digest, size_t n)
{
    static const char k_hex[] = "0123456789abcdef";
    std::string out;
    bool any = false;
    for (size_t i = 0; i < n; ++i) {
        out += k_hex[digest[i] >> 4];
        out += k_hex[digest[i] & 15];
        any = any || digest[i] != 0;
    }
    return any ? out : std::string();  // an all-zero digest was never computed
}

void add_hash(EwfImage *s, const std::string &algorithm, const std::string &hex)
{
    if (hex.empty())
        return;
    for (const StoredHash &h : s->hashes) {
        if (h.algorithm == algorithm)
            return;
    }
    s->hashes.push_back(StoredHash{algorithm, hex});
}

// The digests the acquisition stored: the binary MD5 and SHA1 sections and
// any further hash values ("SHA256" ...) of the hash table.
void read_stored_hashes(EwfImage *s)
{
    libewf_error_t *err = nullptr;
    uint8_t digest[20];
    if (libewf_handle_get_md5_hash(s->handle, digest, 16, &err) == 1)
        add_hash(s, "md5", hex_of(digest, 16));
    drop(&err);
    if (libewf_handle_get_sha1_hash(s->handle, digest, 20, &err) == 1)
        add_hash(s, "sha1", hex_of(digest, 20));
    drop(&err);
    uint32_t count = 0;
    if (libewf_handle_get_number_of_hash_values(s->handle, &count, &err) != 1) {
        drop(&err);
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t id[64] = {};
        size_t id_size = 0;
        if (libewf_handle_get_hash_value_identifier_size(s->handle, i, &id_size, &err) != 1 || id_size < 2 ||
            id_size > sizeof id ||
            libewf_handle_get_hash_value_identifier(s->handle, i, id, id_size, &err) != 1) {
            drop(&err);
            continue;
        }
        uint8_t value[160] = {};
        if (libewf_handle_get_utf8_hash_value(s->handle, id, id_size - 1, value, sizeof value, &err) != 1) {
            drop(&err);
            continue;
        }
        std::string algorithm, hex;
        for (size_t k = 0; k + 1 < id_size; ++k)
            algorithm += static_cast<char>(std::tolower(id[k]));
        bool is_hex = true;
        for (const uint8_t *p = value; *p; ++p) {
            is_hex = is_hex && std::isxdigit(*p);
            hex += static_cast<char>(std::tolower(*p));
        }
        if (is_hex && hex.find_first_not_of('0') != std::string::npos)
            add_hash(s, algorithm, hex);
    }
}

// The name of the segment after `path` in the library's sequence: E01 ..
// E99, EAA .. EZZ, FAA ...; for the newer format Ex01 .. Ex99, ExAA ...
std::string next_segment_name(const std::string &path)
{
    std::string next = path;
    const size_t dot = next.rfind('.');
    if (dot == std::string::npos || next.size() - dot < 4)
        return std::string();
    const bool v2 = next.size() - dot == 5 && (next[dot + 2] == 'x' || next[dot + 2] == 'X');
    // The characters that count: two after "Ex", or all three of "E01".
    const size_t first = v2 ? dot + 3 : dot + 1;
    const size_t last = next.size() - 1;
    if (std::isdigit(static_cast<unsigned char>(next[last])) &&
        std::isdigit(static_cast<unsigned char>(next[last - 1]))) {
        int n = (next[last - 1] - '0') * 10 + (next[last] - '0') + 1;
        if (n <= 99) {
            next[last - 1] = static_cast<char>('0' + n / 10);
            next[last] = static_cast<char>('0' + n % 10);
            return next;
        }
        const char a = std::islower(static_cast<unsigned char>(next[first])) ? 'a' : 'A';
        next[last - 1] = a;
        next[last] = a;
        return next;
    }
    for (size_t i = last + 1; i-- > first;) {
        char &c = next[i];
        if (c == 'z' || c == 'Z') {
            c = static_cast<char>(c - 25);
            continue;
        }
        if (!std::isalpha(static_cast<unsigned char>(c)))
            return std::string();
        ++c;
        return next;
    }
    return std::string();
}

// Whether a segment of the older format is whole: its sections chain from
// the file header to a "next" or "done" section that ends the chain, every
// link inside the file. Only used to name the segment when the library
// finds the set incomplete.
bool ewf1_segment_whole(const std::string &path)
{
    constexpr uint64_t k_file_header = 13;
    constexpr uint64_t k_section = 76;  // type (16), next offset (8), size (8), padding, checksum
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st {};
    bool whole = false;
    if (fstat(fd, &st) == 0) {
        const uint64_t size = static_cast<uint64_t>(st.st_size);
        uint64_t at = k_file_header;
        for (uint64_t steps = 0; steps <= size / k_section && at + k_section <= size; ++steps) {
            uint8_t d[k_section];
            if (pread(fd, d, sizeof d, static_cast<off_t>(at)) != static_cast<ssize_t>(sizeof d))
                break;
            const uint64_t next = ld_64(d + 16);
            const bool end_type = std::memcmp(d, "done", 5) == 0 || std::memcmp(d, "next", 5) == 0;
            if (end_type || next == at) {
                whole = end_type && next == at;
                break;
            }
            if (next <= at || next > size)
                break;
            at = next;
        }
    }
    close(fd);
    return whole;
}

bool ewf1_signature_of(const std::string &path)
{
    static const uint8_t k_evf[8] = {'E', 'V', 'F', 0x09, 0x0d, 0x0a, 0xff, 0x00};
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    uint8_t head[8];
    const bool ok = pread(fd, head, sizeof head, 0) == static_cast<ssize_t>(sizeof head) &&
                    std::memcmp(head, k_evf, sizeof head) == 0;
    close(fd);
    return ok;
}

// The library opened the set but finds it incomplete: a segment cut short
// (named when the older format's section chain shows which), else the one
// after the last segment found is missing.
int diagnose_incomplete(const std::vector<std::string> &segments, ImageOpenError *why)
{
    for (const std::string &seg : segments) {
        if (ewf1_signature_of(seg) && !ewf1_segment_whole(seg))
            return fail(why, IMAGE_SEGMENT_SHORT, seg, EIO);
    }
    const std::string next = next_segment_name(segments.back());
    if (next.empty())
        return fail(why, IMAGE_SET_DAMAGED, segments[0], EIO);
    return fail(why, IMAGE_SEGMENT_MISSING, next, ENOENT);
}

}  // namespace

bool ewf_signature(const char *path)
{
    if (!path)
        return false;
    libewf_error_t *err = nullptr;
    const int r = libewf_check_file_signature(path, &err);
    drop(&err);
    return r == 1;
}

int ewf_device_open(const char *path, BlockDevice **out, ImageOpenError *why)
{
    if (!path || !out)
        return EINVAL;
    *out = nullptr;
    // The first segment's own errno (absent, no permission) says it best.
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno ? errno : EIO;
    close(fd);

    libewf_error_t *err = nullptr;
    char **names = nullptr;
    int count = 0;
    if (libewf_glob(path, std::strlen(path), LIBEWF_FORMAT_UNKNOWN, &names, &count, &err) != 1 || count < 1) {
        drop(&err);
        return fail(why, IMAGE_SET_DAMAGED, path, EINVAL);
    }
    EwfImage *s = new EwfImage;
    for (int i = 0; i < count; ++i) {
        s->segments.push_back(names[i]);
        struct stat st {};
        s->segment_bytes.push_back(stat(names[i], &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0);
    }
    int result = 0;
    if (libewf_handle_initialize(&s->handle, &err) != 1) {
        drop(&err);
        s->handle = nullptr;
        result = ENOMEM;
    } else {
        if (libewf_handle_open(s->handle, names, count, LIBEWF_OPEN_READ, &err) != 1) {
            drop(&err);
            libewf_handle_free(&s->handle, &err);
            drop(&err);
            s->handle = nullptr;
            result = diagnose_incomplete(s->segments, why);
        }
    }
    libewf_glob_free(names, count, &err);
    drop(&err);
    if (result == 0 && libewf_handle_segment_files_corrupted(s->handle, &err) != 0) {
        drop(&err);
        result = diagnose_incomplete(s->segments, why);
    }
    size64_t media = 0;
    if (result == 0 && libewf_handle_get_media_size(s->handle, &media, &err) != 1) {
        drop(&err);
        result = fail(why, IMAGE_SET_DAMAGED, path, EIO);
    }
    if (result == 0) {
        uint32_t bps = 0;
        if (libewf_handle_get_bytes_per_sector(s->handle, &bps, &err) == 1 && bps >= WFS_SECTOR_SIZE &&
            bps % WFS_SECTOR_SIZE == 0)
            s->bytes_per_sector = bps;
        drop(&err);
    }
    if (result != 0) {
        if (s->handle)
            close_handle(&s->handle);
        delete s;
        return result;
    }
    s->media_bytes = media;
    s->sectors = media / WFS_SECTOR_SIZE;
    read_stored_hashes(s);
    BlockDevice *dev = new BlockDevice;
    dev->ops = &k_ewf_ops;
    dev->priv = s;
    *out = dev;
    return 0;
}
