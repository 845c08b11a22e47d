// A fault-injecting block device for tests: passes reads through to an inner
// device and fails every read that touches a chosen sector.
#pragma once

#include "wfs/device/block_device.h"

// Wraps `inner`; when `own_inner` is true, closing the fault device closes
// the inner one too.
BlockDevice *fault_device_create(BlockDevice *inner, bool own_inner);

// Makes sectors [first, first + count) fail (physical sector numbers).
void fault_device_fail(BlockDevice *dev, uint64_t first, uint64_t count);
// Heals every failing sector.
void fault_device_clear(BlockDevice *dev);
// Reads that failed because of an injected fault.
uint64_t fault_device_failures(BlockDevice *dev);
