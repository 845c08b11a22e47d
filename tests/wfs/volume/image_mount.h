// Mounting images made by the test-image builder: register the files as the
// only drives, scan, and initialise the volume layer over them.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/image/image_builder.h"
#include "wfs/common/log.h"
#include "wfs/device/drives.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/volume/mount.h"

namespace imgmount {

inline std::string temp_path(const std::string &name)
{
    return ::testing::TempDir() + "wfsmount_" + name + ".img";
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

// A recording of `seconds` on a channel, starting at the given time.
inline testimg::RecordingSpec rec(uint8_t channel, uint32_t start, uint32_t seconds, int partition = 0)
{
    testimg::RecordingSpec r;
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
