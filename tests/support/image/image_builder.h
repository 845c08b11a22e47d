// Test images of recorder disks, written the way a recorder leaves its disk,
// with a manifest of what a correct reader must find in them.
//
//   testimg::DiskPlan disk;                       // one partition, MBR at base 2048
//   testimg::ImageBuilder b(disk);
//   testimg::RecordingPlan r;
//   r.channel = 0; r.start_time = testimg::pack_time(2024, 5, 1, 10, 0, 0); r.duration = 60;
//   b.add(r);
//   r.channel = 1; b.add(r);                      // recorded at the same time: clusters interleave
//   testimg::Manifest m;
//   std::string err;
//   ASSERT_TRUE(b.build(path, &m, &err)) << err;
//   // m.recordings[i].clusters, .start_time, .expected_bytes(), m.partitions[0].current_cluster ...
//
// The builder encodes every on-disk structure itself; it shares no code with
// the reader it is meant to check. Images are sparse: only the sectors a
// recorder would have written are written, and recording data is produced
// cluster by cluster as the simulated recorder takes clusters, so large
// images need little memory.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/image/dir_records.h"
#include "tests/support/image/frame_stream.h"
#include "tests/support/image/packed_time.h"
#include "tests/support/image/recording_content.h"
#include "tests/support/image/volume_layout.h"

namespace testimg {

// driver_type values.
constexpr uint32_t kDriverRecording = 0;
constexpr uint32_t kDriverReadOnly = 1;
constexpr uint32_t kDriverPicture = 4;

struct PartitionPlan {
    uint64_t sectors = 1600000;     // partition size; with the defaults partition 0 has 32,160
                                    // clusters of 8 sectors, 8,000 of them reserved (~94 MiB for
                                    // recordings); later partitions (no face library) 85,664
    uint64_t start = 0;             // 0: right after the previous partition (partition 0 starts at 0)
    uint32_t sec_per_clus = 8;      // a power of two; recorders use 4096, small values keep images small
    uint32_t driver_type = kDriverRecording;
    uint8_t generation = 0;
    KeyParamConfig key;             // configuration words of the key-parameter block
    uint32_t key_param_offset = 0;  // offset of the parameter sectors (volume head word)
    bool ext_dir = true;            // false: no extended directory area (ext_dir_offset 0)
    bool format_areas = true;       // write the freshly formatted state of never-used records
    uint32_t bad_status = 0;        // 15 = marked bad
    uint32_t protected_flag = 0;
    int status = -1;                // -1: 170 (clean) unless a recording was cut off, then 0
    uint32_t stale_clusters = 0;    // the saved current_cluster lags the write position by this many
    uint32_t total_cluster = 0;     // 0 = computed from the layout; else an override (<= computed)
    uint32_t rev_clus = 0;          // 0 = computed; else an override
    uint8_t first_repeat_no = 0;    // the writer's recording counter before the first recording
    std::vector<uint32_t> bad_clusters;  // index flag 3 from the format on; the writer jumps over them
};

struct DiskPlan {
    uint32_t disk_no = 0;           // disk number the manifest reports (order of discovery)
    bool mbr = true;                // false: bare WFS volume at sector 0 (base 0)
    uint32_t base_lba = 2048;       // first sector of the WFS volume behind the MBR
    std::string magic = "WFS0.4";   // "WFS0.3" for an older head
    bool head_qj = true;            // "Q" "J" at bytes 510/511 of the head
    std::vector<PartitionPlan> partitions{PartitionPlan{}};  // 1 to 4
    uint64_t trailing_sectors = 0;  // unused sectors after the last partition
};

struct RecordingPlan {
    int partition = 0;
    uint8_t channel = 0;            // 0-based, 0..63
    uint8_t alarm = 0;              // type code 0..15 (letters R A M C H I S F N K G U P T B V)
    uint8_t stream_type = 0;
    bool picture = false;           // picture recording (AV 0, "jpg")
    uint8_t av = 2;                 // AV bits of a video recording (nonzero)
    uint8_t sub_type = 0;           // byte 28 bits 0-2
    uint8_t sub_type2 = 0;          // byte 28 bits 3-4
    uint8_t high_bits = 0;          // byte 28 bits 5-7 (bit 5 is keep_flag)
    uint8_t ext_attr1 = 63;         // extended directory record
    uint8_t ext_attr2 = 0;
    uint32_t ext_mask = 0;
    uint32_t start_time = pack_time(2024, 5, 1, 10, 0, 0);
    uint32_t duration = 60;         // seconds; the recording ends at start + duration
    DataKind data = DataKind::Synthetic;
    SyntheticStream synthetic;      // for DataKind::Synthetic
    std::shared_ptr<const std::vector<uint8_t>> bytes;  // for DataKind::Bytes
    uint64_t unwritten_bytes = 0;   // for DataKind::Unwritten
    HeaderKind header = HeaderKind::None;
    uint32_t header_bytes = 0;      // multiple of 512, for HeaderKind::Reserved and Dhii
    bool special_mode = false;      // first cluster dir_flag 3 / index flag 1
    bool keep = false;              // kept recording: keep_flag in every record, index flag 3;
                                    // a writer coming round again passes over its clusters
    std::string card_number;        // up to 20 digits: a user-data item is attached (first
    uint8_t card_kind = 0;          //   cluster's up_cluster_no = its item number)
    bool deleted = false;           // alarm of the first cluster set to 32 afterwards
    bool cut_off = false;           // never closed: the disk was pulled while it was written
    bool cut_off_keeps_length = true;  // the open cluster's record carries the sectors written so far
};

struct ManifestRecording {
    int id = 0;                     // order of add()
    uint32_t disk = 0;
    uint32_t partition = 0;
    uint8_t channel = 0;
    uint8_t alarm = 0;              // as given (the disk holds 32 when deleted)
    uint8_t stream_type = 0;
    uint8_t av = 0;                 // 0 picture
    uint8_t repeat_no = 0;
    uint8_t sub_type = 0, sub_type2 = 0, high_bits = 0;
    uint8_t ext_attr1 = 63, ext_attr2 = 0;
    uint32_t ext_mask = 0;
    uint32_t start_time = 0;        // packed
    uint32_t end_time = 0;          // packed; for a cut-off recording what the mount's repair finds
                                    // in its open cluster (no repair: the first record's totals)
    uint32_t first_cluster = 0;
    std::vector<uint32_t> clusters; // the chain, first cluster first
    uint32_t item_num = 0;          // clusters - 1
    uint32_t end_length = 0;        // sectors in the last cluster
    uint64_t length_sectors = 0;    // item_num * sec_per_clus + end_length (after repair when cut off)
    uint64_t readable_sectors = 0;  // sectors before the ring's end: what an index scan alone reaches
                                    // (it never crosses the ring's end); length_sectors otherwise
    uint32_t file_len_kb = 0;       // length_sectors / 2
    uint32_t head_sectors = 0;      // what the directory records carry
    uint32_t header_bytes = 0;      // bytes a reader skips before the stream (Reserved or "DHII")
    uint64_t data_bytes = 0;        // header + stream, before sector padding
    bool deleted = false;
    bool overwritten = false;       // a later recording took its first cluster: gone from the list
    bool damaged = false;           // a later recording took one of its other clusters (only a
                                    // recording across the ring's end): still listed, reads short
    bool outside_ring = false;      // intact on disk but behind the ring (old pass no longer kept)
    bool old_pass = false;          // lies in the part of the previous pass that is still kept
    bool spans_wrap = false;        // the writer wrapped to the start of the ring inside it
    bool cut_off = false;
    bool kept = false;
    bool passed_over = false;       // kept, and the writer has since passed over its first cluster
    uint32_t ud_item = 0;           // user-data item number (0 = none)
    std::vector<uint8_t> ud_bytes;  // the item's first 12 bytes (card number, kind, generation)
    bool listed = false;            // a correct recording list returns it
    ContentPlan content;            // regenerates the data

    // length_sectors * 512 bytes: header, stream, zero padding. For a
    // cut-off recording whose length stops short, only that prefix.
    std::vector<uint8_t> expected_bytes() const;
    // The stream only (what a reader returns after the header).
    std::vector<uint8_t> expected_stream() const;
    // Frames of a generated video stream (offsets from the stream start).
    std::vector<FrameInfo> frames() const { return RecordingContent::list_frames(content); }
};

// A recording the recorder's listing no longer shows although its data is
// still on the disk: a deleted recording whose first cluster is still its
// own, or a fragment, one run of consecutive clusters (in chain order) of a
// recording whose first cluster a later recording took, that are still its
// own.
struct ManifestRecovered {
    int recording = 0;              // id of the recording it is part of
    uint32_t disk = 0;
    uint32_t partition = 0;
    bool deleted = false;           // else a fragment
    bool damaged = false;           // deleted, but a later recording took one of its other clusters
    uint8_t channel = 0;
    uint8_t alarm = 0;              // type code its records carry (32 for a deleted recording)
    uint8_t stream_type = 0;
    uint8_t av = 0;
    uint32_t first_cluster = 0;     // identity: first cluster, or first surviving cluster
    uint32_t lost_first_cluster = 0;  // fragment: the first cluster its records still name
    std::vector<uint32_t> clusters; // in chain order
    uint32_t first_index = 0;       // chain position of its first cluster in the recording
    uint32_t start_time = 0;        // packed: the first cluster's start (fragment: that cluster's own)
    uint32_t end_time = 0;          // packed: the recording's end (fragment: its last cluster's end)
    uint64_t length_sectors = 0;    // deleted: as the recording; fragment: its clusters, the last
                                    // up to the sectors written into it
    uint32_t header_bytes = 0;      // stream header of the recording, counted from its first cluster
                                    // (fragment: only a reserved one, which its records name)
    uint32_t sec_per_clus = 0;
    ContentPlan content;            // the whole recording's data

    // What a reader returns: the item's bytes from the start of its first
    // cluster, without the part of the header that lies in them.
    std::vector<uint8_t> expected_bytes() const;
};

struct ManifestPartition {
    uint32_t part = 0;
    uint64_t start = 0;             // volume sector
    uint64_t sectors = 0;
    uint32_t sec_per_clus = 0;
    uint32_t driver_type = 0;
    uint8_t generation = 0;
    AreaLayout layout;              // dir/index/... offsets, data_offset, total_cluster, rev_clus
    bool ext_dir = true;
    uint32_t key_param_offset = 0;
    uint32_t status = kStatusClean;
    uint32_t bad_status = 0;
    // as stored in the parameter block
    uint32_t start_time1 = 0, end_time1 = 0;
    uint32_t current_cluster = 0;
    uint32_t start_cluster2 = 0, end_cluster2 = 0;
    uint32_t start_time2 = 0, end_time2 = 0;
    uint32_t write_position = 0;    // the last cluster actually taken (= current_cluster unless stale)
    std::vector<uint32_t> collisions;  // collision clusters, ascending
    // the mount's figures
    uint32_t total_mib = 0;         // (total_cluster * sec_per_clus + data_offset) / 2048
    uint32_t free_mib = 0;          // 0 once wrapped; below 16 MiB reported as 0
    uint64_t space_total_bytes = 0; // total_cluster * sec_per_clus * 512
    uint64_t space_free_bytes = 0;  // (total_cluster - current_cluster) * sec_per_clus * 512
    std::vector<uint32_t> days;     // packed dates (time 00:00:00) with a listed recording, ascending
    // Dates of every recording start the index still shows in the ring
    // (rev_clus .. current_cluster and start_cluster2 .. end_cluster2, deleted
    // and too short ones included): what a calendar built from the index marks.
    std::vector<uint32_t> calendar_days;
    uint32_t ud_first_item = 1, ud_last_item = 1;

    // Volume sectors of the per-cluster records (add Manifest::base_lba for
    // the image file) and the byte offset inside that sector.
    uint64_t dir_sector(uint32_t cluster) const { return start + layout.dir_offset + cluster / 16; }
    uint64_t backdir_sector(uint32_t cluster) const { return start + layout.backdir_offset + cluster / 16; }
    uint64_t ext_dir_sector(uint32_t cluster) const { return start + layout.ext_dir_offset + cluster / 16; }
    static uint32_t dir_byte(uint32_t cluster) { return cluster % 16 * 32; }
    uint64_t index_sector(uint32_t cluster) const { return start + layout.index_offset + cluster / 512; }
    static uint32_t index_byte_offset(uint32_t cluster) { return cluster % 512; }
    uint64_t cluster_sector(uint32_t cluster) const {
        return start + layout.data_offset + static_cast<uint64_t>(cluster) * sec_per_clus;
    }
    uint64_t param_block_sector() const { return start + key_param_offset + kParamBlockSector; }
    uint64_t key_param_sector() const { return start + key_param_offset + kKeyParamSector; }
    uint64_t collision_sector() const { return start + key_param_offset + kCollisionSector; }
    uint64_t ud_sector(uint32_t item) const {
        return start + layout.data_offset + kUdAreaDistance + item / 32;
    }
};

struct Manifest {
    std::string path;
    uint32_t disk_no = 0;
    uint32_t base_lba = 0;
    uint64_t ide_cap = 0;           // image size in sectors
    std::string magic;
    std::vector<ManifestPartition> partitions;
    std::vector<ManifestRecording> recordings;
    // Deleted recordings and fragments, by partition and identity cluster.
    std::vector<ManifestRecovered> recovered;

    // Listed recordings of one partition and channel (any channel for -1),
    // in order of start time (ties: write order).
    std::vector<const ManifestRecording *> listed(int partition, int channel = -1) const;
    const ManifestPartition *partition(uint32_t part) const;
    // Recovered items of one partition (any for -1), by identity cluster.
    std::vector<const ManifestRecovered *> recovered_of(int partition = -1) const;
};

class ImageBuilder {
public:
    explicit ImageBuilder(DiskPlan plan);

    // Adds a recording; returns its id. Recordings of one phase are written
    // as a recorder would write them at their times, so recordings that run
    // at the same time interleave their clusters.
    int add(const RecordingPlan &r);
    // Recordings added from now on are written after every earlier one,
    // whatever their times: the recorder's clock was set back (a time
    // collision when the new times are earlier).
    void new_write_phase();
    // Bytes written over the finished image (volume sector, byte offset),
    // e.g. to damage a structure.
    void patch(uint64_t volume_sector, uint32_t byte_offset, std::vector<uint8_t> bytes);

    // Writes the image (replacing `path`) and fills `out`. False with a
    // reason for a plan the builder cannot write.
    bool build(const std::string &path, Manifest *out, std::string *error);

private:
    struct Patch {
        uint64_t sector;
        uint32_t offset;
        std::vector<uint8_t> bytes;
    };
    DiskPlan m_disk;
    std::vector<RecordingPlan> m_recordings;
    std::vector<int> m_phase;  // phase of each recording
    int m_current_phase = 0;
    std::vector<Patch> m_patches;
};

// Shortcut for tests: a one-partition disk (MBR at 2048, default partition)
// holding the given recordings.
bool build_simple_image(const std::string &path, const std::vector<RecordingPlan> &recordings,
                        Manifest *out, std::string *error);

}  // namespace testimg
