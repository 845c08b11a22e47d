// The recorder image shared by the large-recording benchmarks (reading through
// CFSFile, exporting): one recording of about 1.1 GiB in 2 MiB clusters.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "app/records/catalogue/RecordCatalogue.h"
#include "tests/support/image/image_builder.h"

namespace bench {

// A byte range of the recording's data in the image file.
struct Range {
    uint64_t offset;
    uint64_t length;
};

struct BigRecordingImage {
    std::string path;           // the recording's "/mnt/ide..." path
    std::vector<Range> ranges;  // its data, in order, in the image file
};

inline double seconds_since(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Makes `image` when it does not exist (building the same plan again is
// deterministic, so an existing image is reused and only its manifest is
// rebuilt), lists it with the catalogue and returns the recording's path and
// byte ranges.
inline bool prepare_big_recording_image(const std::string &image, BigRecordingImage *out, std::string *err)
{
    testimg::RecordingPlan rec;
    rec.start_time = testimg::pack_time(2024, 5, 1, 10, 0, 0);
    rec.duration = 400;
    rec.synthetic.frame_rate = 25;
    rec.synthetic.key_payload = 400000;
    rec.synthetic.frame_payload = 110000;
    rec.synthetic.audio_per_second = 8;
    testimg::DiskPlan disk;
    disk.partitions[0].sectors = 5000000;
    disk.partitions[0].sec_per_clus = 4096;

    testimg::Manifest m;
    struct stat st;
    bool fresh = stat(image.c_str(), &st) != 0;
    {
        testimg::ImageBuilder b(disk);
        b.add(rec);
        std::string target = fresh ? image : image + ".manifest-only";
        if (!b.build(target, &m, err)) {
            *err = "cannot build the image: " + *err;
            return false;
        }
        if (!fresh)
            unlink(target.c_str());
    }
    const testimg::ManifestRecording &r = m.recordings.at(0);
    const testimg::ManifestPartition &p = m.partitions.at(0);
    out->ranges.clear();
    uint64_t left = r.length_sectors * 512 - r.header_bytes;
    for (size_t i = 0; i < r.clusters.size() && left > 0; ++i) {
        uint64_t sector = m.base_lba + p.start + p.layout.data_offset + uint64_t(r.clusters[i]) * p.sec_per_clus;
        uint64_t len = std::min<uint64_t>(left, uint64_t(p.sec_per_clus) * 512);
        out->ranges.push_back({sector * 512, len});
        left -= len;
    }

    CRecordCatalogue::UseImages({image});
    CRecordCatalogue cat;
    if (cat.InitialiseDisks() != 1 || !cat.LoadDataFromDisk(1) || cat.Size() != 1) {
        *err = image + ": the recording is not listed";
        return false;
    }
    out->path = cat.Entries().at(0).path;
    return true;
}

}  // namespace bench
