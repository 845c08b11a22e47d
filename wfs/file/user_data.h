// The user-data ring of a partition: 16-byte items that attach a card number
// to a recording.
//
// Item layout (at ud_offset, 32 items per sector):
//   0  10 bytes  card number, 20 digits, two per byte, low nibble first
//   10 u8        card kind (0xFF in a query matches any kind)
//   11 u8        the partition's generation counter when the item was written
//   12 u32       first cluster of the recording; 0 = empty item
// Item 0 is never used; numbering wraps from the last item (ud_item_count - 1)
// back to 1. ud_first_item is the oldest valid item, ud_last_item the next
// one to write.
#pragma once

#include <cstdint>

struct DriverParam;

const unsigned UD_ITEM_SIZE = 16;
const unsigned UD_DATA_SIZE = 12;   // card number, kind, generation
const uint8_t UD_ANY_KIND = 0xFF;

struct ud_item {
    uint8_t data[UD_DATA_SIZE];  // card number (10), kind, generation
    uint32_t first_cluster_no;   // 0 = empty
};

void ud_item_decode(const uint8_t *raw, ud_item *out);
void ud_item_encode(const ud_item *item, uint8_t *raw);

// Copies item "item_no"'s first 12 bytes when it belongs to the recording
// starting at first_cluster; FS_NO_USER_DATA otherwise, for item 0 and for
// numbers outside the ring.
unsigned ud_get_item(DriverParam *pdp, uint32_t item_no, uint32_t first_cluster, uint8_t out[UD_DATA_SIZE]);

// Stores 12 bytes for the recording at first_cluster at ud_last_item (byte
// 11 replaced by the partition's generation), advances the ring, drops stale
// items and saves the partition record. *item_no receives the item number.
unsigned ud_add_item(DriverParam *pdp, uint32_t first_cluster, const uint8_t data[UD_DATA_SIZE], uint32_t *item_no);

// Drops stale items from the front of the ring: while the oldest item is not
// the next one to write, lies below current_cluster and carries another
// generation, it is zeroed and the ring start advances.
unsigned ud_check_item(DriverParam *pdp);

// Clears the user-data area's first sector and resets the ring to 1 .. 1.
unsigned ud_init_area(DriverParam *pdp);

// Card comparison over the 20 digits: a nibble 0xF on either side matches
// anything; a query kind of 0xFF matches any kind.
bool ud_card_matches(const uint8_t query[UD_DATA_SIZE], const uint8_t item[UD_DATA_SIZE]);

// Traces "CardNO: ..." for a card number.
void ud_print_card(const uint8_t data[UD_DATA_SIZE]);
