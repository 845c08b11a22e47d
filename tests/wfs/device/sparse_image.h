// Small sparse disk images for the device and cache tests: a temporary
// folder, files of a given size with holes, and sectors written at chosen
// places (an MBR, a WFS volume head, sectors stamped with their own number).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace sparse {

class TempDir {
public:
    TempDir()
    {
        char tmpl[] = "/tmp/orvelle-wfs-XXXXXX";
        const char *made = mkdtemp(tmpl);
        m_path = made ? made : "/tmp";
    }
    ~TempDir()
    {
        std::string cmd = "rm -rf '" + m_path + "'";
        if (m_path != "/tmp")
            (void)std::system(cmd.c_str());
    }
    std::string file(const std::string &name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Creates (or truncates) `path` as a sparse file of `bytes` bytes.
inline bool make_file(const std::string &path, uint64_t bytes)
{
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = ftruncate(fd, static_cast<off_t>(bytes)) == 0;
    close(fd);
    return ok;
}

inline bool write_at(const std::string &path, uint64_t byte_offset, const void *data, size_t len)
{
    int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = pwrite(fd, data, len, static_cast<off_t>(byte_offset)) == static_cast<ssize_t>(len);
    close(fd);
    return ok;
}

// A sector whose first bytes say "SECT" and its own physical number.
inline std::vector<uint8_t> stamp(uint64_t sector)
{
    std::vector<uint8_t> s(512, 0);
    std::memcpy(s.data(), "SECT", 4);
    for (int i = 0; i < 8; ++i)
        s[4 + i] = static_cast<uint8_t>(sector >> (8 * i));
    return s;
}

inline uint64_t stamp_number(const uint8_t *sector)
{
    if (std::memcmp(sector, "SECT", 4) != 0)
        return UINT64_MAX;
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
        v |= static_cast<uint64_t>(sector[4 + i]) << (8 * i);
    return v;
}

inline bool write_stamp(const std::string &path, uint64_t sector)
{
    std::vector<uint8_t> s = stamp(sector);
    return write_at(path, sector * 512, s.data(), s.size());
}

// Sector 0 of a whole disk: the first partition entry starts at `base`.
inline std::vector<uint8_t> mbr(uint32_t base)
{
    std::vector<uint8_t> s(512, 0);
    s[446] = 0x00;
    s[450] = 0x83;
    for (int i = 0; i < 4; ++i)
        s[454 + i] = static_cast<uint8_t>(base >> (8 * i));
    s[510] = 0x55;
    s[511] = 0xAA;
    return s;
}

// A volume head with the given seven magic bytes and "Q" "J".
inline std::vector<uint8_t> volume_head(const char *magic = "WFS0.4")
{
    std::vector<uint8_t> s(512, 0);
    std::memcpy(s.data(), magic, std::strlen(magic) < 7 ? std::strlen(magic) : 7);
    s[510] = 'Q';
    s[511] = 'J';
    return s;
}

// A whole-disk image of `sectors` sectors whose MBR points at a WFS head at
// `base`; with base 0 there is no MBR, the head is sector 0 (a bare volume).
inline bool make_recorder_image(const std::string &path, uint32_t base, uint64_t sectors,
                                const char *magic = "WFS0.4")
{
    if (!make_file(path, sectors * 512))
        return false;
    if (base != 0) {
        std::vector<uint8_t> m = mbr(base);
        if (!write_at(path, 0, m.data(), m.size()))
            return false;
    }
    std::vector<uint8_t> h = volume_head(magic);
    return write_at(path, static_cast<uint64_t>(base) * 512, h.data(), h.size());
}

// The whole content of a file (for byte-identical comparisons).
inline std::vector<uint8_t> read_all(const std::string &path)
{
    std::vector<uint8_t> out;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return out;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return out;
}

}  // namespace sparse
