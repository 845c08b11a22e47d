// The simulated recorder of one partition: takes clusters from the ring in
// the order the recordings need them, writes their data, keeps the
// directory, index and extended records, the collision list and the ring
// state (current_cluster, start_cluster2/end_cluster2), and at the end
// writes all system areas of the partition.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/image/image_builder.h"
#include "tests/support/image/sparse_image.h"

namespace testimg {

// What the simulation knows about one recording.
struct RecordingRun {
    const RecordingPlan *plan = nullptr;
    int id = 0;
    ContentPlan content;
    uint64_t padded_bytes = 0;      // sectors * 512
    uint64_t data_bytes = 0;
    uint8_t repeat_no = 0;
    std::vector<uint32_t> chain;
    uint32_t last_take_time = 0;    // packed time its last cluster was taken
    uint32_t last_len = 0;          // sectors in the last cluster
    bool finished = false;          // all data written
    bool overwritten = false;       // its first cluster was taken again
    bool damaged = false;           // a later cluster of it was taken again
    bool spans_wrap = false;
    uint32_t wraps_at_start = 0;
    uint32_t wrap_index = 0;        // chain position of its first cluster after the ring's end
    uint32_t ud_item = 0;
    std::unique_ptr<RecordingContent> writer;  // only while it is being written
};

class PartitionWriter {
public:
    PartitionWriter(const PartitionPlan &plan, uint32_t part, uint32_t disk_no, uint64_t volume_abs,
                    uint64_t part_start, const AreaLayout &layout, std::vector<RecordingRun> *runs,
                    SparseImage *image);

    // Writes the recordings of one phase (ids into the run table).
    void run_phase(const std::vector<int> &ids);
    // Writes every system area of the partition and reports its state.
    void finish(ManifestPartition *out);

    // The directory record of cluster c as it ends up on disk.
    DirItem final_item(uint32_t c) const;
    bool written(uint32_t c) const { return c < m_slots.size() && m_slots[c].rec != kNoRec; }
    // Whether cluster c still holds chain position `index` of recording `rec`.
    bool holds(uint32_t c, int rec, uint32_t index) const {
        return written(c) && m_slots[c].rec == static_cast<uint32_t>(rec) && m_slots[c].index == index;
    }

    uint32_t write_position() const { return m_cur; }
    uint32_t start_cluster2() const { return m_start2; }
    uint32_t ud_last_item() const { return m_ud_last; }
    bool failed() const { return !m_error.empty(); }
    const std::string &error() const { return m_error; }
    uint32_t end_cluster2() const { return m_end2; }

private:
    static constexpr uint32_t kNoRec = 0xFFFFFFFF;
    struct Slot {
        uint32_t rec = kNoRec;
        uint32_t index = 0;   // position in the recording's chain
        uint32_t start = 0;   // packed time the cluster was taken
        uint32_t end = 0;     // packed time the next cluster was taken (or the end)
        uint32_t passed = 0;  // kept cluster the writer passed over: the packed time it did
    };

    bool is_bad(uint32_t c) const;
    bool skippable(uint32_t c) const;
    void pass_over(uint32_t c, uint32_t now);
    uint32_t next_cluster(uint32_t now);
    void take_cluster(RecordingRun &r, double t);
    void write_dir_areas();
    void write_index_area();
    void write_ext_area();
    void write_fixed_sectors(const ParamBlockState &st);
    void write_user_data();
    uint64_t abs_sector(uint64_t part_sector) const { return m_volume_abs + m_part_start + part_sector; }

    PartitionPlan m_plan;
    uint32_t m_part;
    uint32_t m_disk_no;
    uint64_t m_volume_abs;
    uint64_t m_part_start;
    AreaLayout m_layout;
    std::vector<RecordingRun> *m_runs;
    SparseImage *m_image;

    std::vector<Slot> m_slots;
    uint32_t m_limit;            // clusters at and above this are never taken
    uint32_t m_interval;         // distance start_cluster2 keeps ahead of current_cluster
    uint32_t m_cur = 0;
    uint32_t m_start2 = 0;
    uint32_t m_end2 = 0;
    uint32_t m_wraps = 0;
    uint32_t m_last_take = 0;    // packed start of the last cluster taken
    uint32_t m_phase_last = 0;   // latest writer action (take or close) of the running phase
    uint32_t m_end_time1 = 0;    // end_time1: the last action of the last phase
    uint8_t m_counter = 0;       // recording counter (repeat_no)
    uint32_t m_ud_last = 1;      // next user-data item to write
    std::vector<uint32_t> m_bad;                 // bad clusters, ascending
    std::vector<std::pair<uint32_t, uint32_t>> m_bad_passed;  // bad cluster, time the writer jumped it
    std::vector<int> m_ud_order;                 // recordings with a user-data item, in item order
    std::vector<uint32_t> m_collisions;
    std::vector<uint8_t> m_buf;
    std::string m_error;
};

// The 12 bytes of a user-data item: card number (two digits per byte, low
// nibble first, missing digits 0xF), card kind, generation.
std::vector<uint8_t> encode_card(const std::string &digits, uint8_t kind, uint8_t generation);

}  // namespace testimg
