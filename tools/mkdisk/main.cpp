// orvelle-mkdisk: makes a recorder disk image and records into it through
// the WFS writer, as a recorder would - several channels at once, H.264 or
// H.265 video showing the channel and the time, sound, recording types, split
// recordings and, on request, the odd things real disks show (a wrapped
// ring, a time collision, an unclosed recording, a "DHII" header, pictures,
// a deleted recording). The same options and seed make the same image.
#include <cstdio>
#include <cstring>
#include <string>

#include "options.h"
#include "recorder.h"

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("orvelle-mkdisk %s\n", ORVELLE_VERSION);
            return 0;
        }
    }
    mkdisk::Options o;
    bool help = false;
    std::string err;
    if (!mkdisk::parse_options(argc, argv, &o, &help, &err)) {
        std::fprintf(stderr, "orvelle-mkdisk: %s\n%s", err.c_str(), mkdisk::usage_text());
        return 2;
    }
    if (help) {
        std::fputs(mkdisk::usage_text(), stdout);
        return 0;
    }
    mkdisk::Summary sum;
    if (mkdisk::make_disk(o, &sum, &err) != 0) {
        std::fprintf(stderr, "orvelle-mkdisk: %s\n", err.c_str());
        return 1;
    }
    std::printf("%s: %d recordings on %d channels over %d days (%.0f channel-seconds of video)", o.out.c_str(),
                sum.recordings, o.channels, o.days, sum.seconds_of_video);
    if (sum.pictures)
        std::printf(", %d pictures", sum.pictures);
    if (sum.wrapped)
        std::printf(", ring wrapped");
    if (sum.collision)
        std::printf(", time collision");
    if (sum.unclosed)
        std::printf(", last recording left open");
    if (sum.deleted)
        std::printf(", %d deleted", sum.deleted);
    std::printf("\n");
    return 0;
}
