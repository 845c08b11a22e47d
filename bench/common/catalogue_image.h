// The recorder image of the catalogue benchmarks: one partition of 1,024,408
// clusters of 8 sectors with 16 channels recording side by side, 20,480
// recordings of 60 s over one day.
#pragma once

#include <cstdio>
#include <string>

#include "tests/support/image/image_builder.h"

namespace bench {

const int kCatalogueChannels = 16;
const int kCataloguePerChannel = 1280;

// Makes the image at `path` (replacing what is there).
inline bool make_catalogue_image(const std::string &path)
{
    testimg::DiskPlan disk;
    disk.partitions[0].sectors = 11000000;
    disk.partitions[0].sec_per_clus = 8;
    testimg::ImageBuilder b(disk);
    testimg::RecordingPlan r;
    r.duration = 60;
    r.synthetic.frame_rate = 1;
    r.synthetic.key_payload = 200;
    r.synthetic.audio_per_second = 0;
    for (int i = 0; i < kCataloguePerChannel; ++i) {
        int s = i * 65;  // 60 s recordings, 5 s apart, over one day
        for (int ch = 0; ch < kCatalogueChannels; ++ch) {
            r.channel = static_cast<uint8_t>(ch);
            r.start_time = testimg::pack_time(2024, 5, 1, s / 3600, s / 60 % 60, s % 60);
            b.add(r);
        }
    }
    testimg::Manifest m;
    std::string err;
    if (!b.build(path, &m, &err)) {
        std::fprintf(stderr, "cannot build %s: %s\n", path.c_str(), err.c_str());
        return false;
    }
    std::printf("built %s: %u clusters, %zu recordings\n", path.c_str(), m.partitions[0].layout.total_cluster,
                m.recordings.size());
    return true;
}

}  // namespace bench
