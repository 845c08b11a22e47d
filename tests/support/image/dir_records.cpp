#include "tests/support/image/dir_records.h"

#include <cstring>

#include "tests/support/image/le_bytes.h"

namespace testimg {

namespace {
// dir_item byte offsets.
constexpr int DI_ALARM = 0;         // u8
constexpr int DI_FLAG = 1;          // u8 dir_flag
constexpr int DI_ITEM_NUM = 2;      // u16
constexpr int DI_UP = 4;            // u32 up_cluster_no
constexpr int DI_DOWN = 8;          // u32 down_cluster_no
constexpr int DI_START = 12;        // u32 start_time
constexpr int DI_END = 16;          // u32 end_time
constexpr int DI_HEAD = 20;         // u16 head_sectors
constexpr int DI_END_LENGTH = 22;   // u16 end_length
constexpr int DI_FIRST = 24;        // u32 first_cluster_no
constexpr int DI_BITS = 28;         // u8 sub_type | sub_type2 << 3 | high bits << 5
constexpr int DI_STREAM = 29;       // u8 stream_type
constexpr int DI_REPEAT = 30;       // u8 repeat_no
constexpr int DI_CHANNEL_AV = 31;   // u8 channel << 2 | AV

// ext_dir_item byte offsets.
constexpr int EX_ATTR1 = 0;  // u8
constexpr int EX_ATTR2 = 1;  // u8
constexpr int EX_MASK = 4;   // u32
}  // namespace

void encode_dir_item(const DirItem &d, uint8_t o[32]) {
    std::memset(o, 0, 32);
    put_u8(o + DI_ALARM, d.alarm);
    put_u8(o + DI_FLAG, d.dir_flag);
    put_u16(o + DI_ITEM_NUM, d.item_num);
    put_u32(o + DI_UP, d.up_cluster_no);
    put_u32(o + DI_DOWN, d.down_cluster_no);
    put_u32(o + DI_START, d.start_time);
    put_u32(o + DI_END, d.end_time);
    put_u16(o + DI_HEAD, d.head_sectors);
    put_u16(o + DI_END_LENGTH, d.end_length);
    put_u32(o + DI_FIRST, d.first_cluster_no);
    put_u8(o + DI_BITS, static_cast<uint8_t>((d.sub_type & 7) | (d.sub_type2 & 3) << 3 |
                                             (d.high_bits & 7) << 5));
    put_u8(o + DI_STREAM, d.stream_type);
    put_u8(o + DI_REPEAT, d.repeat_no);
    put_u8(o + DI_CHANNEL_AV, static_cast<uint8_t>((d.channel & 0x3F) << 2 | (d.av & 3)));
}

DirItem decode_dir_item(const uint8_t in[32]) {
    DirItem d;
    d.alarm = in[DI_ALARM];
    d.dir_flag = in[DI_FLAG];
    d.item_num = get_u16(in + DI_ITEM_NUM);
    d.up_cluster_no = get_u32(in + DI_UP);
    d.down_cluster_no = get_u32(in + DI_DOWN);
    d.start_time = get_u32(in + DI_START);
    d.end_time = get_u32(in + DI_END);
    d.head_sectors = get_u16(in + DI_HEAD);
    d.end_length = get_u16(in + DI_END_LENGTH);
    d.first_cluster_no = get_u32(in + DI_FIRST);
    d.sub_type = in[DI_BITS] & 7;
    d.sub_type2 = (in[DI_BITS] >> 3) & 3;
    d.high_bits = in[DI_BITS] >> 5;
    d.stream_type = in[DI_STREAM];
    d.repeat_no = in[DI_REPEAT];
    d.channel = in[DI_CHANNEL_AV] >> 2;
    d.av = in[DI_CHANNEL_AV] & 3;
    return d;
}

void encode_ext_dir_item(const ExtDirItem &e, uint8_t o[32]) {
    std::memset(o, 0, 32);
    put_u8(o + EX_ATTR1, e.attr1);
    put_u8(o + EX_ATTR2, e.attr2);
    put_u32(o + EX_MASK, e.mask);
}

}  // namespace testimg
