// The per-cluster records read and written through the block cache of a
// real (in-memory) volume: directory items, their times, the setters and
// their backup copies, the extended items, file-info records, the user-data
// ring and the index predicates.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/wfs/volume/mini_volume.h"
#include "wfs/cache/cache.h"
#include "wfs/common/log.h"
#include "wfs/file/file_info.h"
#include "wfs/file/records.h"
#include "wfs/file/user_data.h"
#include "wfs/volume/mount.h"

namespace {

std::vector<std::string> g_messages;

void capture(WfsLogKind, const char *, const char *text, void *) { g_messages.push_back(text); }

bool said(const std::string &needle)
{
    for (const std::string &m : g_messages)
        if (m.find(needle) != std::string::npos)
            return true;
    return false;
}

class Records : public ::testing::Test {
protected:
    void SetUp() override
    {
        wfs_log_set_route(WFS_LOG_SILENT);
        wfs_log_set_hook(capture, nullptr);
        g_messages.clear();
        vol.head();
        mini::Part p;
        p.current = 40;
        p.start_time1 = mini::ptime(2024, 5, 1, 10, 0, 0);
        p.end_time1 = mini::ptime(2024, 5, 1, 11, 0, 0);
        vol.partition(0, p);
    }
    void TearDown() override { wfs_log_set_hook(nullptr, nullptr); }

    DriverParam *mount()
    {
        vol.attach();
        int n = 0;
        wfs_file_sys_init(&n, 0);
        return get_pdp(0, 0);
    }

    // The 32 raw bytes of cluster c in an area, read straight from the cache.
    std::vector<uint8_t> raw(DriverParam *pdp, uint32_t area, uint32_t c)
    {
        BufferHead *bh = bread(0, pdp->start_sector + area + c / 16);
        EXPECT_NE(bh, nullptr);
        std::vector<uint8_t> out(bh->data + (c % 16) * 32, bh->data + (c % 16) * 32 + 32);
        release_block(bh);
        return out;
    }

    // Pushes every cached block out by reading many others.
    void churn_cache(DriverParam *pdp)
    {
        for (uint32_t s = 0; s < 300; ++s) {
            BufferHead *bh = bread(0, pdp->start_sector + pdp->data_offset + s);
            release_block(bh);
        }
    }

    mini::Volume vol;
};

TEST_F(Records, DirectoryItemFieldsDecodeFromTheirOffsets)
{
    mini::Dir d;
    d.alarm = 3;
    d.flag = 2;
    d.item_num = 0x1234;
    d.up = 0x01020304;
    d.down = 0xFFFFFFFF;
    d.start = mini::ptime(2024, 5, 1, 10, 0, 0);
    d.end = mini::ptime(2024, 5, 1, 10, 5, 0);
    d.head = 2;
    d.end_length = 4000;
    d.first = 77;
    d.attr = 0xEA;  // bits: sub_type 2, sub_type2 1, keep 1, high 3
    d.stream = 9;
    d.repeat = 200;
    d.channel = 63;
    d.av = 1;
    vol.dir(0, 77, d);
    DriverParam *pdp = mount();
    ASSERT_NE(pdp, nullptr);

    dir_item it;
    ASSERT_EQ(get_dir_item_info(pdp, 77, &it), FS_OK);
    EXPECT_EQ(it.alarm, 3);
    EXPECT_EQ(it.dir_flag, 2);
    EXPECT_EQ(it.item_num, 0x1234);
    EXPECT_EQ(it.up_cluster_no, 0x01020304u);
    EXPECT_EQ(it.down_cluster_no, DIR_DOWN_OPEN);
    EXPECT_EQ(it.start_time, d.start);
    EXPECT_EQ(it.end_time, d.end);
    EXPECT_EQ(it.head_sectors, 2);
    EXPECT_EQ(it.end_length, 4000);
    EXPECT_EQ(it.first_cluster_no, 77u);
    EXPECT_EQ(it.sub_type, 2);
    EXPECT_EQ(it.sub_type2, 1);
    EXPECT_EQ(it.keep_flag, 1);
    EXPECT_EQ(it.attr_high, 3);
    EXPECT_EQ(dir_item_attr_bits(&it), 7u);
    EXPECT_EQ(it.stream_type, 9);
    EXPECT_EQ(it.repeat_no, 200);
    EXPECT_EQ(it.channel, 63);
    EXPECT_EQ(it.AV, 1);

    // Encoding gives back the same bytes.
    uint8_t again[32];
    dir_item_encode(&it, again);
    EXPECT_EQ(std::vector<uint8_t>(again, again + 32), raw(pdp, pdp->dir_offset, 77));
    EXPECT_EQ(dir_item_length_sectors(&it, 4096), 0x1234ull * 4096 + 4000);
}

TEST_F(Records, ClusterNumbersAreBoundedByTotalCluster)
{
    DriverParam *pdp = mount();
    ASSERT_NE(pdp, nullptr);
    dir_item it;
    wfs_time t;
    // total_cluster itself is still inside the area (its spare records).
    EXPECT_EQ(get_dir_item_info(pdp, pdp->total_cluster, &it), FS_OK);
    g_messages.clear();
    EXPECT_EQ(get_dir_item_info(pdp, pdp->total_cluster + 1, &it), FS_BAD_CLUSTER);
    EXPECT_TRUE(said("GET_DIR_ITEM(0 1001 get_dir_item_info) failed"));
    EXPECT_EQ(get_dir_item_time(pdp, 0xFFFFFFFFu, &t), FS_BAD_CLUSTER);
    EXPECT_EQ(get_dir_item_time1(pdp, 5000, &t), FS_BAD_CLUSTER);
    EXPECT_EQ(set_dir_item_info(pdp, 1002, &it, false), FS_BAD_CLUSTER);
    EXPECT_EQ(set_dir_last_item(pdp, 0x80000000u, 1, 1, true), FS_BAD_CLUSTER);
    uint8_t b;
    EXPECT_EQ(get_index_item(pdp, 1001, &b), FS_BAD_CLUSTER);
    file_info_v2 fi;
    EXPECT_EQ(fill_file_info_v2(pdp, 1001, &fi), FS_BAD_CLUSTER);
}

TEST_F(Records, EndTimeOfACluster)
{
    uint32_t t0 = mini::ptime(2024, 5, 1, 10, 0, 0);
    mini::Dir linked;
    linked.start = t0;
    linked.end = mini::ptime(2024, 5, 1, 10, 0, 30);
    linked.down = 11;
    vol.dir(0, 10, linked);
    mini::Dir next;
    next.flag = 1;
    next.start = mini::ptime(2024, 5, 1, 10, 0, 31);
    next.end = next.start;  // a last cluster closed in the second it began
    vol.dir(0, 11, next);
    mini::Dir closed;
    closed.start = t0;
    closed.end = mini::ptime(2024, 5, 1, 10, 1, 0);
    vol.dir(0, 12, closed);
    mini::Dir wild;  // links far outside the partition
    wild.start = t0;
    wild.end = mini::ptime(2024, 5, 1, 10, 2, 0);
    wild.down = 0x7FFFFFFF;
    vol.dir(0, 13, wild);
    DriverParam *pdp = mount();
    ASSERT_NE(pdp, nullptr);

    wfs_time t = 0;
    ASSERT_EQ(get_dir_item_time1(pdp, 10, &t), FS_OK);
    EXPECT_EQ(t, next.start) << "a linked cluster ends where the next one starts";
    ASSERT_EQ(get_dir_item_time1(pdp, 11, &t), FS_OK);
    EXPECT_EQ(t, mini::ptime(2024, 5, 1, 10, 0, 32)) << "a closed cluster lasts at least one second";
    ASSERT_EQ(get_dir_item_time1(pdp, 12, &t), FS_OK);
    EXPECT_EQ(t, closed.end);
    ASSERT_EQ(get_dir_item_time1(pdp, 13, &t), FS_OK);
    EXPECT_EQ(t, wild.end);
    ASSERT_EQ(get_dir_item_time(pdp, 11, &t), FS_OK);
    EXPECT_EQ(t, next.start);
}

TEST_F(Records, SettersChangeBothDirectoryCopiesAndSurviveTheCache)
{
    vol.recording(0, {20, 21, 22}, 4, mini::ptime(2024, 5, 1, 10, 0, 0), 60);
    DriverParam *pdp = mount();
    ASSERT_NE(pdp, nullptr);

    wfs_time end = mini::ptime(2024, 5, 1, 10, 3, 30);
    ASSERT_EQ(set_dir_last_item(pdp, 21, 7, end, false), FS_OK);
    ASSERT_EQ(set_dir_first_item(pdp, 20, 7, 1, end, true), FS_OK);
    ASSERT_EQ(set_dir_item_up_clus(pdp, 20, 5, false), FS_OK);
    ASSERT_EQ(set_dir_file_alrm(pdp, 20, 2, false), FS_OK);
    ASSERT_EQ(set_dir_item_down_clus(pdp, 22, 23, true), FS_OK);
    ASSERT_EQ(set_dir_item_end_time(pdp, 22, end, 9, false), FS_OK);
    ASSERT_EQ(set_dir_last_item1(pdp, 22, false), FS_OK);

    churn_cache(pdp);
    for (uint32_t c : {20u, 21u, 22u})
        EXPECT_EQ(raw(pdp, pdp->dir_offset, c), raw(pdp, pdp->backdir_offset, c)) << "cluster " << c;

    dir_item it;
    ASSERT_EQ(get_dir_item_info(pdp, 21, &it), FS_OK);
    EXPECT_EQ(it.down_cluster_no, 0u);
    EXPECT_EQ(it.end_length, 7);
    EXPECT_EQ(it.end_time, end);
    ASSERT_EQ(get_dir_item_info(pdp, 20, &it), FS_OK);
    EXPECT_EQ(it.item_num, 1);
    EXPECT_EQ(it.end_time, end);
    EXPECT_EQ(it.up_cluster_no, 5u);
    EXPECT_EQ(it.alarm, 2);
    EXPECT_EQ(it.channel, 4) << "fields not named stay as they were";
    ASSERT_EQ(get_dir_item_info(pdp, 22, &it), FS_OK);
    EXPECT_EQ(it.down_cluster_no, 0u);
    EXPECT_EQ(it.end_length, 9);

    // A whole item written and read back.
    it.repeat_no = 99;
    it.keep_flag = 1;
    ASSERT_EQ(set_dir_item_info(pdp, 30, &it, true), FS_OK);
    churn_cache(pdp);
    dir_item back;
    ASSERT_EQ(get_dir_item_info(pdp, 30, &back), FS_OK);
    EXPECT_EQ(back.repeat_no, 99);
    EXPECT_EQ(back.keep_flag, 1);
    EXPECT_EQ(back.end_length, 9);

    // With backup writing off only the directory changes.
    wfs_set_backup_dir_writing(false);
    set_dir_file_alrm(pdp, 20, 5, false);
    wfs_set_backup_dir_writing(true);
    EXPECT_NE(raw(pdp, pdp->dir_offset, 20), raw(pdp, pdp->backdir_offset, 20));
}

TEST_F(Records, ExtendedItemsAndTheirAbsence)
{
    vol.recording(0, {20, 21}, 1, mini::ptime(2024, 5, 1, 10, 0, 0), 60);
    vol.ext(0, 20, 12, 34, 0x80000001u);
    DriverParam *pdp = mount();
    ASSERT_NE(pdp, nullptr);

    ext_dir_item e;
    ASSERT_EQ(get_ext_dir_item(pdp, 20, &e), FS_OK);
    EXPECT_EQ(e.attr1, 12);
    EXPECT_EQ(e.attr2, 34);
    EXPECT_EQ(e.mask, 0x80000001u);
    ASSERT_EQ(set_ext_dir_mask_bit(pdp, 20, 4, true), FS_OK);
    EXPECT_EQ(set_ext_dir_mask_bit(pdp, 20, 40, true), FS_OK);  // no such bit: nothing happens
    ASSERT_EQ(get_ext_dir_item(pdp, 20, &e), FS_OK);
    EXPECT_EQ(e.mask, 0x80000011u);
    EXPECT_EQ(e.attr1, 12);

    file_info_v2 fi;
    fi.ext_mask = 0x5555;
    ASSERT_EQ(fill_file_info_v2(pdp, 20, &fi), FS_OK);
    EXPECT_EQ(fi.ext_attr1, 12);
    EXPECT_EQ(fi.ext_attr2, 34);
    EXPECT_EQ(fi.ext_mask, 0x80000011u);

    // Without an extended area: status 2, and file info carries the defaults
    // with the caller's mask left alone.
    pdp->ext_dir_offset = 0;
    EXPECT_EQ(get_ext_dir_item(pdp, 20, &e), FS_NO_EXT_DIR);
    EXPECT_EQ(set_ext_dir_mask_bit(pdp, 20, 1, false), FS_NO_EXT_DIR);
    fi.ext_mask = 0x5555;
    ASSERT_EQ(fill_file_info_v2(pdp, 20, &fi), FS_OK);
    EXPECT_EQ(fi.ext_attr1, 63);
    EXPECT_EQ(fi.ext_attr2, 0);
    EXPECT_EQ(fi.ext_mask, 0x5555u);
}

TEST_F(Records, FileInfoFromAFirstCluster)
{
    mini::Dir d;
    d.alarm = 1;  // "A": carries user data
    d.flag = 2;
    d.item_num = 2;
    d.up = 3;     // user-data item 3
    d.start = mini::ptime(2024, 5, 1, 10, 0, 0);
    d.end = mini::ptime(2024, 5, 1, 10, 3, 0);
    d.end_length = 5;
    d.first = 50;
    d.attr = 0x20 | 0x08 | 0x05;  // keep, sub_type2 1, sub_type 5
    d.stream = 0x13;
    d.repeat = 7;
    d.channel = 9;
    d.av = 2;
    vol.dir(0, 50, d);
    // user-data item 3 (16 bytes at ud_offset + 3 * 16)
    uint8_t ud[16] = {0x21, 0x43, 0x65, 0x87, 0x09, 0x21, 0x43, 0x65, 0x87, 0x09, 2, 0, 50, 0, 0, 0};
    vol.put(vol.part(0).start + vol.part(0).ud_offset, 3 * 16, ud, 16);
    DriverParam *pdp = mount();
    ASSERT_NE(pdp, nullptr);

    file_info_v2 v2;
    ASSERT_EQ(fill_file_info_v2(pdp, 50, &v2), FS_OK);
    EXPECT_EQ(v2.channel, 9);
    EXPECT_EQ(v2.alarm, 1);
    EXPECT_EQ(v2.av, 2);
    EXPECT_EQ(v2.repeat_no, 7);
    EXPECT_EQ(v2.disk, 0);
    EXPECT_EQ(v2.part, 0);
    EXPECT_EQ(v2.sub_type, 5);
    EXPECT_EQ(v2.sub_type2, 1);
    EXPECT_EQ(v2.type_bits, 0x13) << "high nibble bits 5-7 of byte 28 (1), low nibble stream type (3)";
    EXPECT_EQ(v2.start_time, d.start);
    EXPECT_EQ(v2.end_time, d.end);
    EXPECT_EQ(v2.file_len, (2u * 8 + 5) / 2);
    EXPECT_EQ(v2.up_cluster_no, 3u);
    EXPECT_EQ(v2.first_cluster_no, 50u);

    file_info v1;
    ASSERT_EQ(fill_file_info(pdp, 50, &v1), FS_OK);
    EXPECT_EQ(v1.stream_type, 0x13);
    EXPECT_EQ(v1.disk, 0u);
    EXPECT_EQ(v1.file_len, v2.file_len);
    EXPECT_EQ(std::vector<uint8_t>(v1.user_data, v1.user_data + 12), std::vector<uint8_t>(ud, ud + 12));

    // The user-data item belongs to another recording: nothing is copied.
    set_dir_item_up_clus(pdp, 50, 4, false);
    ASSERT_EQ(fill_file_info(pdp, 50, &v1), FS_OK);
    EXPECT_EQ(std::vector<uint8_t>(v1.user_data, v1.user_data + 12), std::vector<uint8_t>(12, 0));
}

TEST_F(Records, UserDataRing)
{
    DriverParam *pdp = mount();
    ASSERT_NE(pdp, nullptr);
    pdp->generation = 3;
    uint8_t card[UD_DATA_SIZE] = {0x21, 0x43, 0x65, 0x87, 0x09, 0x21, 0x43, 0x65, 0x87, 0x09, 1, 0};
    uint32_t n = 0;
    ASSERT_EQ(ud_add_item(pdp, 100, card, &n), FS_OK);
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(pdp->ud_last_item, 2u);

    uint8_t out[UD_DATA_SIZE];
    ASSERT_EQ(ud_get_item(pdp, 1, 100, out), FS_OK);
    EXPECT_EQ(out[11], 3) << "the generation byte is the partition's";
    EXPECT_EQ(out[0], 0x21);
    EXPECT_EQ(ud_get_item(pdp, 1, 101, out), FS_NO_USER_DATA);
    EXPECT_EQ(ud_get_item(pdp, 0, 100, out), FS_NO_USER_DATA);
    EXPECT_EQ(ud_get_item(pdp, 64, 100, out), FS_NO_USER_DATA) << "beyond the ring";
    EXPECT_EQ(ud_get_item(pdp, 0xFFFFFFFFu, 100, out), FS_NO_USER_DATA);

    // Numbering wraps from the last item back to 1.
    for (int i = 0; i < 62; ++i)
        ud_add_item(pdp, 200 + i, card, &n);
    EXPECT_EQ(n, 63u);
    EXPECT_EQ(pdp->ud_last_item, 1u);

    // Items of an older generation below the current cluster are dropped
    // from the front of the ring.
    DriverParam *fresh = pdp;
    fresh->ud_first_item = 1;
    fresh->ud_last_item = 3;
    fresh->current_cluster = 250;
    fresh->generation = 4;  // items 1 and 2 (clusters 100, 200, generation 3) are stale
    ASSERT_EQ(ud_check_item(fresh), FS_OK);
    EXPECT_EQ(fresh->ud_first_item, 3u) << "items 1 and 2 are both stale";
    EXPECT_EQ(ud_get_item(fresh, 1, 100, out), FS_NO_USER_DATA);

    // Card queries: 0xF nibbles and kind 0xFF are wildcards.
    uint8_t q[UD_DATA_SIZE];
    std::memcpy(q, card, sizeof q);
    EXPECT_TRUE(ud_card_matches(q, card));
    q[0] = 0xF1;
    q[10] = 0xFF;
    EXPECT_TRUE(ud_card_matches(q, card));
    q[0] = 0x22;
    EXPECT_FALSE(ud_card_matches(q, card));
    q[0] = 0x21;
    q[10] = 2;
    EXPECT_FALSE(ud_card_matches(q, card));
}

TEST_F(Records, ClusterPredicatesFromIndexFlagAndKeepFlag)
{
    dir_item kept{};
    kept.keep_flag = 1;
    dir_item loose{};

    // 0x0B: channel 2, flag 3
    EXPECT_EQ(index_item_channel(0x0B), 2u);
    EXPECT_EQ(index_item_flag(0x0B), 3u);
    EXPECT_FALSE(clus_pred_in_use(0x0B, &loose));
    EXPECT_FALSE(clus_pred_in_use(0x0B, nullptr));
    EXPECT_TRUE(clus_pred_in_use(0x0B, &kept));
    kept.dir_flag = DIR_FLAG_KEPT_FIRST;
    EXPECT_TRUE(clus_pred_record_start(0x0B, &kept));
    EXPECT_FALSE(clus_pred_continuation(0x0B, &kept));
    kept.dir_flag = DIR_FLAG_KEPT_CONT;
    EXPECT_FALSE(clus_pred_record_start(0x0B, &kept));
    EXPECT_TRUE(clus_pred_continuation(0x0B, &kept));

    for (uint8_t flag : {0, 1, 2})
        EXPECT_TRUE(clus_pred_in_use(uint8_t(0x40 | flag), nullptr));
    EXPECT_TRUE(clus_pred_continuation(0x40, nullptr));
    EXPECT_FALSE(clus_pred_continuation(0x42, nullptr));
    EXPECT_TRUE(clus_pred_record_start(0x41, nullptr));
    EXPECT_TRUE(clus_pred_record_start(0x42, nullptr));
    EXPECT_FALSE(clus_pred_record_start(0x40, nullptr));

    EXPECT_EQ(index_flag_for_dir_flag(0), 0u);
    EXPECT_EQ(index_flag_for_dir_flag(1), 0u);
    EXPECT_EQ(index_flag_for_dir_flag(2), 2u);
    EXPECT_EQ(index_flag_for_dir_flag(3), 1u);
    EXPECT_EQ(index_flag_for_dir_flag(0xFE), 3u);
}

TEST_F(Records, IndexBytesChangeOnlyOnClustersInUse)
{
    vol.recording(0, {20, 21}, 5, mini::ptime(2024, 5, 1, 10, 0, 0), 60);
    vol.index(0, 30, 0x0B);  // bad cluster
    DriverParam *pdp = mount();
    ASSERT_NE(pdp, nullptr);

    ASSERT_EQ(set_index_item_info(pdp, 21, 0x16, true), FS_OK);
    ASSERT_EQ(set_index_item_info(pdp, 30, 0x14, true), FS_OK);
    churn_cache(pdp);
    uint8_t b = 0;
    ASSERT_EQ(get_index_item(pdp, 21, &b), FS_OK);
    EXPECT_EQ(b, 0x16);
    ASSERT_EQ(get_index_item(pdp, 30, &b), FS_OK);
    EXPECT_EQ(b, 0x0B) << "a cluster that is not in use keeps its byte";

    pdp->index_offset = 0;
    EXPECT_EQ(get_index_item(pdp, 21, &b), FS_NO_INDEX_AREA);
}

}  // namespace
