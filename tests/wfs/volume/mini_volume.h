// A small hand-laid recorder volume in memory, for tests that need exact
// control over single records: a WFS0.4 head at sector 0 (no MBR), a
// partition table, and per partition its key parameters, parameter block,
// collision sector and directory / backup / extended / index / user-data
// areas at fixed offsets. Every byte is written here from the on-disk
// format, without the library's encoders.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "wfs/device/drives.h"
#include "wfs/device/memory_device.h"
#include "wfs/device/recorder_disks.h"

namespace mini {

inline uint32_t ptime(int y, int mo, int d, int h, int mi, int s)
{
    return (static_cast<uint32_t>(y - 2000) << 26) | (static_cast<uint32_t>(mo) << 22) |
           (static_cast<uint32_t>(d) << 17) | (static_cast<uint32_t>(h) << 12) | (static_cast<uint32_t>(mi) << 6) |
           static_cast<uint32_t>(s);
}

struct Part {
    uint64_t start = 0;            // volume sector (partition 0 starts at 0)
    uint64_t sectors = 0;          // 0: just large enough for the data area
    uint32_t sec_per_clus = 8;
    uint32_t total_cluster = 1000;
    uint32_t rev_clus = 2;
    uint32_t dir_offset = 2048;
    uint32_t backdir_offset = 2150;
    uint32_t ext_dir_offset = 2300;  // 0 = none
    uint32_t index_offset = 2500;    // 0 = none
    uint32_t ud_offset = 2600;
    uint32_t ud_item_count = 64;
    uint32_t ud_first = 1, ud_last = 1;
    uint32_t data_offset = 4096;
    uint32_t driver_type = 0;
    uint32_t status = 170;
    uint8_t generation = 0;
    uint32_t bad_status = 0;
    uint32_t current = 0, start_cluster2 = 0, end_cluster2 = 0;
    uint32_t start_time1 = 0, end_time1 = 0, start_time2 = 0, end_time2 = 0;
    int32_t restore_point = -1;    // -1: the current cluster
    std::vector<uint32_t> collisions;
    int64_t collision_count = -1;  // -1: collisions.size()
    uint32_t check_word = 0x789ABCDE;
    int64_t block_start = -1;      // start sector the parameter block names; -1: start

    uint64_t size() const { return sectors ? sectors : data_offset + uint64_t(total_cluster) * sec_per_clus; }
};

struct Dir {
    uint8_t alarm = 0, flag = 2;
    uint16_t item_num = 0;
    uint32_t up = 0, down = 0, start = 0, end = 0;
    uint16_t head = 0, end_length = 0;
    uint32_t first = 0;
    uint8_t attr = 0, stream = 0, repeat = 0, channel = 0, av = 2;
};

class Volume {
public:
    explicit Volume(uint64_t capacity_sectors = 40000) : m_cap(capacity_sectors)
    {
        m_dev = memory_device_create(capacity_sectors);
    }

    BlockDevice *device() const { return m_dev; }

    void put(uint64_t sector, uint32_t off, const void *p, size_t n)
    {
        memory_device_put(m_dev, sector * 512 + off, p, n);
    }
    void put8(uint64_t s, uint32_t o, uint8_t v) { put(s, o, &v, 1); }
    void put16(uint64_t s, uint32_t o, uint16_t v)
    {
        uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
        put(s, o, b, 2);
    }
    void put32(uint64_t s, uint32_t o, uint32_t v)
    {
        uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        put(s, o, b, 4);
    }
    void put64(uint64_t s, uint32_t o, uint64_t v)
    {
        put32(s, o, uint32_t(v));
        put32(s, o + 4, uint32_t(v >> 32));
    }

    void head(const char *magic = "WFS0.4", bool qj = true)
    {
        uint8_t sec[512] = {0};
        std::memcpy(sec, magic, std::strlen(magic));
        if (qj) {
            sec[510] = 'Q';
            sec[511] = 'J';
        }
        put(0, 0, sec, 512);
    }

    // Partition table entry i (sector 20).
    void table_entry(int i, uint64_t start, uint64_t total)
    {
        put32(20, 40, 3);
        put32(20, 44, 0x789ABCDE);
        put32(20, 48, 3);
        put32(20, 52, 1);
        put64(20, 56 + 64 * i, start);
        put64(20, 56 + 64 * i + 8, total);
        put32(20, 56 + 64 * i + 28, 24);
        put32(20, 56 + 64 * i + 56, 1);
    }

    // Writes the partition's table entry, key parameters, parameter block,
    // collision sector, and a freshly formatted directory and index (items
    // 0xFE, index bytes 0xFF... as a never-used area reads).
    void partition(int i, const Part &p)
    {
        m_parts.resize(i + 1);
        m_parts[i] = p;
        table_entry(i, p.start, p.size());
        uint64_t s = p.start;
        // key parameters (sector 10)
        put64(s + 10, 0, p.size());
        put64(s + 10, 8, p.start);
        put32(s + 10, 60, p.dir_offset);
        put32(s + 10, 64, p.backdir_offset);
        put32(s + 10, 68, p.index_offset ? p.index_offset : p.dir_offset + 1);
        put32(s + 10, 108, p.ext_dir_offset);
        put32(s + 10, 504, 4);
        put32(s + 10, 508, 0x789ABCDE);
        // parameter block (sector 24)
        uint64_t pb = s + 24;
        put8(pb, 8, p.generation);
        put32(pb, 12, p.status);
        put32(pb, 16, p.start_time1);
        put32(pb, 20, p.end_time1);
        put32(pb, 24, p.current);
        put32(pb, 28, p.start_cluster2);
        put32(pb, 32, p.end_cluster2);
        put32(pb, 36, p.start_time2);
        put32(pb, 40, p.end_time2);
        put32(pb, 44, 512);
        put32(pb, 48, p.sec_per_clus);
        put32(pb, 52, p.ext_dir_offset);
        put32(pb, 56, p.rev_clus);
        put32(pb, 60, p.index_offset);
        put32(pb, 64, 24);
        put32(pb, 68, p.dir_offset);
        put32(pb, 72, p.data_offset);
        put32(pb, 76, p.total_cluster);
        put32(pb, 84, p.driver_type);
        put32(pb, 88, p.ud_offset);
        put32(pb, 92, 16);
        put32(pb, 96, p.ud_item_count);
        put32(pb, 100, p.ud_first);
        put32(pb, 104, p.ud_last);
        put32(pb, 108, 7);  // disk number at format time: replaced by the mount
        put32(pb, 112, p.current);
        put32(pb, 116, uint32_t(p.restore_point < 0 ? int32_t(p.current) : p.restore_point));
        put32(pb, 140, uint32_t(i));
        put32(pb, 152, p.bad_status);
        put32(pb, 156, 28);
        put32(pb, 160, uint32_t(p.collision_count < 0 ? int64_t(p.collisions.size()) : p.collision_count));
        put64(pb, 224, p.block_start < 0 ? p.start : uint64_t(p.block_start));
        put32(pb, 236, p.backdir_offset);
        put32(pb, 328, p.check_word);
        for (size_t k = 0; k < p.collisions.size() && k < 128; ++k)
            put32(s + 28, uint32_t(4 * k), p.collisions[k]);
        // never-written directory records (dir_flag 0xFE) over the whole area
        std::vector<uint8_t> fe(512, 0);
        for (int k = 0; k < 16; ++k)
            fe[k * 32 + 1] = 0xFE;
        for (uint32_t sec = 0; sec <= p.total_cluster / 16; ++sec) {
            put(s + p.dir_offset + sec, 0, fe.data(), 512);
            put(s + p.backdir_offset + sec, 0, fe.data(), 512);
        }
        // an index of bad-free, unused clusters: flag 3 ("not to be written")
        // is what a never-used cluster must not show, so leave zeros there
        // only where records are written below.
        if (p.index_offset) {
            std::vector<uint8_t> ff(512, 0xFF);
            for (uint32_t sec = 0; sec <= p.total_cluster / 512; ++sec)
                put(s + p.index_offset + sec, 0, ff.data(), 512);
        }
    }

    const Part &part(int i) const { return m_parts[i]; }

    // Directory record of cluster c (and its backup copy).
    void dir(int i, uint32_t c, const Dir &d, bool backup = true)
    {
        const Part &p = m_parts[i];
        uint8_t r[32] = {0};
        r[0] = d.alarm;
        r[1] = d.flag;
        r[2] = uint8_t(d.item_num);
        r[3] = uint8_t(d.item_num >> 8);
        auto w32 = [&](int o, uint32_t v) {
            r[o] = uint8_t(v);
            r[o + 1] = uint8_t(v >> 8);
            r[o + 2] = uint8_t(v >> 16);
            r[o + 3] = uint8_t(v >> 24);
        };
        w32(4, d.up);
        w32(8, d.down);
        w32(12, d.start);
        w32(16, d.end);
        r[20] = uint8_t(d.head);
        r[21] = uint8_t(d.head >> 8);
        r[22] = uint8_t(d.end_length);
        r[23] = uint8_t(d.end_length >> 8);
        w32(24, d.first);
        r[28] = d.attr;
        r[29] = d.stream;
        r[30] = d.repeat;
        r[31] = uint8_t((d.channel << 2) | (d.av & 3));
        put(p.start + p.dir_offset + c / 16, (c % 16) * 32, r, 32);
        if (backup)
            put(p.start + p.backdir_offset + c / 16, (c % 16) * 32, r, 32);
    }

    void index(int i, uint32_t c, uint8_t b)
    {
        const Part &p = m_parts[i];
        put(p.start + p.index_offset + c / 512, c % 512, &b, 1);
    }

    void ext(int i, uint32_t c, uint8_t a1, uint8_t a2, uint32_t mask)
    {
        const Part &p = m_parts[i];
        uint8_t r[32] = {0};
        r[0] = a1;
        r[1] = a2;
        r[4] = uint8_t(mask);
        r[5] = uint8_t(mask >> 8);
        r[6] = uint8_t(mask >> 16);
        r[7] = uint8_t(mask >> 24);
        put(p.start + p.ext_dir_offset + c / 16, (c % 16) * 32, r, 32);
    }

    // A closed recording over the given clusters (chained in order), with
    // directory and index written the way the recorder leaves them.
    // `secs` seconds per cluster starting at `start`.
    void recording(int i, std::vector<uint32_t> clusters, uint8_t channel, uint32_t start, int secs_per_cluster,
                   uint16_t end_length = 5, uint8_t stream = 0, bool open_at_end = false)
    {
        uint32_t first = clusters.front();
        uint32_t t = start;
        auto add = [](uint32_t pt, int s) {
            // simple same-day addition for tests (no overflow of minutes/hours past the day)
            int h = (pt >> 12) & 31, m = (pt >> 6) & 63, sec = pt & 63;
            int tot = h * 3600 + m * 60 + sec + s;
            return (pt & ~0x1FFFFu) | (uint32_t(tot / 3600) << 12) | (uint32_t(tot / 60 % 60) << 6) | uint32_t(tot % 60);
        };
        for (size_t k = 0; k < clusters.size(); ++k) {
            Dir d;
            d.flag = k == 0 ? 2 : 1;
            d.item_num = uint16_t(k == 0 ? clusters.size() - 1 : k);
            d.up = k == 0 ? 0 : clusters[k - 1];
            bool last = k + 1 == clusters.size();
            d.down = last ? (open_at_end ? 0xFFFFFFFFu : 0) : clusters[k + 1];
            d.start = t;
            d.end = add(t, secs_per_cluster);
            d.end_length = last ? end_length : 0;
            d.first = first;
            d.stream = stream;
            d.channel = channel;
            if (k == 0) {
                d.end = add(start, secs_per_cluster * int(clusters.size()));
                d.end_length = end_length;
            }
            dir(i, clusters[k], d);
            index(i, clusters[k], uint8_t((channel << 2) | (k == 0 ? 2 : 0)));
            t = add(t, secs_per_cluster);
        }
    }

    // Makes the volume disk 0 of a fresh scan (images only).
    void attach()
    {
        clear_registered_drives();
        set_images_only(true);
        register_drive_device(m_dev, "mini");
        m_registered = true;
        scan_recorder_disks();
    }

    ~Volume()
    {
        close_recorder_disks();
        if (m_registered)
            clear_registered_drives();
        else
            blockdev_close(m_dev);
    }

private:
    uint64_t m_cap;
    BlockDevice *m_dev = nullptr;
    bool m_registered = false;
    std::vector<Part> m_parts;
};

}  // namespace mini
