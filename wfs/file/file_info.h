// Descriptions of one recording as the library hands them to its callers.
//
// file_info_v2 is what the recording list (wfs_file_list) returns and what the
// record catalogue is built from; file_info is the older record used by the
// library's own listings. Both are filled from the directory item of a
// recording's first cluster (fill_file_info_v2 / fill_file_info).
#pragma once

#include <cstdint>

struct file_info_v2 {
    uint8_t channel;            // 0-based channel
    uint8_t alarm;              // recording type code (see wfs_type_letter)
    uint8_t av;                 // 0 picture recording, non-zero video recording
    uint8_t repeat_no;          // sequence number of the recording
    uint8_t disk;               // disk number (letter 'a' + disk in path names)
    uint8_t part;               // partition number on that disk
    uint8_t sub_type;           // bits 0-2 of directory byte 28
    uint8_t type_bits;          // high nibble: bits 5-7 of byte 28; low nibble: stream_type & 0xF
    uint32_t start_time;        // wfs_time of the recording's start
    uint32_t end_time;          // wfs_time of the recording's end
    uint32_t file_len;          // length in KB: (item_num * sec_per_clus + end_length) / 2
    uint32_t up_cluster_no;     // of the first cluster (user-data item number)
    uint32_t first_cluster_no;  // first cluster: the recording's identity on the partition
    uint8_t ext_attr1;          // extended item byte 0; 63 when there is no extended area
    uint8_t ext_attr2;          // extended item byte 1; 0 when there is no extended area
    uint8_t sub_type2;          // bits 3-4 of directory byte 28
    uint32_t ext_mask;          // extended item mask; left unchanged when there is none
};

// Stream type of a listed recording (low nibble of type_bits).
inline unsigned file_info_v2_stream_type(const file_info_v2 *fi) { return fi->type_bits & 0x0Fu; }

struct file_info {
    uint8_t channel;
    uint8_t alarm;
    uint8_t sub_type;
    uint8_t av;
    uint8_t stream_type;
    uint8_t repeat_no;
    uint32_t start_time;
    uint32_t end_time;
    uint32_t file_len;          // KB
    uint32_t disk;
    uint32_t part;
    uint32_t first_cluster_no;
    uint32_t up_cluster_no;
    uint8_t user_data[12];      // card number; filled only when alarm & 3
};
