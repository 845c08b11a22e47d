#include "recorder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "camera.h"
#include "wfs/cache/cache.h"
#include "wfs/common/log.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/device/writable/writable_image.h"
#include "wfs/file/handle.h"
#include "wfs/file/name_layer.h"
#include "wfs/file/writer.h"
#include "wfs/volume/format.h"
#include "wfs/volume/mount.h"

namespace mkdisk {

namespace {

// The WFS volume starts here, behind the MBR (1 MiB, as partitioning tools
// align the first partition).
const uint32_t kVolumeBase = 2048;
const uint8_t kStreamType = 0;
// Length of the "DHII" stream header.
const uint32_t kDhiiBytes = 1024;

wfs_time g_clock = 0;
wfs_time sim_clock() { return g_clock; }

void write_mbr(BlockDevice *dev, uint64_t total_sectors)
{
    uint8_t mbr[WFS_SECTOR_SIZE] = {};
    uint8_t *e = mbr + 446;  // first partition entry
    e[4] = 0x83;             // a type byte; the recorder only reads the start
    uint32_t start = kVolumeBase;
    uint64_t len = total_sectors - kVolumeBase;
    uint32_t len32 = len > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(len);
    for (int i = 0; i < 4; ++i) {
        e[8 + i] = uint8_t(start >> (8 * i));
        e[12 + i] = uint8_t(len32 >> (8 * i));
    }
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    dev->ops->write(dev, 0, 1, mbr);
}

struct Recording {
    int channel;
    wfs_time start;
    int duration;  // seconds
    uint8_t type;
};

struct Active {
    Recording rec;
    FileHandle *h = nullptr;
    bool keep_open = false;
    bool left_open = false;
};

class Recorder {
public:
    Recorder(const Options &o, Summary *sum) : m_o(o), m_sum(sum), m_rng(o.seed) {}

    bool run(std::string *err);

private:
    bool format(std::string *err);
    std::vector<Recording> slot(wfs_time at, bool long_one);
    // Records a slot; when `stop` says so after a second, every recording
    // still running closes there.
    bool record_slot(const std::vector<Recording> &recs, bool last_slot, std::string *err,
                     const std::function<bool()> &stop = nullptr);
    bool record_overrun(wfs_time day, std::string *err);
    bool start(Active *a, std::string *err);
    void still(const Recording &r, std::string *err);
    int rnd(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(m_rng); }
    // The write position went back to the start of the ring.
    bool ring_wrapped()
    {
        DriverParam *pdp = get_work_driver(DRIVER_TYPE_RECORD);
        if (pdp && pdp->current_cluster < m_last_current)
            m_sum->wrapped = true;
        if (pdp)
            m_last_current = pdp->current_cluster;
        return m_sum->wrapped;
    }

    const Options &m_o;
    Summary *m_sum;
    std::mt19937 m_rng;
    std::vector<std::unique_ptr<Camera>> m_cams;
    std::vector<file_info> m_done;  // closed recordings, in order
    bool m_dhii_done = false;
    uint32_t m_last_current = 0;
};

bool Recorder::format(std::string *err)
{
    int n = 0;
    wfs_file_sys_init(&n, 0);  // a blank image: nothing to mount yet
    const uint64_t volume = wfs_ide_cap(0);
    const int parts = m_o.partitions + (m_o.pictures ? 1 : 0);
    if (parts > WFS_PARTS_PER_DISK) {
        *err = "at most 4 partitions, the picture partition included";
        return false;
    }
    WfsPartition table[WFS_PARTS_PER_DISK] = {};
    uint64_t picture = m_o.pictures ? volume / 4 : 0;
    uint64_t each = (volume - picture) / uint64_t(m_o.partitions) / 2048 * 2048;
    uint64_t at = 0;
    for (int p = 0; p < m_o.partitions; ++p) {
        table[p].start = at;
        table[p].total = each;
        at += each;
    }
    if (m_o.pictures) {
        table[m_o.partitions].start = at;
        table[m_o.partitions].total = volume - at;
    }
    if (wfs_write_partitions(0, table, parts) != 0) {
        *err = "cannot write the partition table";
        return false;
    }
    for (int p = 0; p < parts; ++p) {
        uint32_t type = (m_o.pictures && p == m_o.partitions) ? DRIVER_TYPE_PICTURE : DRIVER_TYPE_RECORD;
        int rc = wfs_format_driver_type(0, p, m_o.sec_per_clus, type);
        if (rc != 0) {
            *err = "cannot format partition " + std::to_string(p) +
                   (rc == WFS_FORMAT_BAD_SIZE ? ": the image is too small (each partition needs about 700 MiB)" : "");
            return false;
        }
    }
    sync_all_buffers();
    wfs_file_sys_init(&n, 0);
    if (n != parts || get_work_driver(DRIVER_TYPE_RECORD) == nullptr) {
        *err = "the formatted image does not mount";
        return false;
    }
    return true;
}

std::vector<Recording> Recorder::slot(wfs_time at, bool long_one)
{
    static const uint8_t kTypes[] = {0, 0, 0, 1, 2, 3};  // mostly "R", some "A", "M", "C"
    std::vector<Recording> out;
    for (int c = 0; c < m_o.channels; ++c) {
        Recording r;
        r.channel = c;
        r.start = wfs_time_add(at, rnd(0, 3));
        int d = m_o.seconds;
        r.duration = std::max(3, rnd(d * 3 / 4, d * 5 / 4));
        if (long_one)
            r.duration = int(m_o.pack_seconds) + rnd(10, 20);
        r.type = kTypes[rnd(0, 5)];
        out.push_back(r);
    }
    return out;
}

bool Recorder::start(Active *a, std::string *err)
{
    wfs_write_attr attr{};
    attr.ext_attr1 = 63;
    FileHandle *h = nullptr;
    if (wfs_file_create(uint8_t(a->rec.channel), 1, a->rec.type, kStreamType, a->rec.start, 0, DRIVER_TYPE_RECORD,
                        &attr, &h) != 0 ||
        h == nullptr) {
        *err = "cannot create a recording";
        return false;
    }
    a->h = h;
    if (m_o.dhii && !m_dhii_done) {
        // A stream header the reader finds by its "DHII" mark.
        m_dhii_done = true;
        wfs_writer_set_head_bytes(h, 0);
        std::vector<uint8_t> head(kDhiiBytes, 0);
        std::memcpy(head.data(), "DHII", 4);
        for (int i = 0; i < 4; ++i)
            head[4 + i] = uint8_t(kDhiiBytes >> (8 * i));
        if (fs_fwrite(head.data(), 1, head.size(), h) != head.size()) {
            *err = "cannot write the stream header";
            return false;
        }
    }
    return true;
}

void Recorder::still(const Recording &r, std::string *err)
{
    std::vector<uint8_t> jpeg = m_cams[size_t(r.channel)]->still(r.start, err);
    if (jpeg.empty())
        return;
    FileHandle *h = nullptr;
    if (wfs_file_create(uint8_t(r.channel), 0, r.type, kStreamType, r.start, 0, DRIVER_TYPE_PICTURE, nullptr, &h) !=
            0 ||
        h == nullptr)
        return;
    wfs_writer_set_head_bytes(h, 0);
    fs_fwrite(jpeg.data(), 1, jpeg.size(), h);
    fs_fclose(h);
    ++m_sum->pictures;
}

bool Recorder::record_slot(const std::vector<Recording> &recs, bool last_slot, std::string *err,
                           const std::function<bool()> &stop)
{
    std::vector<Active> act(recs.size());
    wfs_time first = recs[0].start, last = recs[0].start;
    for (size_t i = 0; i < recs.size(); ++i) {
        act[i].rec = recs[i];
        first = std::min(first, recs[i].start);
        last = std::max(last, wfs_time_add(recs[i].start, recs[i].duration));
        act[i].keep_open = m_o.unclosed && last_slot && i + 1 == recs.size();
    }
    std::vector<uint8_t> bytes;
    for (wfs_time t = first; t < last; t = wfs_time_add(t, 1)) {
        g_clock = t;
        for (Active &a : act) {
            if (a.rec.start == t) {
                if (!start(&a, err))
                    return false;
                if (m_o.pictures)
                    still(a.rec, err);
            }
        }
        for (Active &a : act) {
            if (!a.h || a.left_open)
                continue;
            bytes.clear();
            if (!m_cams[size_t(a.rec.channel)]->second(t, &bytes, err))
                return false;
            // One second at a time: a split by the pack interval falls before
            // a key frame.
            if (fs_fwrite(bytes.data(), 1, bytes.size(), a.h) != bytes.size()) {
                *err = "write failed";
                return false;
            }
            m_sum->seconds_of_video += 1;
        }
        wfs_time next = wfs_time_add(t, 1);
        g_clock = next;
        const bool stopping = stop && stop();
        for (Active &a : act) {
            if (!a.h || a.left_open || (wfs_time_add(a.rec.start, a.rec.duration) != next && !stopping))
                continue;
            if (stopping)
                a.rec.duration = int(wfs_time_diff(next, a.rec.start));
            if (a.keep_open) {
                // The disk is pulled while this one records: what it wrote
                // reaches the disk, its records stay open.
                fs_fflush(a.h);
                a.left_open = true;
                m_sum->unclosed = true;
                continue;
            }
            // Pieces split off by the pack interval count as recordings too.
            m_sum->recordings += 1 + int((uint32_t(a.rec.duration) - 1) / m_o.pack_seconds);
            file_info fi{};
            fi.disk = a.h->pdp ? a.h->pdp->dev : 0;
            fi.part = a.h->pdp ? a.h->pdp->part : 0;
            fi.first_cluster_no = a.h->first_cluster;
            fi.channel = uint8_t(a.rec.channel);
            if (fs_fclose(a.h) != 0) {
                *err = "closing a recording failed";
                return false;
            }
            a.h = nullptr;
            m_done.push_back(fi);
        }
        if (stopping)
            break;
    }
    return true;
}

// A recorder whose disk is full goes on over its oldest recordings. Unless
// the ring has wrapped already, it is made to end right behind what was
// recorded so far, so that this takes little data: the next recordings
// start over at the ring's start, run for at least kOverrunSeconds and then
// until the cluster after the write position is the middle of an older
// recording whose first cluster is gone, which leaves the rest of it (and
// of the recordings of the other channels around it) behind.
bool Recorder::record_overrun(wfs_time day, std::string *err)
{
    const int kOverrunSeconds = 10;
    DriverParam *pdp = get_work_driver(DRIVER_TYPE_RECORD);
    if (!pdp || pdp->current_cluster == 0) {
        *err = "nothing recorded to go on over";
        return false;
    }
    if (!m_sum->wrapped) {
        pdp->total_cluster = pdp->current_cluster + 1;
        wfs_save_driver_param(pdp);
    }
    const wfs_time until = wfs_time_add(day, kOverrunSeconds);
    // Some older recording lost its first cluster but keeps most of the
    // rest: one of the clusters just behind the write position is among its
    // first few, and its chain goes on from there.
    auto overran = [pdp, until]() {
        DriverParam *d = get_work_driver(DRIVER_TYPE_RECORD);
        if (d != pdp || g_clock < until)
            return false;
        const uint32_t cur = pdp->current_cluster;
        for (uint32_t c = cur + 1; c <= cur + 16 && c < pdp->total_cluster; ++c) {
            dir_item item;
            if (get_dir_item_info(pdp, c, &item) != 0 || item.dir_flag != DIR_FLAG_CONT || item.item_num > 4 ||
                item.first_cluster_no > cur || item.first_cluster_no < pdp->rev_clus)
                continue;
            const uint32_t first = item.first_cluster_no;
            int left = 0;
            for (uint32_t k = item.down_cluster_no; left < 8 && k > cur && k < pdp->total_cluster; ++left) {
                if (get_dir_item_info(pdp, k, &item) != 0 || item.first_cluster_no != first)
                    break;
                k = item.down_cluster_no;
            }
            if (left >= 8)
                return true;
        }
        return false;
    };
    std::vector<Recording> recs = slot(day, false);
    for (Recording &r : recs) {
        r.start = day;
        r.duration = 3600;  // until the write position is where it should be
    }
    if (!record_slot(recs, false, err, overran))
        return false;
    if (!overran()) {
        *err = "the recorder did not reach its oldest recordings";
        return false;
    }
    m_sum->wrapped = true;
    return true;
}

bool Recorder::run(std::string *err)
{
    if (!format(err))
        return false;
    wfs_writer_set_clock(sim_clock);
    wfs_set_pack_interval(m_o.pack_seconds);
    for (int c = 0; c < m_o.channels; ++c) {
        CameraConfig cfg;
        cfg.channel = c;
        cfg.width = m_o.width;
        cfg.height = m_o.height;
        cfg.fps = m_o.fps;
        cfg.bitrate_kbps = m_o.bitrate_kbps;
        cfg.audio = m_o.audio;
        cfg.grain = m_o.grain;
        cfg.seed = m_o.seed;
        cfg.codec = m_o.codec == "h265" ? "libx265" : "libx264";
        m_cams.emplace_back(new Camera);
        if (!m_cams.back()->open(cfg, err))
            return false;
    }

    // The day's recordings are spread over 08:00 to 20:00.
    const int span = 12 * 3600 / m_o.per_day;
    wfs_time day0 = wfs_time_pack(m_o.year, m_o.month, m_o.day, 8, 0, 0);
    std::vector<std::pair<wfs_time, bool>> slots;  // start, long
    for (int d = 0; d < m_o.days; ++d) {
        for (int k = 0; k < m_o.per_day; ++k)
            slots.push_back({wfs_time_add(day0, int64_t(d) * 86400 + int64_t(k) * span + rnd(0, 60)),
                             m_o.long_recordings && k == 1});
        if (d == 0 && m_o.collision) {
            // The recorder's clock is set back: these recordings are stamped
            // an hour before the day's first.
            slots.push_back({wfs_time_add(day0, -3600), false});
            m_sum->collision = true;
        }
    }
    for (size_t i = 0; i < slots.size(); ++i) {
        bool last = i + 1 == slots.size() && !m_o.wrap;
        if (!record_slot(slot(slots[i].first, slots[i].second), last, err))
            return false;
        ring_wrapped();
    }
    if (m_o.wrap) {
        // Go on recording, a day at a time, until the ring has wrapped and a
        // third of it holds the new pass.
        DriverParam *pdp = get_work_driver(DRIVER_TYPE_RECORD);
        const uint32_t ring = pdp ? pdp->total_cluster - pdp->rev_clus : 0;
        wfs_time day = wfs_time_add(day0, int64_t(m_o.days) * 86400);
        // Each slot takes at least one cluster per channel: the ring wraps
        // within a bounded number of slots.
        const uint64_t max_slots = uint64_t(ring) * 2 + 16;
        for (uint64_t guard = 0;; ++guard) {
            pdp = get_work_driver(DRIVER_TYPE_RECORD);
            if (ring_wrapped() && pdp->current_cluster - pdp->rev_clus >= ring / 3)
                break;
            if (guard >= max_slots) {
                *err = "the ring did not wrap";
                return false;
            }
            int k = int(guard % uint64_t(m_o.per_day));
            if (k == 0 && guard > 0)
                day = wfs_time_add(day, 86400);
            bool last = false;
            if (!record_slot(slot(wfs_time_add(day, int64_t(k) * span), false), last, err))
                return false;
        }
        if (m_o.unclosed) {
            std::vector<Recording> one = slot(wfs_time_add(day, 86400), false);
            one.resize(1);
            if (!record_slot(one, true, err))
                return false;
        }
    }
    const size_t before_overrun = m_done.size();
    if (m_o.overrun && !record_overrun(wfs_time_add(day0, int64_t(m_o.days) * 86400), err))
        return false;
    if (m_o.deleted && m_done.size() >= 2) {
        // The second recording of the first channel; with an overrun, which
        // takes the oldest, the second last before it.
        std::vector<file_info> order(m_done.begin(), m_done.begin() + long(before_overrun));
        if (m_o.overrun)
            std::reverse(order.begin(), order.end());
        int seen = 0;
        for (const file_info &fi : order) {
            if (fi.channel == 0 && ++seen == 2) {
                if (wfs_delete_appoint_file(&fi) == 0)
                    ++m_sum->deleted;
                break;
            }
        }
    }
    sync_all_buffers();
    return true;
}

}  // namespace

int make_disk(const Options &o, Summary *sum, std::string *err)
{
    wfs_log_set_route(o.verbose ? WFS_LOG_STDERR : WFS_LOG_SILENT);
    const uint64_t sectors = o.size_mib * 2048;
    BlockDevice *dev = nullptr;
    int rc = writable_image_create(o.out.c_str(), sectors, &dev);
    if (rc != 0) {
        *err = "cannot create " + o.out + ": " + std::strerror(rc);
        return 1;
    }
    write_mbr(dev, sectors);
    close_recorder_disks();
    if (attach_writable_image(dev, o.out.c_str(), kVolumeBase) != 0) {
        blockdev_close(dev);
        *err = "cannot attach " + o.out;
        return 1;
    }
    Recorder r(o, sum);
    bool ok = r.run(err);
    wfs_writer_set_clock(nullptr);
    sync_all_buffers();
    writable_image_sync(dev);
    close_recorder_disks();
    if (!ok) {
        // A half-made image must not be mistaken for a disk later (run.sh
        // makes the demo disk only when the file is missing).
        std::remove(o.out.c_str());
        return 1;
    }
    return 0;
}

}  // namespace mkdisk
