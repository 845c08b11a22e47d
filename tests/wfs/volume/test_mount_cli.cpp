// orvelle-cli info --json on built images: the figures the disk-information
// view shows, checked against the image builder's manifest.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/wfs/volume/image_mount.h"

using testimg::pack_time;

namespace {

std::string cli_path()
{
    const char *bin = std::getenv("ORVELLE_BINARY_DIR");
    return std::string(bin ? bin : ORVELLE_BINARY_DIR) + "/orvelle-cli";
}

// Runs the command; returns its standard output and puts the exit status
// into *status.
std::string run(const std::string &args, int *status)
{
    std::string cmd = cli_path() + " " + args + " 2>/dev/null";
    FILE *p = popen(cmd.c_str(), "r");
    if (p == nullptr) {
        *status = -1;
        return "";
    }
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    int rc = pclose(p);
    *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

std::string t(uint32_t packed)
{
    if (packed == 0)
        return "null";
    testimg::CivilTime c = testimg::unpack_time(packed);
    char buf[64];
    std::snprintf(buf, sizeof buf, "\"%04d-%02d-%02d %02d:%02d:%02d\"", c.year, c.month, c.day, c.hour, c.minute,
                  c.second);
    return buf;
}

std::string partition_json(int part, int type, bool work, int sections, uint32_t s1, uint32_t e1, uint32_t s2,
                           uint32_t e2, uint32_t total, uint32_t free)
{
    return "{\"part\":" + std::to_string(part) + ",\"driver_type\":" + std::to_string(type) +
           ",\"work_driver\":" + (work ? "true" : "false") + ",\"sections\":" + std::to_string(sections) +
           ",\"start1\":" + t(s1) + ",\"end1\":" + t(e1) + ",\"start2\":" + t(s2) + ",\"end2\":" + t(e2) +
           ",\"total_mib\":" + std::to_string(total) + ",\"free_mib\":" + std::to_string(free) +
           ",\"bad_status\":0}";
}

TEST(InfoCommand, ReportsPartitionsAndDiskTotals)
{
    testimg::DiskPlan disk;
    testimg::PartitionPlan pic;
    pic.driver_type = testimg::kDriverPicture;
    disk.partitions.push_back(pic);
    testimg::ImageBuilder b{disk};
    b.add(imgmount::rec(0, pack_time(2024, 5, 1, 10, 0, 0), 60, 0));
    b.add(imgmount::rec(1, pack_time(2024, 5, 1, 10, 30, 0), 90, 0));
    const std::string path = imgmount::temp_path("cli_info");
    testimg::Manifest m = imgmount::build(b, path);
    const testimg::ManifestPartition &p0 = m.partitions[0], &p1 = m.partitions[1];
    const uint32_t last_end = m.recordings[1].end_time;

    int status = 0;
    std::string out = run("--image " + path + " info --json", &status);
    EXPECT_EQ(status, 0);
    std::string want = "{\"disks\":[{\"disk\":0,\"drive\":0,\"source\":\"" + path + "\",\"kind\":\"raw\",\"kind_text\":\"raw\",\"total_mib\":" +
                       std::to_string(p0.total_mib + p1.total_mib) +
                       ",\"free_mib\":" + std::to_string(p0.free_mib + p1.free_mib) +
                       ",\"picture_total_mib\":" + std::to_string(p1.total_mib) +
                       ",\"picture_free_mib\":" + std::to_string(p1.free_mib) +
                       ",\"record_total_mib\":" + std::to_string(p0.total_mib) +
                       ",\"record_free_mib\":" + std::to_string(p0.free_mib) + ",\"partitions\":[" +
                       partition_json(0, 0, true, 2, p0.start_time1, p0.end_time1, 0, last_end, p0.total_mib,
                                      p0.free_mib) +
                       "," + partition_json(1, 4, true, 2, 0, 0, 0, 0, p1.total_mib, p1.free_mib) + "]}]}\n";
    EXPECT_EQ(out, want);

    // The plain form names the same figures.
    out = run("--image " + path + " info", &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("partition 1: type 4 (work driver)"), std::string::npos) << out;
    EXPECT_NE(out.find("disk 0 (drive 0, " + path + ", raw)"), std::string::npos) << out;
    EXPECT_NE(out.find("record " + std::to_string(p0.total_mib) + " MiB"), std::string::npos) << out;
}

TEST(InfoCommand, FailsWithoutARecorderDisk)
{
    const std::string path = imgmount::temp_path("cli_not_a_disk");
    FILE *f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::string zeros(64 * 1024, '\0');
    std::fwrite(zeros.data(), 1, zeros.size(), f);
    std::fclose(f);
    int status = 0;
    std::string out = run("--image " + path + " info --json", &status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(out, "{\"disks\":[]}\n");
    run("--image " + path + " info --bogus", &status);
    EXPECT_EQ(status, 2);
}

}  // namespace
