#include "fuzz/support/fuzz_disk.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include "app/records/catalogue/RecordCatalogue.h"
#include "tests/support/image/image_builder.h"
#include "wfs/common/log.h"
#include "wfs/device/drives.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/volume/mount.h"

namespace fuzzdisk {
namespace {

bool all_zero(const uint8_t *p, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (p[i] != 0)
            return false;
    return true;
}

// First drive sector that starts "WFS": the volume's base.
uint64_t volume_base(const BaseImage &b)
{
    for (const auto &s : b.sectors)
        if (std::memcmp(s.second.data(), "WFS", 3) == 0)
            return s.first;
    return 0;
}

// Mounts the clean base and collects, in a fixed order, the stored sectors
// that hold structures: MBR, volume head and partition table, then per
// partition its parameter sectors and the directory, index and extended
// directory sectors of the clusters in use.
void find_structure(BaseImage *b)
{
    std::vector<uint64_t> order;
    std::set<uint64_t> seen;
    auto add = [&](uint64_t s) {
        if (b->sectors.count(s) && seen.insert(s).second)
            order.push_back(s);
    };
    const uint64_t base = volume_base(*b);
    add(0);
    for (uint64_t s = 0; s < 32; ++s)
        add(base + s);

    if (mount_only(make_drive(*b, nullptr, 0)) > 0) {
        for (int part = 0; part < 4; ++part) {
            DriverParam *pdp = get_pdp(0, part);
            if (!pdp || !driver_slot_used(pdp))
                continue;
            const uint64_t start = base + pdp->start_sector;
            const uint64_t kp = pdp->temp_off >= 24 ? pdp->temp_off - 24 : 0;
            for (uint64_t s = 0; s < 32; ++s)
                add(start + kp + s);
            uint32_t hi = std::max(pdp->current_cluster, pdp->end_cluster2);
            hi = std::min(hi + 1, pdp->total_cluster);
            const uint32_t lo = std::min(pdp->rev_clus, hi);
            for (uint32_t c = lo; c < hi; c += 16)
                add(start + pdp->dir_offset + c / 16);
            for (uint32_t c = lo; c < hi; c += 512)
                add(start + pdp->index_offset + c / 512);
            if (pdp->ext_dir_offset)
                for (uint32_t c = lo; c < hi; c += 16)
                    add(start + pdp->ext_dir_offset + c / 16);
        }
    }
    unmount_all();
    if (order.size() > kMaxStructureSectors)
        order.resize(kMaxStructureSectors);
    b->structure = order;
}

bool build_base(const std::string &name, testimg::ImageBuilder &builder, std::vector<BaseImage> *out)
{
    char path[128];
    std::snprintf(path, sizeof path, "/tmp/orvelle_fuzz_%d_%s.img", static_cast<int>(getpid()), name.c_str());
    testimg::Manifest m;
    std::string err;
    bool ok = builder.build(path, &m, &err);
    BaseImage b;
    if (ok)
        ok = load_image_file(path, &b);
    std::remove(path);
    if (!ok) {
        std::fprintf(stderr, "fuzz: cannot build base %s: %s\n", name.c_str(), err.c_str());
        return false;
    }
    b.name = name;
    out->push_back(std::move(b));
    return true;
}

testimg::RecordingPlan rec(uint8_t channel, uint32_t start, uint32_t seconds)
{
    testimg::RecordingPlan r;
    r.channel = channel;
    r.start_time = start;
    r.duration = seconds;
    return r;
}

std::vector<BaseImage> make_bases()
{
    std::vector<BaseImage> out;
    using testimg::pack_time;
    {
        // MBR, one partition, two channels interleaved, a second day.
        testimg::DiskPlan d;
        d.partitions[0].sec_per_clus = 8;
        testimg::ImageBuilder b(d);
        b.add(rec(0, pack_time(2024, 5, 1, 10, 0, 0), 6));
        b.add(rec(1, pack_time(2024, 5, 1, 10, 0, 0), 6));
        b.add(rec(0, pack_time(2024, 5, 2, 23, 59, 57), 6));
        build_base("mbr", b, &out);
    }
    {
        // Bare older volume, two partitions, the second for pictures.
        testimg::DiskPlan d;
        d.mbr = false;
        d.magic = "WFS0.3";
        d.head_qj = false;
        d.partitions.resize(2);
        d.partitions[0].sec_per_clus = 8;
        d.partitions[1].sec_per_clus = 8;
        d.partitions[1].driver_type = testimg::kDriverPicture;
        testimg::ImageBuilder b(d);
        b.add(rec(2, pack_time(2023, 1, 1, 8, 0, 0), 5));
        testimg::RecordingPlan p = rec(2, pack_time(2023, 1, 1, 8, 0, 1), 1);
        p.partition = 1;
        p.picture = true;
        b.add(p);
        build_base("wfs03", b, &out);
    }
    {
        // A short ring that has wrapped, and a clock set back.
        testimg::DiskPlan d;
        d.partitions[0].sec_per_clus = 8;
        d.partitions[0].rev_clus = 100;
        d.partitions[0].total_cluster = 220;
        testimg::ImageBuilder b(d);
        b.add(rec(0, pack_time(2024, 6, 1, 12, 0, 0), 8));
        b.new_write_phase();
        b.add(rec(0, pack_time(2024, 6, 1, 11, 0, 0), 8));
        build_base("collision", b, &out);
    }
    if (const char *env = std::getenv("ORVELLE_FUZZ_IMAGES")) {
        std::string list = env;
        size_t pos = 0;
        while (pos <= list.size()) {
            size_t end = list.find(':', pos);
            if (end == std::string::npos)
                end = list.size();
            std::string path = list.substr(pos, end - pos);
            BaseImage b;
            if (!path.empty() && load_image_file(path, &b)) {
                b.name = path;
                out.push_back(std::move(b));
            } else if (!path.empty()) {
                std::fprintf(stderr, "fuzz: cannot read %s\n", path.c_str());
            }
            pos = end + 1;
        }
    }
    for (BaseImage &b : out)
        find_structure(&b);
    return out;
}

}  // namespace

bool load_image_file(const std::string &path, BaseImage *out)
{
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return false;
    off_t size = lseek(fd, 0, SEEK_END);
    out->capacity = static_cast<uint64_t>(size) / 512;
    out->sectors.clear();
    off_t pos = 0;
    std::array<uint8_t, 512> sec;
    while (pos < size) {
        off_t data = lseek(fd, pos, SEEK_DATA);
        if (data < 0)
            break;
        off_t hole = lseek(fd, data, SEEK_HOLE);
        if (hole < 0)
            hole = size;
        for (off_t at = data / 512 * 512; at < hole; at += 512) {
            ssize_t got = pread(fd, sec.data(), 512, at);
            if (got != 512)
                break;
            if (!all_zero(sec.data(), 512))
                out->sectors[static_cast<uint64_t>(at) / 512] = sec;
        }
        pos = hole;
    }
    close(fd);
    return out->capacity > 0;
}

const std::vector<BaseImage> &bases()
{
    static const std::vector<BaseImage> all = make_bases();
    return all;
}

namespace {

// A read-only drive over a base image with some sectors replaced; the base
// is shared, not copied, so a run costs only the replaced sectors.
struct OverlayDrive {
    const BaseImage *base;
    std::map<uint64_t, std::array<uint8_t, 512>> changed;
};

int overlay_read(BlockDevice *dev, uint64_t sector, uint32_t count, void *buf)
{
    const OverlayDrive *d = static_cast<const OverlayDrive *>(dev->priv);
    if (sector > d->base->capacity || count > d->base->capacity - sector)
        return -1;
    uint8_t *out = static_cast<uint8_t *>(buf);
    for (uint32_t i = 0; i < count; ++i, out += 512) {
        auto c = d->changed.find(sector + i);
        if (c != d->changed.end()) {
            std::memcpy(out, c->second.data(), 512);
            continue;
        }
        auto b = d->base->sectors.find(sector + i);
        if (b != d->base->sectors.end())
            std::memcpy(out, b->second.data(), 512);
        else
            std::memset(out, 0, 512);
    }
    return 0;
}

uint64_t overlay_capacity(BlockDevice *dev) { return static_cast<OverlayDrive *>(dev->priv)->base->capacity; }

void overlay_close(BlockDevice *dev)
{
    delete static_cast<OverlayDrive *>(dev->priv);
    delete dev;
}

const BlockDeviceOps kOverlayOps = {"fuzz-overlay", overlay_read, nullptr, overlay_capacity, overlay_close, nullptr};

}  // namespace

BlockDevice *make_drive(const BaseImage &base, const uint8_t *overlay, size_t size)
{
    OverlayDrive *d = new OverlayDrive{&base, {}};
    for (size_t i = 0; i < base.structure.size() && size > 0; ++i) {
        size_t n = std::min<size_t>(size, 512);
        const uint64_t at = base.structure[i];
        std::array<uint8_t, 512> sec = base.sectors.at(at);
        std::memcpy(sec.data(), overlay, n);
        d->changed[at] = sec;
        overlay += n;
        size -= n;
    }
    BlockDevice *dev = new BlockDevice;
    dev->ops = &kOverlayOps;
    dev->priv = d;
    return dev;
}

bool pick_recording(const uint8_t *data, size_t size, size_t header, uint8_t pick, CatalogueEntry *out)
{
    const std::vector<BaseImage> &all = bases();
    if (size < 1 + header || all.empty())
        return false;
    attach_only(make_drive(all[data[0] % all.size()], data + 1 + header, size - 1 - header));
    CRecordCatalogue catalogue;
    const int disks = catalogue.InitialiseDisks();
    if (disks <= 0)
        return false;
    catalogue.LoadDataFromDisk(disks);
    const std::vector<CatalogueEntry> &entries = catalogue.Entries();
    if (entries.empty())
        return false;
    *out = entries[pick % entries.size()];
    return true;
}

void attach_only(BlockDevice *dev)
{
    unmount_all();
    set_images_only(true);
    if (dev)
        register_drive_device(dev, "fuzz");
}

int mount_only(BlockDevice *dev)
{
    attach_only(dev);
    if (!dev)
        return 0;
    scan_recorder_disks();
    int count = 0;
    wfs_file_sys_init(&count, 0);
    return wfs_disk_count();
}

void unmount_all()
{
    close_recorder_disks();
    clear_registered_drives();
}

std::vector<uint8_t> seed_for(size_t base_index, const std::vector<uint8_t> &header)
{
    const BaseImage &b = bases()[base_index];
    std::vector<uint8_t> seed;
    seed.push_back(static_cast<uint8_t>(base_index));
    seed.insert(seed.end(), header.begin(), header.end());
    for (uint64_t s : b.structure) {
        const auto &bytes = b.sectors.at(s);
        seed.insert(seed.end(), bytes.begin(), bytes.end());
    }
    return seed;
}

bool write_seeds_if_asked(const std::vector<uint8_t> &header)
{
    const char *dir = std::getenv("ORVELLE_FUZZ_SEED_DIR");
    if (!dir)
        return false;
    for (size_t i = 0; i < bases().size(); ++i) {
        std::vector<uint8_t> seed = seed_for(i, header);
        std::string path = std::string(dir) + "/seed_" + std::to_string(i);
        FILE *f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(seed.data(), 1, seed.size(), f) != seed.size()) {
            std::fprintf(stderr, "fuzz: cannot write %s\n", path.c_str());
            if (f)
                std::fclose(f);
            return true;
        }
        std::fclose(f);
        std::fprintf(stderr, "fuzz: %s: base %s, %zu structure sectors\n", path.c_str(),
                     bases()[i].name.c_str(), bases()[i].structure.size());
    }
    return true;
}

}  // namespace fuzzdisk
