// The simulated recorder: formats the image and records the schedule of
// the options into it through the WFS writer.
#pragma once

#include <string>

#include "options.h"

namespace mkdisk {

struct Summary {
    int recordings = 0;       // closed video recordings (pieces of a split included)
    int pictures = 0;
    int deleted = 0;
    bool wrapped = false;
    bool collision = false;
    bool unclosed = false;
    double seconds_of_video = 0;
};

// 0 on success; otherwise *err says why.
int make_disk(const Options &o, Summary *sum, std::string *err);

}  // namespace mkdisk
