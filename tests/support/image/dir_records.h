// Per-cluster records of a WFS partition: the 32-byte directory record (also
// mirrored in the backup directory), the one-byte index record and the
// 32-byte extended directory record.
#pragma once

#include <cstdint>

namespace testimg {

constexpr uint32_t kDirRecordSize = 32;
constexpr uint32_t kDirRecordsPerSector = 16;
constexpr uint32_t kIndexRecordsPerSector = 512;

// dir_flag values.
constexpr uint8_t kDirContinuation = 1;
constexpr uint8_t kDirFirst = 2;
constexpr uint8_t kDirFirstSpecial = 3;  // first cluster written in special mode
constexpr uint8_t kDirNeverWritten = 0xFE;
constexpr uint8_t kDirUnusable = 0xFF;   // what the format leaves in reserved clusters

constexpr uint32_t kDownOpen = 0xFFFFFFFF;  // still being written past this cluster
constexpr uint8_t kAlarmDeleted = 32;

// index flag values (bits 1-0 of the index byte).
constexpr uint8_t kIndexContinuation = 0;
constexpr uint8_t kIndexFirstSpecial = 1;
constexpr uint8_t kIndexFirst = 2;
constexpr uint8_t kIndexNotWritable = 3;

struct DirItem {
    uint8_t alarm = 0;                 // recording type code (32 = deleted)
    uint8_t dir_flag = kDirNeverWritten;
    uint16_t item_num = 0;             // first cluster: last index; others: own index
    uint32_t up_cluster_no = 0;        // previous cluster; first cluster: user-data item (0 = none)
    uint32_t down_cluster_no = 0;      // next cluster, 0 in the last, kDownOpen while open
    uint32_t start_time = 0;           // packed
    uint32_t end_time = 0;             // packed
    uint16_t head_sectors = 0;
    uint16_t end_length = 0;           // sectors used in the last cluster
    uint32_t first_cluster_no = 0;
    uint8_t sub_type = 0;              // byte 28 bits 0-2
    uint8_t sub_type2 = 0;             // byte 28 bits 3-4
    uint8_t high_bits = 0;             // byte 28 bits 5-7 (bit 5 = keep_flag)
    uint8_t stream_type = 0;
    uint8_t repeat_no = 0;
    uint8_t channel = 0;               // 0..63
    uint8_t av = 0;                    // 0 picture, nonzero video
};

void encode_dir_item(const DirItem &d, uint8_t out[32]);
DirItem decode_dir_item(const uint8_t in[32]);

inline uint8_t index_byte(uint8_t channel, uint8_t flag) {
    return static_cast<uint8_t>((channel & 0x3F) << 2 | (flag & 3));
}

struct ExtDirItem {
    uint8_t attr1 = 63;
    uint8_t attr2 = 0;
    uint32_t mask = 0;
};

void encode_ext_dir_item(const ExtDirItem &e, uint8_t out[32]);

}  // namespace testimg
