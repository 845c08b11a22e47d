#include "tests/support/image/partition_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <queue>

#include "tests/support/image/le_bytes.h"

namespace testimg {

namespace {
constexpr uint32_t kRecordingInterval = 256;  // start_cluster2 lead on recording partitions
constexpr uint32_t kPictureInterval = 64;     // and on picture partitions
constexpr size_t kMaxCollisions = 128;        // entries of the collision sector
constexpr uint32_t kChunkSectors = 2048;      // area writes in 1 MiB pieces

uint32_t packed_floor(double abs_seconds) {
    return seconds_to_packed(static_cast<int64_t>(std::floor(abs_seconds)));
}
}  // namespace

PartitionWriter::PartitionWriter(const PartitionPlan &plan, uint32_t part, uint32_t disk_no,
                                 uint64_t volume_abs, uint64_t part_start, const AreaLayout &layout,
                                 std::vector<RecordingRun> *runs, SparseImage *image)
    : m_plan(plan), m_part(part), m_disk_no(disk_no), m_volume_abs(volume_abs), m_part_start(part_start),
      m_layout(layout), m_runs(runs), m_image(image), m_counter(plan.first_repeat_no), m_bad(plan.bad_clusters) {
    std::sort(m_bad.begin(), m_bad.end());
    // The writer stops short of the last total_cluster / 2097152 clusters.
    m_limit = m_layout.total_cluster - m_layout.total_cluster / 2097152;
    m_interval = plan.driver_type == kDriverPicture ? kPictureInterval : kRecordingInterval;
}

bool PartitionWriter::is_bad(uint32_t c) const { return std::binary_search(m_bad.begin(), m_bad.end(), c); }

bool PartitionWriter::skippable(uint32_t c) const {
    if (is_bad(c)) return true;
    return written(c) && (*m_runs)[m_slots[c].rec].plan->keep;
}

// The writer never takes a cluster whose index flag is 3. A kept recording's
// cluster becomes "passed over" (dir_flag 4 for its first cluster, 5 for the
// others) with its times set to the moment it was passed, which keeps the
// start times along the ring ascending; a bad cluster's record is reset to a
// one-cluster stub (dir_flag 2, first_cluster_no itself) stamped the same way.
void PartitionWriter::pass_over(uint32_t c, uint32_t now) {
    if (is_bad(c)) {
        auto it = std::find_if(m_bad_passed.begin(), m_bad_passed.end(),
                               [c](const std::pair<uint32_t, uint32_t> &b) { return b.first == c; });
        if (it == m_bad_passed.end())
            m_bad_passed.emplace_back(c, now);
        else
            it->second = now;
        return;
    }
    m_slots[c].passed = now;
}

uint32_t PartitionWriter::next_cluster(uint32_t now) {
    uint32_t c = m_cur;
    bool wrapped = false;
    const uint64_t ring = static_cast<uint64_t>(m_limit) - m_layout.rev_clus;
    for (uint64_t guard = 0;; ++guard) {
        if (c == 0) {
            c = m_layout.rev_clus;  // a fresh partition starts at the first unreserved cluster
        } else if (c + 1 >= m_limit) {
            c = m_layout.rev_clus;  // end of the ring: go on at its start
            wrapped = true;
        } else {
            c = c + 1;
        }
        if (!skippable(c)) break;
        if (guard > ring) {
            m_error = "partition " + std::to_string(m_part) + ": every cluster of the ring is kept or bad";
            return m_cur;
        }
        pass_over(c, now);
    }
    if (wrapped && m_cur != 0) {
        // What is left of this pass becomes the kept part of the previous pass.
        m_end2 = m_cur;
        ++m_wraps;
    }
    m_cur = c;
    if (m_end2 != 0) {
        if (static_cast<uint64_t>(c) + m_interval < m_end2) {
            m_start2 = c + m_interval;
        } else {
            // The previous pass is used up; collision entries that still
            // pointed into it would cut sections out of clusters no longer
            // in the ring.
            m_start2 = 0;
            m_end2 = 0;
            m_collisions.erase(std::upper_bound(m_collisions.begin(), m_collisions.end(), c), m_collisions.end());
        }
    }
    return c;
}

void PartitionWriter::take_cluster(RecordingRun &r, double t) {
    const uint32_t now = packed_floor(t);
    const uint32_t c = next_cluster(now);
    if (failed()) {
        r.finished = true;
        r.writer.reset();
        return;
    }

    // A cluster that starts earlier than the one before it: the clock went
    // back. The collision sector lists such clusters in ascending order; an
    // entry of the previous pass goes when its cluster is taken again. The
    // start of the ring is a cut of its own and is never listed.
    auto it = std::lower_bound(m_collisions.begin(), m_collisions.end(), c);
    if (it != m_collisions.end() && *it == c) m_collisions.erase(it);
    if (m_last_take != 0 && now < m_last_take && c != m_layout.rev_clus && m_collisions.size() < kMaxCollisions)
        m_collisions.insert(std::lower_bound(m_collisions.begin(), m_collisions.end(), c), c);
    m_last_take = now;
    m_phase_last = std::max(m_phase_last, now);

    if (c >= m_slots.size()) m_slots.resize(static_cast<size_t>(c) + 1);
    Slot &s = m_slots[c];
    if (s.rec != kNoRec) {
        RecordingRun &old = (*m_runs)[s.rec];
        (s.index == 0 ? old.overwritten : old.damaged) = true;
    }

    if (r.chain.empty()) {
        m_counter = static_cast<uint8_t>(m_counter + 1);
        r.repeat_no = m_counter;
        r.wraps_at_start = m_wraps;
        if (!r.plan->card_number.empty()) {
            r.ud_item = m_ud_last;
            m_ud_order.push_back(r.id);
            m_ud_last = m_ud_last + 1 >= kUdItemCount ? 1 : m_ud_last + 1;
        }
    } else {
        m_slots[r.chain.back()].end = now;
    }
    if (m_wraps != r.wraps_at_start && !r.spans_wrap) {
        r.spans_wrap = true;
        r.wrap_index = static_cast<uint32_t>(r.chain.size());
    }
    s.rec = static_cast<uint32_t>(r.id);
    s.index = static_cast<uint32_t>(r.chain.size());
    s.start = now;
    s.end = now;
    s.passed = 0;
    r.chain.push_back(c);
    r.last_take_time = now;

    // The data of this cluster.
    const uint64_t cluster_bytes = static_cast<uint64_t>(m_layout.sec_per_clus) * kSectorSize;
    const uint64_t off = static_cast<uint64_t>(s.index) * cluster_bytes;
    const size_t n = static_cast<size_t>(std::min(cluster_bytes, r.padded_bytes - off));
    m_buf.resize(n);
    r.writer->read(m_buf.data(), n);
    if (r.writer->writes_data())
        m_image->write(abs_sector(m_layout.data_offset + static_cast<uint64_t>(c) * m_layout.sec_per_clus),
                       m_buf.data(), n);
    if (r.writer->position() >= r.padded_bytes) {
        r.finished = true;
        r.last_len = static_cast<uint32_t>(n / kSectorSize);
        r.writer.reset();
        if (!r.plan->cut_off) {
            const uint32_t end = packed_add(r.plan->start_time, r.plan->duration);
            s.end = end;
            m_phase_last = std::max(m_phase_last, end);
        }
    }
}

void PartitionWriter::run_phase(const std::vector<int> &ids) {
    std::vector<int> order(ids);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        return (*m_runs)[a].plan->start_time < (*m_runs)[b].plan->start_time;
    });
    struct Event {
        double t;
        int id;
        bool operator>(const Event &o) const { return t != o.t ? t > o.t : id > o.id; }
    };
    std::priority_queue<Event, std::vector<Event>, std::greater<Event>> due;
    size_t next = 0;
    m_phase_last = 0;
    while (next < order.size() || !due.empty()) {
        if (next < order.size()) {
            RecordingRun &r = (*m_runs)[order[next]];
            const double start = static_cast<double>(packed_to_seconds(r.plan->start_time));
            if (due.empty() || !(Event{start, r.id} > due.top())) {
                r.writer = std::make_unique<RecordingContent>(r.content);
                due.push(Event{start, r.id});
                ++next;
                continue;
            }
        }
        const Event e = due.top();
        due.pop();
        RecordingRun &r = (*m_runs)[e.id];
        take_cluster(r, e.t);
        if (!r.finished)
            due.push(Event{static_cast<double>(packed_to_seconds(r.plan->start_time)) + r.writer->next_byte_time(), r.id});
    }
    if (m_phase_last != 0) m_end_time1 = m_phase_last;
}

DirItem PartitionWriter::final_item(uint32_t c) const {
    DirItem d;
    if (is_bad(c)) {
        for (const auto &b : m_bad_passed) {
            if (b.first != c) continue;
            d.dir_flag = kDirFirst;
            d.first_cluster_no = c;
            d.start_time = d.end_time = b.second;
            return d;
        }
    }
    if (!written(c) || is_bad(c)) {
        // What the format leaves: reserved clusters unusable, the rest never written.
        d.dir_flag = c < m_layout.rev_clus ? kDirUnusable : kDirNeverWritten;
        return d;
    }
    const Slot &s = m_slots[c];
    const RecordingRun &r = (*m_runs)[s.rec];
    const RecordingPlan &sp = *r.plan;
    const uint32_t n = static_cast<uint32_t>(r.chain.size());
    const bool last = s.index + 1 == n;
    const bool open = sp.cut_off;
    const uint32_t end = packed_add(sp.start_time, sp.duration);

    d.alarm = sp.alarm;
    d.channel = sp.channel;
    d.av = sp.picture ? 0 : static_cast<uint8_t>(sp.av & 3 ? sp.av & 3 : 2);
    d.stream_type = sp.stream_type;
    d.repeat_no = r.repeat_no;
    d.head_sectors = sp.header == HeaderKind::Reserved ? static_cast<uint16_t>(sp.header_bytes / kSectorSize) : 0;
    d.first_cluster_no = r.chain[0];
    d.sub_type = sp.sub_type;
    d.sub_type2 = sp.sub_type2;
    d.high_bits = static_cast<uint8_t>(sp.high_bits | (sp.keep ? 1 : 0));

    if (s.index == 0) {
        // The first cluster carries the totals of the whole recording.
        d.dir_flag = sp.special_mode ? kDirFirstSpecial : kDirFirst;
        d.item_num = static_cast<uint16_t>(n - 1);
        d.up_cluster_no = r.ud_item;  // user-data item, 0 = none
        d.down_cluster_no = n > 1 ? r.chain[1] : (open ? kDownOpen : 0);
        d.start_time = sp.start_time;
        if (!open) {
            d.end_time = end;
            d.end_length = static_cast<uint16_t>(r.last_len);
        } else if (n == 1) {
            d.end_time = sp.cut_off_keeps_length ? end : s.start;
            d.end_length = sp.cut_off_keeps_length ? static_cast<uint16_t>(r.last_len) : 0;
        } else {
            // running totals as of the last cluster taken
            d.end_time = r.last_take_time;
            d.end_length = 0;
        }
        if (sp.deleted) d.alarm = kAlarmDeleted;
        if (s.passed) {
            d.dir_flag = 4;
            d.start_time = d.end_time = s.passed;
        }
        return d;
    }
    d.dir_flag = kDirContinuation;
    d.item_num = static_cast<uint16_t>(s.index);
    d.up_cluster_no = r.chain[s.index - 1];
    d.start_time = s.start;
    if (!last) {
        d.down_cluster_no = r.chain[s.index + 1];
        d.end_time = s.end;
        d.end_length = 0;
    } else if (!open) {
        d.down_cluster_no = 0;
        d.end_time = end;
        d.end_length = static_cast<uint16_t>(r.last_len);
    } else {
        // A recorder that flushes the open cluster's record now and then
        // leaves the sectors written so far; one that does not leaves the
        // record as it was when the cluster was taken.
        d.down_cluster_no = kDownOpen;
        d.end_time = sp.cut_off_keeps_length ? end : s.start;
        d.end_length = sp.cut_off_keeps_length ? static_cast<uint16_t>(r.last_len) : 0;
    }
    if (s.passed) {
        d.dir_flag = 5;
        d.start_time = d.end_time = s.passed;
    }
    return d;
}

void PartitionWriter::write_dir_areas() {
    // Records of clusters 0 .. total_cluster (the tables accept total_cluster itself).
    const uint64_t records = static_cast<uint64_t>(m_layout.total_cluster) + 1;
    const uint64_t sectors = (records + kDirRecordsPerSector - 1) / kDirRecordsPerSector;
    std::vector<uint8_t> chunk(static_cast<size_t>(kChunkSectors) * kSectorSize);
    for (uint64_t s0 = 0; s0 < sectors; s0 += kChunkSectors) {
        const uint64_t first = s0 * kDirRecordsPerSector;
        if (!m_plan.format_areas && first >= m_slots.size() && (m_bad.empty() || first > m_bad.back())) break;
        const uint64_t n = std::min<uint64_t>(kChunkSectors, sectors - s0);
        std::fill(chunk.begin(), chunk.end(), 0);
        for (uint64_t i = 0; i < n * kDirRecordsPerSector; ++i) {
            const uint64_t c = first + i;
            if (written(static_cast<uint32_t>(c)) || is_bad(static_cast<uint32_t>(c)) || m_plan.format_areas)
                encode_dir_item(final_item(static_cast<uint32_t>(std::min<uint64_t>(c, 0xFFFFFFFFull))),
                                chunk.data() + i * kDirRecordSize);
        }
        const size_t bytes = static_cast<size_t>(n * kSectorSize);
        m_image->write_nonzero(abs_sector(m_layout.dir_offset + s0), chunk.data(), bytes);
        m_image->write_nonzero(abs_sector(m_layout.backdir_offset + s0), chunk.data(), bytes);
    }
}

void PartitionWriter::write_index_area() {
    const uint64_t records = static_cast<uint64_t>(m_layout.total_cluster) + 1;
    const uint64_t sectors = (records + kIndexRecordsPerSector - 1) / kIndexRecordsPerSector;
    // Never-written and reserved clusters: flag 3 (not to be written), which
    // is also what rebuilding the index from a freshly formatted directory gives.
    const uint8_t fresh = m_plan.format_areas ? index_byte(0, kIndexNotWritable) : 0;
    std::vector<uint8_t> chunk(static_cast<size_t>(kChunkSectors) * kSectorSize);
    for (uint64_t s0 = 0; s0 < sectors; s0 += kChunkSectors) {
        const uint64_t first = s0 * kIndexRecordsPerSector;
        if (!m_plan.format_areas && first >= m_slots.size() && (m_bad.empty() || first > m_bad.back())) break;
        const uint64_t n = std::min<uint64_t>(kChunkSectors, sectors - s0);
        for (uint64_t i = 0; i < n * kIndexRecordsPerSector; ++i) {
            const uint64_t c = first + i;
            uint8_t b = fresh;
            if (is_bad(static_cast<uint32_t>(c))) {
                b = index_byte(0, kIndexNotWritable);
            } else if (c < m_slots.size() && m_slots[c].rec != kNoRec) {
                const Slot &s = m_slots[c];
                const RecordingPlan &sp = *(*m_runs)[s.rec].plan;
                const uint8_t flag = s.index != 0 ? kIndexContinuation
                                                  : (sp.special_mode ? kIndexFirstSpecial : kIndexFirst);
                b = index_byte(sp.channel, sp.keep ? kIndexNotWritable : flag);
            }
            chunk[i] = b;
        }
        m_image->write_nonzero(abs_sector(m_layout.index_offset + s0), chunk.data(),
                               static_cast<size_t>(n * kSectorSize));
    }
}

void PartitionWriter::write_ext_area() {
    if (!m_plan.ext_dir) return;
    // The format zeroes this area; only records of written clusters differ.
    const uint64_t sectors = (m_slots.size() + kDirRecordsPerSector - 1) / kDirRecordsPerSector;
    std::vector<uint8_t> chunk(static_cast<size_t>(kChunkSectors) * kSectorSize);
    for (uint64_t s0 = 0; s0 < sectors; s0 += kChunkSectors) {
        const uint64_t n = std::min<uint64_t>(kChunkSectors, sectors - s0);
        std::fill(chunk.begin(), chunk.end(), 0);
        for (uint64_t i = 0; i < n * kDirRecordsPerSector; ++i) {
            const uint64_t c = s0 * kDirRecordsPerSector + i;
            if (c >= m_slots.size() || m_slots[c].rec == kNoRec || is_bad(static_cast<uint32_t>(c))) continue;
            const RecordingPlan &sp = *(*m_runs)[m_slots[c].rec].plan;
            ExtDirItem e;
            e.attr1 = sp.ext_attr1;
            e.attr2 = sp.ext_attr2;
            e.mask = sp.ext_mask;
            encode_ext_dir_item(e, chunk.data() + i * kDirRecordSize);
        }
        m_image->write_nonzero(abs_sector(m_layout.ext_dir_offset + s0), chunk.data(),
                               static_cast<size_t>(n * kSectorSize));
    }
}

void PartitionWriter::write_fixed_sectors(const ParamBlockState &st) {
    const uint32_t k = m_plan.key_param_offset;
    uint8_t sec[512];
    encode_key_param_block(m_plan.key, m_layout, m_part_start, sec);
    m_image->write(abs_sector(k + kKeyParamSector), sec, 512);
    m_image->write(abs_sector(k + kKeyParamSector + kSecondCopyDistance), sec, 512);
    encode_param_block(st, m_layout, m_part_start, sec);
    m_image->write(abs_sector(k + kParamBlockSector), sec, 512);
    m_image->write(abs_sector(k + kParamBlockSector + kSecondCopyDistance), sec, 512);
    encode_collision_sector(m_collisions, sec);
    m_image->write(abs_sector(k + kCollisionSector), sec, 512);
    m_image->write(abs_sector(k + kCollisionSector + kSecondCopyDistance), sec, 512);
    if (m_part == 0 && m_layout.face_lib_record_block_size != 0) {
        // Face-library record: 228 bytes starting "FACELIB" and a zero byte.
        std::memset(sec, 0, sizeof sec);
        std::memcpy(sec, "FACELIB", 8);
        m_image->write(abs_sector(m_layout.face_lib_param_offset), sec, 512);
        m_image->write(abs_sector(m_layout.face_lib_param_offset + kSecondCopyDistance), sec, 512);
    }
}

std::vector<uint8_t> encode_card(const std::string &digits, uint8_t kind, uint8_t generation) {
    std::vector<uint8_t> b(12, 0xFF);
    for (size_t i = 0; i < 20; ++i) {
        const uint8_t d = i < digits.size() ? static_cast<uint8_t>(digits[i] - '0') & 0xF : 0xF;
        uint8_t &byte = b[i / 2];
        byte = i % 2 == 0 ? static_cast<uint8_t>((byte & 0xF0) | d) : static_cast<uint8_t>((byte & 0x0F) | d << 4);
    }
    b[10] = kind;
    b[11] = generation;
    return b;
}

void PartitionWriter::write_user_data() {
    // Items of 16 bytes, 32 to a sector, from item 1 on: 12 bytes of card
    // data and the recording's first cluster.
    for (int id : m_ud_order) {
        const RecordingRun &r = (*m_runs)[id];
        uint8_t item[16];
        const std::vector<uint8_t> card = encode_card(r.plan->card_number, r.plan->card_kind, m_plan.generation);
        std::copy(card.begin(), card.end(), item);
        put_u32(item + 12, r.chain[0]);
        m_image->write(abs_sector(m_layout.data_offset + kUdAreaDistance + r.ud_item / 32), item, 16,
                       r.ud_item % 32 * 16);
    }
}

void PartitionWriter::finish(ManifestPartition *out) {
    write_dir_areas();
    write_index_area();
    write_ext_area();
    write_user_data();

    bool cut = false;
    for (const RecordingRun &r : *m_runs)
        if (r.plan->partition == static_cast<int>(m_part) && r.plan->cut_off && !r.chain.empty()) cut = true;

    ParamBlockState st;
    st.generation = m_plan.generation;
    st.status = m_plan.status >= 0 ? static_cast<uint32_t>(m_plan.status) : (cut ? 0u : kStatusClean);
    st.current_cluster = m_cur;
    if (m_cur != 0 && m_plan.stale_clusters != 0) {
        // The block was last saved a few clusters ago (never before the ring start).
        st.current_cluster = m_cur >= m_layout.rev_clus + m_plan.stale_clusters ? m_cur - m_plan.stale_clusters
                                                                                 : m_layout.rev_clus;
    }
    st.start_time1 = m_cur != 0 ? final_item(m_layout.rev_clus).start_time : 0;
    st.end_time1 = m_end_time1;
    st.start_cluster2 = m_start2;
    st.end_cluster2 = m_end2;
    st.start_time2 = m_start2 != 0 ? final_item(m_start2).start_time : 0;
    st.end_time2 = m_end2 != 0 ? final_item(m_end2).end_time : 0;
    st.driver_type = m_plan.driver_type;
    st.dev = m_disk_no;
    st.part = m_part;
    st.bad_status = m_plan.bad_status;
    st.collision_count = static_cast<uint32_t>(m_collisions.size());
    st.protected_flag = m_plan.protected_flag;
    st.key_param_offset = m_plan.key_param_offset;
    st.ext_dir = m_plan.ext_dir;
    st.ud_last_item = m_ud_last;
    write_fixed_sectors(st);

    ManifestPartition &p = *out;
    p.part = m_part;
    p.start = m_part_start;
    p.sectors = m_plan.sectors;
    p.sec_per_clus = m_layout.sec_per_clus;
    p.driver_type = m_plan.driver_type;
    p.generation = m_plan.generation;
    p.layout = m_layout;
    p.ext_dir = m_plan.ext_dir;
    p.key_param_offset = m_plan.key_param_offset;
    p.status = st.status;
    p.bad_status = st.bad_status;
    p.start_time1 = st.start_time1;
    p.end_time1 = st.end_time1;
    p.current_cluster = st.current_cluster;
    p.start_cluster2 = st.start_cluster2;
    p.end_cluster2 = st.end_cluster2;
    p.start_time2 = st.start_time2;
    p.end_time2 = st.end_time2;
    p.write_position = m_cur;
    p.collisions = m_collisions;
    p.ud_first_item = st.ud_first_item;
    p.ud_last_item = st.ud_last_item;
    const uint64_t total = m_layout.total_cluster, spc = m_layout.sec_per_clus;
    p.total_mib = static_cast<uint32_t>((total * spc + m_layout.data_offset) / 2048);
    if (st.start_cluster2 == 0) {
        const uint32_t clusters = static_cast<uint32_t>(total - (total / 2097152 + 1) - st.current_cluster);
        const uint64_t mib = static_cast<uint64_t>(clusters) * spc / 2048;
        p.free_mib = mib < 16 ? 0 : static_cast<uint32_t>(mib);
    } else {
        p.free_mib = 0;
    }
    p.space_total_bytes = total * spc * kSectorSize;
    p.space_free_bytes = (total - st.current_cluster) * spc * kSectorSize;
}

}  // namespace testimg
