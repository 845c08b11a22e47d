// Opening an image file of a recorder disk in whatever form it comes: an
// Expert Witness Format set (recognised by its signature), a split raw image
// (recognised by the name of its first segment, "NAME.000" or "NAME.001"), or
// a plain raw image (everything else). All three are read-only.
#pragma once

#include <string>

#include "wfs/device/block_device.h"

// What is wrong with an image set, beyond what an errno value says.
enum ImageProblem {
    IMAGE_PROBLEM_NONE = 0,
    IMAGE_SEGMENT_MISSING,    // a segment of the set is not there
    IMAGE_SEGMENT_SHORT,      // a segment ends early (cut short, or still being copied)
    IMAGE_SEGMENT_DAMAGED,    // a segment's structure cannot be read
    IMAGE_SEGMENT_UNREADABLE, // a segment cannot be opened (permission, not a file)
    IMAGE_SEGMENT_TOO_LONG,   // split raw: a segment before the last is longer than the first
    IMAGE_NOT_FIRST_SEGMENT,  // split raw: the file given follows another segment
    IMAGE_SET_DAMAGED,        // the library refuses the set without naming a segment
};

struct ImageOpenError {
    int problem = IMAGE_PROBLEM_NONE;
    std::string segment;  // the file the problem is about
};

// "segment /x/disk.E03 is missing" ...; empty for IMAGE_PROBLEM_NONE.
std::string image_problem_text(const ImageOpenError &why);

// Opens `path` read-only as the right backend. 0 and *out set, or an errno
// value (ENOENT, EACCES ...); for a damaged set also *why (may be null).
int image_source_open(const char *path, BlockDevice **out, ImageOpenError *why);

// The backends themselves.
// EWF: `path` is the first segment; the library finds the rest. Capacity is
// the media size the image records.
bool ewf_signature(const char *path);
int ewf_device_open(const char *path, BlockDevice **out, ImageOpenError *why);

// Split raw: segments "NAME.000" or "NAME.001", then counting up with the
// same number of digits (three or more). The segment size is that of the
// first segment; the last may be shorter.
enum SplitRawName {
    SPLIT_RAW_NONE,   // not named like a segment (or a number above 1 with no segment before it)
    SPLIT_RAW_FIRST,  // "NAME.000", or "NAME.001" with no "NAME.000"
    SPLIT_RAW_LATER,  // a segment that follows another one, which exists
};
// *previous (may be null) receives the segment before a SPLIT_RAW_LATER one.
SplitRawName split_raw_name(const char *path, std::string *previous);
int split_raw_device_open(const char *path, BlockDevice **out, ImageOpenError *why);
