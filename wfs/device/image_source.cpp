#include "wfs/device/image_source.h"

#include <cerrno>

std::string image_problem_text(const ImageOpenError &why)
{
    const std::string &s = why.segment;
    switch (why.problem) {
    case IMAGE_SEGMENT_MISSING:
        return "segment " + s + " is missing";
    case IMAGE_SEGMENT_SHORT:
        return "segment " + s + " is cut short";
    case IMAGE_SEGMENT_DAMAGED:
        return "segment " + s + " is damaged";
    case IMAGE_SEGMENT_UNREADABLE:
        return "segment " + s + " cannot be opened";
    case IMAGE_SEGMENT_TOO_LONG:
        return "segment " + s + " is longer than the first segment";
    case IMAGE_NOT_FIRST_SEGMENT:
        return "not the first segment of a split image (" + s + " comes before it)";
    case IMAGE_SET_DAMAGED:
        return "the image set " + s + " cannot be read";
    default:
        return std::string();
    }
}

int image_source_open(const char *path, BlockDevice **out, ImageOpenError *why)
{
    if (!path || !out)
        return EINVAL;
    *out = nullptr;
    if (why)
        *why = ImageOpenError();
    // Content first: an EWF segment is one whatever it is called. Split raw
    // images have no signature of their own, only their names.
    if (ewf_signature(path))
        return ewf_device_open(path, out, why);
    if (split_raw_name(path, nullptr) != SPLIT_RAW_NONE)
        return split_raw_device_open(path, out, why);
    return image_device_open(path, out);
}
