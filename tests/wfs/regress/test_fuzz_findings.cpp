// Disks the fuzz targets found trouble with, rebuilt from the kept inputs
// (fuzz/findings/) over the same test image, and listed by the tool.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/image/image_builder.h"

using testimg::pack_time;

namespace {

std::vector<uint8_t> read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

testimg::RecordingPlan rec(uint8_t channel, uint32_t start, uint32_t seconds)
{
    testimg::RecordingPlan r;
    r.channel = channel;
    r.start_time = start;
    r.duration = seconds;
    return r;
}

// A read/seek input: selector, recording choice, 40 bytes of operations,
// then the structure sectors of the first base in order: MBR, head, key
// parameters (volume sector 10), partition table (20), parameter block (24), ...
// Only those three carry the damage here.
TEST(FuzzFindings, DamagedParameterSectorsListInAMomentAndSayWhatTheyFind)
{
    const std::string cli = std::string(ORVELLE_BINARY_DIR) + "/orvelle-cli";
    if (access(cli.c_str(), X_OK) != 0)
        GTEST_SKIP() << "orvelle-cli is not built";
    const std::vector<uint8_t> input =
        read_file(std::string(ORVELLE_SOURCE_DIR) + "/fuzz/findings/fuzz_read_seek/listing-blank-clusters-same-second");
    ASSERT_GT(input.size(), 42u + 4 * 512);
    const uint8_t *overlay = input.data() + 42;
    const size_t overlay_size = input.size() - 42;

    // The fuzz targets' first base.
    testimg::DiskPlan d;
    d.partitions[0].sec_per_clus = 8;
    testimg::ImageBuilder b(d);
    b.add(rec(0, pack_time(2024, 5, 1, 10, 0, 0), 6));
    b.add(rec(1, pack_time(2024, 5, 1, 10, 0, 0), 6));
    b.add(rec(0, pack_time(2024, 5, 2, 23, 59, 57), 6));
    const uint64_t volume_sector[] = {10, 20, 24};
    for (int i = 0; i < 3; ++i) {
        const size_t at = (2 + i) * 512;
        const size_t n = std::min<size_t>(512, overlay_size - at);
        b.patch(volume_sector[i], 0, std::vector<uint8_t>(overlay + at, overlay + at + n));
    }
    const std::string image = ::testing::TempDir() + "finding_" + std::to_string(getpid()) + ".img";
    testimg::Manifest m;
    std::string err;
    ASSERT_TRUE(b.build(image, &m, &err)) << err;

    const auto t0 = std::chrono::steady_clock::now();
    const std::string cmd = "timeout 120 '" + cli + "' --image '" + image + "' list >/dev/null 2>&1";
    const int st = std::system(cmd.c_str());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::remove(image.c_str());
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_NE(WEXITSTATUS(st), 124) << "the listing did not end";
    EXPECT_LE(WEXITSTATUS(st), 1);
    // It took seconds of walking before; now a fraction of one.
    EXPECT_LT(seconds, 3.0) << "listing a three-recording disk";
}

}  // namespace
