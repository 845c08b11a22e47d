#include "tests/support/image/image_builder.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

#include "tests/support/image/partition_writer.h"
#include "tests/support/image/sparse_image.h"

namespace testimg {

namespace {

int64_t secs(uint32_t packed) { return packed_to_seconds(packed); }

bool bad(std::string *error, const std::string &why) {
    if (error) *error = why;
    return false;
}

ContentPlan content_of(const RecordingPlan &r) {
    ContentPlan c;
    c.kind = r.data;
    c.synthetic = r.synthetic;
    c.bytes = r.bytes;
    c.unwritten_bytes = r.unwritten_bytes;
    c.header = r.header;
    c.header_bytes = r.header == HeaderKind::None ? 0 : r.header_bytes;
    c.picture = r.picture;
    c.start_time = r.start_time;
    c.duration = r.duration;
    return c;
}

bool valid_time(uint32_t t) {
    const CivilTime c = unpack_time(t);
    return c.month >= 1 && c.month <= 12 && c.day >= 1 && c.day <= 31 && c.hour < 24 && c.minute < 60 &&
           c.second < 60;
}

}  // namespace

std::vector<uint8_t> ManifestRecording::expected_bytes() const {
    RecordingContent rc(content);
    std::vector<uint8_t> out(static_cast<size_t>(length_sectors * 512));
    rc.read(out.data(), out.size());
    return out;
}

std::vector<uint8_t> ManifestRecording::expected_stream() const {
    std::vector<uint8_t> all = expected_bytes();
    const size_t skip = std::min<size_t>(header_bytes, all.size());
    return std::vector<uint8_t>(all.begin() + static_cast<std::ptrdiff_t>(skip), all.end());
}

std::vector<uint8_t> ManifestRecovered::expected_bytes() const {
    // The recording's bytes as written (header, stream, zero padding), from
    // the start of the item's first cluster, for its length.
    RecordingContent rc(content);
    const uint64_t from = static_cast<uint64_t>(first_index) * sec_per_clus * 512;
    std::vector<uint8_t> scratch(1 << 16);
    for (uint64_t left = from; left > 0;) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(left, scratch.size()));
        rc.read(scratch.data(), n);
        left -= n;
    }
    std::vector<uint8_t> out(static_cast<size_t>(length_sectors * 512));
    rc.read(out.data(), out.size());
    // What of the header lies in the item is not part of the stream.
    const uint64_t skip = header_bytes > from ? header_bytes - from : 0;
    if (skip <= out.size())
        out.erase(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(skip));
    return out;
}

std::vector<const ManifestRecovered *> Manifest::recovered_of(int part) const {
    std::vector<const ManifestRecovered *> out;
    for (const ManifestRecovered &r : recovered)
        if (part < 0 || static_cast<int>(r.partition) == part) out.push_back(&r);
    return out;
}

std::vector<const ManifestRecording *> Manifest::listed(int part, int channel) const {
    std::vector<const ManifestRecording *> out;
    for (const ManifestRecording &r : recordings)
        if (r.listed && static_cast<int>(r.partition) == part && (channel < 0 || r.channel == channel))
            out.push_back(&r);
    std::stable_sort(out.begin(), out.end(), [](const ManifestRecording *a, const ManifestRecording *b) {
        return a->start_time < b->start_time;
    });
    return out;
}

const ManifestPartition *Manifest::partition(uint32_t part) const {
    for (const ManifestPartition &p : partitions)
        if (p.part == part) return &p;
    return nullptr;
}

ImageBuilder::ImageBuilder(DiskPlan plan) : m_disk(std::move(plan)) {}

int ImageBuilder::add(const RecordingPlan &r) {
    m_recordings.push_back(r);
    m_phase.push_back(m_current_phase);
    return static_cast<int>(m_recordings.size()) - 1;
}

void ImageBuilder::new_write_phase() { ++m_current_phase; }

void ImageBuilder::patch(uint64_t sector, uint32_t offset, std::vector<uint8_t> bytes) {
    m_patches.push_back(Patch{sector, offset, std::move(bytes)});
}

bool ImageBuilder::build(const std::string &path, Manifest *out, std::string *error) {
    const size_t nparts = m_disk.partitions.size();
    if (nparts < 1 || nparts > 4) return bad(error, "a disk holds 1 to 4 partitions");

    // ---- partition placement and area layout
    std::vector<uint64_t> starts(nparts);
    std::vector<AreaLayout> layouts(nparts);
    uint64_t volume_sectors = 0;
    for (size_t i = 0; i < nparts; ++i) {
        const PartitionPlan &p = m_disk.partitions[i];
        if (i == 0 && p.start != 0) return bad(error, "partition 0 starts at volume sector 0");
        starts[i] = i == 0 ? 0 : (p.start != 0 ? p.start : volume_sectors);
        if (starts[i] < volume_sectors) return bad(error, "partition ranges overlap");
        if (p.sec_per_clus > 32768) return bad(error, "sec_per_clus above 32768 does not fit end_length");
        std::string why;
        if (!compute_area_layout(p.sectors, p.sec_per_clus, p.key, i == 0, &layouts[i], &why))
            return bad(error, "partition " + std::to_string(i) + ": " + why);
        AreaLayout &a = layouts[i];
        if (static_cast<uint64_t>(p.key_param_offset) + kCollisionSector + kSecondCopyDistance >= a.dir_offset)
            return bad(error, "key_param_offset runs into the directory area");
        if (p.total_cluster != 0) {
            if (p.total_cluster > a.total_cluster) return bad(error, "total_cluster override beyond the partition");
            a.total_cluster = p.total_cluster;
        }
        if (p.rev_clus != 0) a.rev_clus = p.rev_clus;
        if (a.rev_clus + 2 > a.total_cluster) return bad(error, "rev_clus leaves no data clusters");
        for (uint32_t c : p.bad_clusters)
            if (c < a.rev_clus || c >= a.total_cluster) return bad(error, "bad cluster outside the ring");
        volume_sectors = starts[i] + p.sectors;
    }
    volume_sectors += m_disk.trailing_sectors;
    const uint64_t base = m_disk.mbr ? m_disk.base_lba : 0;
    if (m_disk.mbr && base == 0) return bad(error, "an MBR needs a base sector above 0");
    const uint64_t image_sectors = base + volume_sectors;

    // ---- recordings: checks
    std::vector<RecordingRun> runs(m_recordings.size());
    for (size_t i = 0; i < m_recordings.size(); ++i) {
        const RecordingPlan &r = m_recordings[i];
        const std::string which = "recording " + std::to_string(i) + ": ";
        if (r.partition < 0 || static_cast<size_t>(r.partition) >= nparts) return bad(error, which + "no such partition");
        if (r.channel > 63) return bad(error, which + "channel above 63");
        if (!valid_time(r.start_time)) return bad(error, which + "start time is not a valid date");
        if (r.duration > 31u * 86400u) return bad(error, which + "a recording lasts at most 31 days");
        if (packed_to_seconds(r.start_time) + r.duration >= packed_to_seconds(pack_time(2063, 12, 31, 23, 59, 59)))
            return bad(error, which + "ends beyond what a packed time can hold");
        if (r.header != HeaderKind::None && (r.header_bytes == 0 || r.header_bytes % 512 != 0))
            return bad(error, which + "header_bytes must be a nonzero multiple of 512");
        if (r.header == HeaderKind::Reserved && r.header_bytes / 512 > 0xFFFF)
            return bad(error, which + "header too long for head_sectors");
        if (r.data == DataKind::Bytes && !r.bytes) return bad(error, which + "no bytes given");
        if (r.card_number.size() > 20 ||
            r.card_number.find_first_not_of("0123456789") != std::string::npos)
            return bad(error, which + "a card number has at most 20 decimal digits");
        RecordingRun &run = runs[i];
        run.plan = &r;
        run.id = static_cast<int>(i);
        run.content = content_of(r);
        RecordingContent probe(run.content);
        run.data_bytes = probe.size();
        run.padded_bytes = probe.sectors() * 512;
        const uint64_t spc = layouts[static_cast<size_t>(r.partition)].sec_per_clus;
        const uint64_t clusters = std::max<uint64_t>(1, (probe.sectors() + spc - 1) / spc);
        if (clusters > 65536) return bad(error, which + "more than 65536 clusters (item_num is 16 bits)");
        const AreaLayout &a = layouts[static_cast<size_t>(r.partition)];
        if (clusters > a.total_cluster - a.rev_clus) return bad(error, which + "larger than the partition's ring");
    }
    // The user-data ring lies inside the reserved clusters of the data area.
    for (size_t i = 0; i < nparts; ++i) {
        size_t items = 0;
        for (const RecordingPlan &r : m_recordings)
            if (r.partition == static_cast<int>(i) && !r.card_number.empty()) ++items;
        const AreaLayout &a = layouts[i];
        if (items > 0 && kUdAreaDistance + (items + 1) / 32 + 1 > static_cast<uint64_t>(a.rev_clus) * a.sec_per_clus)
            return bad(error, "partition " + std::to_string(i) +
                                  ": the reserved clusters are too few to hold the user-data items");
    }
    // Recordings of one channel and stream type follow each other: a reader
    // finds the next cluster of a recording as the next cluster of that
    // channel and stream type, so two of them may not run at the same time.
    {
        std::map<std::tuple<int, int, int, int>, std::vector<size_t>> groups;
        for (size_t i = 0; i < m_recordings.size(); ++i) {
            const RecordingPlan &r = m_recordings[i];
            groups[{r.partition, m_phase[i], r.channel, r.stream_type}].push_back(i);
        }
        for (auto &g : groups) {
            std::vector<size_t> &v = g.second;
            std::stable_sort(v.begin(), v.end(), [&](size_t a, size_t b) {
                return m_recordings[a].start_time < m_recordings[b].start_time;
            });
            for (size_t k = 1; k < v.size(); ++k) {
                const RecordingPlan &a = m_recordings[v[k - 1]], &b = m_recordings[v[k]];
                if (secs(b.start_time) < secs(a.start_time) + a.duration)
                    return bad(error, "recordings " + std::to_string(v[k - 1]) + " and " + std::to_string(v[k]) +
                                          " of one channel and stream type overlap in time");
            }
        }
    }

    // ---- write
    SparseImage img;
    if (!img.create(path, image_sectors)) return bad(error, img.error());
    uint8_t sec[512];
    if (m_disk.mbr) {
        encode_mbr(static_cast<uint32_t>(base), volume_sectors, sec);
        img.write(0, sec, 512);
    }
    uint32_t kpo[4] = {0, 0, 0, 0};
    PartitionEntry entries[4];
    for (size_t i = 0; i < nparts; ++i) {
        kpo[i] = m_disk.partitions[i].key_param_offset;
        entries[i].start = starts[i];
        entries[i].sectors = m_disk.partitions[i].sectors;
        entries[i].written = true;
    }
    encode_volume_head(m_disk.magic, kpo, m_disk.head_qj, sec);
    img.write(base, sec, 512);
    encode_partition_table(entries, sec);
    img.write(base + kpo[0] + kPartitionTableSector, sec, 512);
    img.write(base + kpo[0] + kPartitionTableSector + kSecondCopyDistance, sec, 512);

    Manifest m;
    m.path = path;
    m.disk_no = m_disk.disk_no;
    m.base_lba = static_cast<uint32_t>(base);
    m.ide_cap = image_sectors;
    m.magic = m_disk.magic;
    m.partitions.resize(nparts);
    std::vector<std::unique_ptr<PartitionWriter>> writers;
    for (size_t i = 0; i < nparts; ++i) {
        writers.push_back(std::make_unique<PartitionWriter>(m_disk.partitions[i], static_cast<uint32_t>(i),
                                                            m_disk.disk_no, base, starts[i], layouts[i], &runs, &img));
        for (int phase = 0; phase <= m_current_phase; ++phase) {
            std::vector<int> ids;
            for (size_t k = 0; k < runs.size(); ++k)
                if (m_recordings[k].partition == static_cast<int>(i) && m_phase[k] == phase)
                    ids.push_back(static_cast<int>(k));
            if (!ids.empty()) writers[i]->run_phase(ids);
        }
        if (writers[i]->failed()) return bad(error, writers[i]->error());
        writers[i]->finish(&m.partitions[i]);
    }

    // ---- manifest of the recordings
    std::vector<std::set<uint32_t>> days(nparts), calendar(nparts);
    std::vector<ManifestRecovered> recovered;
    for (RecordingRun &run : runs) {
        const RecordingPlan &r = *run.plan;
        const size_t pi = static_cast<size_t>(r.partition);
        const PartitionWriter &w = *writers[pi];
        const uint32_t spc = layouts[pi].sec_per_clus;
        ManifestRecording mr;
        mr.id = run.id;
        mr.disk = m_disk.disk_no;
        mr.partition = static_cast<uint32_t>(r.partition);
        mr.channel = r.channel;
        mr.alarm = r.alarm;
        mr.stream_type = r.stream_type;
        mr.av = r.picture ? 0 : static_cast<uint8_t>(r.av & 3 ? r.av & 3 : 2);
        mr.repeat_no = run.repeat_no;
        mr.sub_type = r.sub_type;
        mr.sub_type2 = r.sub_type2;
        mr.high_bits = r.high_bits;
        mr.ext_attr1 = r.ext_attr1;
        mr.ext_attr2 = r.ext_attr2;
        mr.ext_mask = r.ext_mask;
        mr.start_time = r.start_time;
        mr.first_cluster = run.chain.empty() ? 0 : run.chain[0];
        mr.clusters = run.chain;
        mr.item_num = static_cast<uint32_t>(run.chain.size()) - 1;
        mr.head_sectors = r.header == HeaderKind::Reserved ? r.header_bytes / 512 : 0;
        mr.header_bytes = r.header == HeaderKind::None ? 0 : r.header_bytes;
        mr.data_bytes = run.data_bytes;
        mr.deleted = r.deleted;
        mr.overwritten = run.overwritten;
        mr.damaged = run.damaged;
        mr.kept = r.keep;
        mr.ud_item = run.ud_item;
        if (run.ud_item != 0) mr.ud_bytes = encode_card(r.card_number, r.card_kind, m_disk.partitions[pi].generation);
        mr.spans_wrap = run.spans_wrap;
        mr.cut_off = r.cut_off;
        const DirItem last = w.final_item(run.chain.back());
        const DirItem head = w.final_item(run.chain.front());
        mr.passed_over = head.dir_flag == 4 && !run.overwritten;
        if (mr.passed_over) {
            // times of a passed-over first cluster are those of the pass
            mr.start_time = head.start_time;
            mr.end_time = head.end_time;
            mr.end_length = run.last_len;
        } else if (!r.cut_off) {
            mr.end_time = packed_add(r.start_time, r.duration);
            mr.end_length = run.last_len;
        } else {
            const uint32_t dt = m_disk.partitions[pi].driver_type;
            const bool repaired = m.partitions[pi].status != kStatusClean && (dt == 0 || dt == 3 || dt == 4);
            if (repaired) {
                // a repair closes the recording with what its open cluster's record says
                mr.end_time = last.end_time;
                mr.end_length = last.end_length;
            } else {
                // no repair: the first record's running totals are all there is
                mr.end_time = head.end_time;
                mr.end_length = head.end_length;
            }
        }
        mr.length_sectors = static_cast<uint64_t>(mr.item_num) * spc + mr.end_length;
        mr.file_len_kb = static_cast<uint32_t>(mr.length_sectors / 2);
        mr.readable_sectors = run.spans_wrap ? static_cast<uint64_t>(run.wrap_index) * spc : mr.length_sectors;
        mr.content = run.content;

        // Where the recording lies in the ring.
        const uint32_t cur = w.write_position(), end2 = w.end_cluster2(), start2 = w.start_cluster2();
        bool reachable = false;
        if (!run.overwritten && m_disk.partitions[pi].bad_status != 15) {
            if (mr.first_cluster <= cur) {
                reachable = true;
            } else if (end2 != 0 && mr.first_cluster <= end2) {
                reachable = true;
                mr.old_pass = true;
            } else {
                mr.outside_ring = true;
            }
        }
        // The recording list's own filters.
        const int64_t duration = secs(mr.end_time) - secs(mr.start_time);
        const bool too_short = mr.av != 0 && duration < 3;
        const CivilTime s = unpack_time(mr.start_time), e = unpack_time(mr.end_time);
        const bool crosses_day = r.stream_type == 3 && (s.year != e.year || s.month != e.month || s.day != e.day);
        mr.listed = reachable && !r.deleted && r.alarm < 32 && mr.file_len_kb > 0 && !too_short && !crosses_day;
        if (mr.listed) days[pi].insert(pack_time(s.year, s.month, s.day, 0, 0, 0));
        if (!run.overwritten && ((mr.first_cluster <= cur) ||
                                 (end2 != 0 && mr.first_cluster >= start2 && mr.first_cluster <= end2)))
            calendar[pi].insert(pack_time(s.year, s.month, s.day, 0, 0, 0));

        // What a recovery scan finds of it: the whole recording when it was
        // deleted and still starts at its own first cluster; when a later
        // recording took that cluster, every run of consecutive chain
        // positions whose clusters are still its own.
        ManifestRecovered base;
        base.recording = run.id;
        base.disk = m_disk.disk_no;
        base.partition = mr.partition;
        base.channel = mr.channel;
        base.stream_type = mr.stream_type;
        base.av = mr.av;
        base.sec_per_clus = spc;
        base.content = run.content;
        if (r.deleted && !run.overwritten && !run.chain.empty()) {
            ManifestRecovered d = base;
            d.deleted = true;
            d.damaged = run.damaged;
            d.alarm = kAlarmDeleted;
            d.first_cluster = run.chain[0];
            d.clusters = run.chain;
            d.start_time = mr.start_time;
            d.end_time = mr.end_time;
            d.length_sectors = mr.length_sectors;
            d.header_bytes = mr.header_bytes;
            recovered.push_back(std::move(d));
        }
        if (run.overwritten) {
            const uint32_t n = static_cast<uint32_t>(run.chain.size());
            for (uint32_t a = 0; a < n;) {
                if (!w.holds(run.chain[a], run.id, a)) {
                    ++a;
                    continue;
                }
                uint32_t b = a;
                while (b + 1 < n && w.holds(run.chain[b + 1], run.id, b + 1)) ++b;
                ManifestRecovered f = base;
                f.alarm = r.alarm;
                f.first_cluster = run.chain[a];
                f.lost_first_cluster = run.chain[0];
                f.clusters.assign(run.chain.begin() + a, run.chain.begin() + b + 1);
                f.first_index = a;
                // The records carry the length of a reserved header; one
                // marked "DHII" in the lost first cluster is gone with it.
                f.header_bytes = mr.head_sectors * 512;
                const DirItem first_item = w.final_item(run.chain[a]);
                const DirItem last_item = w.final_item(run.chain[b]);
                f.start_time = first_item.start_time;
                f.end_time = last_item.end_time;
                const uint32_t el = last_item.end_length;
                f.length_sectors = static_cast<uint64_t>(b - a) * spc + (el != 0 && el < spc ? el : spc);
                recovered.push_back(std::move(f));
                a = b + 1;
            }
        }
        m.recordings.push_back(std::move(mr));
    }
    std::sort(recovered.begin(), recovered.end(), [](const ManifestRecovered &x, const ManifestRecovered &y) {
        return x.partition != y.partition ? x.partition < y.partition : x.first_cluster < y.first_cluster;
    });
    m.recovered = std::move(recovered);
    for (size_t i = 0; i < nparts; ++i) {
        m.partitions[i].days.assign(days[i].begin(), days[i].end());
        m.partitions[i].calendar_days.assign(calendar[i].begin(), calendar[i].end());
    }

    for (const Patch &p : m_patches) img.write(base + p.sector, p.bytes.data(), p.bytes.size(), p.offset);
    if (!img.close()) return bad(error, img.error());
    if (out) *out = std::move(m);
    return true;
}

bool build_simple_image(const std::string &path, const std::vector<RecordingPlan> &recordings, Manifest *out,
                        std::string *error) {
    ImageBuilder b{DiskPlan{}};
    for (const RecordingPlan &r : recordings) b.add(r);
    return b.build(path, out, error);
}

}  // namespace testimg
