// Mounting images made by the test-image builder: register the files as the
// only drives, scan, and initialise the volume layer over them.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>
#include <string>
#include <vector>

#include "tests/support/image/image_builder.h"
#include "wfs/common/log.h"
#include "wfs/device/drives.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/volume/mount.h"

namespace imgmount {

// A file name of this process's own (test programs of several build trees
// may run at once).
inline std::vector<std::string> &temp_images()
{
    static std::vector<std::string> names;
    return names;
}

inline std::string temp_path(const std::string &name)
{
    std::string p = ::testing::TempDir() + "wfsmount_" + std::to_string(getpid()) + "_" + name + ".img";
    temp_images().push_back(p);
    return p;
}

// Deletes every image this process made.
inline void remove_temp_images()
{
    for (const std::string &p : temp_images())
        std::remove(p.c_str());
    temp_images().clear();
}

// Scans exactly these image files and initialises the library; returns
// what wfs_file_sys_init returned, with the mounted count in *count.
inline int mount_images(const std::vector<std::string> &paths, int *count = nullptr)
{
    close_recorder_disks();
    clear_registered_drives();
    set_images_only(true);
    for (const std::string &p : paths)
        register_image_file(p.c_str());
    scan_recorder_disks();
    int n = 0;
    int rc = wfs_file_sys_init(&n, 0);
    if (count)
        *count = n;
    return rc;
}

inline void unmount_all()
{
    close_recorder_disks();
    clear_registered_drives();
}

// Removes this process's images when the test program ends.
class TempImageCleanup : public ::testing::Environment {
public:
    void TearDown() override
    {
        unmount_all();
        remove_temp_images();
    }
};

inline ::testing::Environment *const g_temp_image_cleanup =
    ::testing::AddGlobalTestEnvironment(new TempImageCleanup);

// A recording of `seconds` on a channel, starting at the given time.
inline testimg::RecordingPlan rec(uint8_t channel, uint32_t start, uint32_t seconds, int partition = 0)
{
    testimg::RecordingPlan r;
    r.channel = channel;
    r.start_time = start;
    r.duration = seconds;
    r.partition = partition;
    return r;
}

// Builds an image or fails the test.
inline testimg::Manifest build(testimg::ImageBuilder &b, const std::string &path)
{
    testimg::Manifest m;
    std::string err;
    EXPECT_TRUE(b.build(path, &m, &err)) << err;
    return m;
}

}  // namespace imgmount
