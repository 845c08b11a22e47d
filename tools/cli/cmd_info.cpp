// orvelle-cli info: what the volume layer reports for every recorder disk
// and mounted partition (type, work driver, time sections, the two time
// ranges, total and free space, bad status), and per disk the six totals of
// the disk-information view.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli_disks.h"
#include "wfs/device/source_info.h"
#include "wfs/file/wfs_time.h"
#include "wfs/volume/mount.h"

namespace {

struct PartInfo {
    int part;
    DriverInfo info;
};

struct DiskReport {
    int disk;
    int drive;
    std::string source;
    DiskSourceInfo origin;  // kind and image files
    uint64_t total, free, picture_total, picture_free, record_total, record_free;
    std::vector<PartInfo> parts;
};

std::string time_text(uint32_t t)
{
    char buf[32];
    return wfs_time_format(t, buf, sizeof buf);
}

std::string json_time(uint32_t t) { return t == 0 ? "null" : "\"" + time_text(t) + "\""; }

std::string plain_time(uint32_t t) { return t == 0 ? "-" : time_text(t); }

DiskReport collect(int disk)
{
    DiskReport r{};
    r.disk = disk;
    r.drive = recorder_disk_drive_no(disk);
    r.source = recorder_disk_source(disk);
    recorder_disk_source_info(disk, &r.origin);
    // The disk page's order: the partition table, then the sections of each
    // partition rebuilt before they are read.
    WfsPartition table[WFS_PARTS_PER_DISK];
    std::memset(table, 0, sizeof table);
    if (wfs_read_partitions(disk, table, WFS_PARTS_PER_DISK) == 0) {
        for (int part = 0; part < WFS_PARTS_PER_DISK; ++part) {
            DriverParam *pdp = table[part].total != 0 ? get_pdp(disk, part) : nullptr;
            if (pdp != nullptr)
                build_time_sections(pdp);
        }
    }
    for (int part = 0; part < WFS_PARTS_PER_DISK; ++part) {
        DriverInfo info;
        std::memset(&info, 0, sizeof info);
        if (wfs_get_driver_info(disk, part, &info) != 0)
            continue;
        r.total += info.total_space;
        r.free += info.free_space;
        if (info.driver_type == DRIVER_TYPE_PICTURE) {
            r.picture_total += info.total_space;
            r.picture_free += info.free_space;
        } else {
            r.record_total += info.total_space;
            r.record_free += info.free_space;
        }
        r.parts.push_back({part, info});
    }
    return r;
}

void print_json(const std::vector<DiskReport> &disks)
{
    std::string out = "{\"disks\":[";
    for (size_t i = 0; i < disks.size(); ++i) {
        const DiskReport &d = disks[i];
        // The source is a path of any length: it is not formatted into the
        // fixed buffer.
        out += std::string(i ? "," : "") + "{\"disk\":" + std::to_string(d.disk) +
               ",\"drive\":" + std::to_string(d.drive) + ",\"source\":" + cli::json_quote(d.source) +
               ",\"kind\":" + cli::json_quote(d.origin.kind) + ",\"kind_text\":" + cli::json_quote(d.origin.kind_text);
        char buf[512];
        std::snprintf(buf, sizeof buf,
                      ",\"total_mib\":%llu,\"free_mib\":%llu,"
                      "\"picture_total_mib\":%llu,\"picture_free_mib\":%llu,\"record_total_mib\":%llu,"
                      "\"record_free_mib\":%llu,\"partitions\":[",
                      static_cast<unsigned long long>(d.total), static_cast<unsigned long long>(d.free),
                      static_cast<unsigned long long>(d.picture_total),
                      static_cast<unsigned long long>(d.picture_free),
                      static_cast<unsigned long long>(d.record_total),
                      static_cast<unsigned long long>(d.record_free));
        out += buf;
        for (size_t k = 0; k < d.parts.size(); ++k) {
            const DriverInfo &n = d.parts[k].info;
            std::snprintf(buf, sizeof buf,
                          "%s{\"part\":%d,\"driver_type\":%u,\"work_driver\":%s,\"sections\":%u,\"start1\":%s,"
                          "\"end1\":%s,\"start2\":%s,\"end2\":%s,\"total_mib\":%u,\"free_mib\":%u,\"bad_status\":%u}",
                          k ? "," : "", d.parts[k].part, n.driver_type, n.is_work ? "true" : "false", n.section_count,
                          json_time(n.start_time1).c_str(), json_time(n.end_time1).c_str(),
                          json_time(n.start_time2).c_str(), json_time(n.end_time2).c_str(), n.total_space,
                          n.free_space, n.bad_status);
            out += buf;
        }
        out += "]}";
    }
    out += "]}\n";
    std::fputs(out.c_str(), stdout);
}

void print_text(const std::vector<DiskReport> &disks)
{
    for (const DiskReport &d : disks) {
        if (d.origin.kind == "block")
            std::printf("disk %d (drive %d, %s)\n", d.disk, d.drive, d.source.c_str());
        else
            std::printf("disk %d (drive %d, %s, %s)\n", d.disk, d.drive, d.source.c_str(), d.origin.kind_text.c_str());
        std::printf("  total %llu MiB, free %llu MiB; picture %llu MiB, free %llu MiB; record %llu MiB, free %llu MiB\n",
                    static_cast<unsigned long long>(d.total), static_cast<unsigned long long>(d.free),
                    static_cast<unsigned long long>(d.picture_total),
                    static_cast<unsigned long long>(d.picture_free),
                    static_cast<unsigned long long>(d.record_total),
                    static_cast<unsigned long long>(d.record_free));
        if (d.parts.empty())
            std::printf("  no mounted partition\n");
        for (const PartInfo &p : d.parts) {
            const DriverInfo &n = p.info;
            std::printf("  partition %d: type %u%s, %u sections, %s ~ %s, %s ~ %s, %u MiB, %u MiB free, bad %u\n",
                        p.part, n.driver_type, n.is_work ? " (work driver)" : "", n.section_count,
                        plain_time(n.start_time1).c_str(), plain_time(n.end_time1).c_str(),
                        plain_time(n.start_time2).c_str(), plain_time(n.end_time2).c_str(), n.total_space,
                        n.free_space, n.bad_status);
        }
    }
}

int run_info(const cli::GlobalOptions &opts, const std::vector<std::string> &args)
{
    bool json = false;
    for (const std::string &a : args) {
        if (a == "--json")
            json = true;
        else
            return cli::usage_error("info: unknown argument '" + a + "'");
    }
    cli::scan_disks(opts);
    std::vector<UnreadableDrive> unreadable = cli::report_unreadable_drives();

    int mounted = 0;
    wfs_file_sys_init(&mounted, 0);
    set_multi_standby(10);
    wake_work_drivers();

    std::vector<DiskReport> disks;
    for (int d = 0; d < wfs_disk_count(); ++d)
        disks.push_back(collect(d));
    if (json)
        print_json(disks);
    else
        print_text(disks);
    std::fflush(stdout);
    close_recorder_disks();
    return cli::scan_outcome(opts, unreadable, static_cast<int>(disks.size()));
}

}  // namespace

static cli::CliCommandRegistrar s_info({"info", "info [--json]",
                                        "per disk and partition: type, time ranges, total and free space",
                                        run_info});
