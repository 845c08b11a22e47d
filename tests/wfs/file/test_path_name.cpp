// Recording path names: what the parser accepts and refuses, and that what the
// builders write parses back to the same recording.
#include <gtest/gtest.h>

#include <string>

#include "wfs/file/path_name.h"
#include "wfs/file/wfs_time.h"

namespace {

wfs_record_name parse_ok(const std::string &path)
{
    wfs_record_name n{};
    EXPECT_EQ(wfs_parse_record_name(path.c_str(), &n), 0) << path;
    return n;
}

bool parses(const std::string &path)
{
    wfs_record_name n{};
    return wfs_parse_record_name(path.c_str(), &n) == 0;
}

}  // namespace

TEST(RecordName, ReadsEveryComponentOfALibraryName)
{
    wfs_record_name n = parse_ok("/mnt/idec2/2024-05-01/001/08.09.10-11.12.13[A][@1a2b][7].h264");
    EXPECT_EQ(n.disk, 2);
    EXPECT_EQ(n.part, 2);
    EXPECT_EQ(n.year, 2024);
    EXPECT_EQ(n.month, 5);
    EXPECT_EQ(n.day, 1);
    EXPECT_EQ(n.channel, 0);  // directory 001 is channel 0
    EXPECT_EQ(n.start_h, 8);
    EXPECT_EQ(n.start_m, 9);
    EXPECT_EQ(n.start_s, 10);
    EXPECT_EQ(n.end_h, 11);
    EXPECT_EQ(n.end_m, 12);
    EXPECT_EQ(n.end_s, 13);
    EXPECT_EQ(n.alarm, 1u);
    EXPECT_EQ(n.first_cluster, 0x1A2Bu);
    EXPECT_EQ(n.hint, 7);
    EXPECT_TRUE(n.video);

    wfs_record_name pic = parse_ok("/mnt/idea0/2063-12-31/064/23.59.59-00.00.00[R][@0][0].jpg");
    EXPECT_FALSE(pic.video);
    EXPECT_EQ(pic.channel, 63);
    EXPECT_EQ(pic.first_cluster, 0u);
}

TEST(RecordName, CatalogueNamesWithZeroBasedChannelDirectoryParse)
{
    // The catalogue writes the 0-based channel; directory 000 reads as -1 and
    // the first cluster decides.
    wfs_record_name n = parse_ok("/mnt/idea1/2024-05-01/000/00.00.00-00.10.00[V][@ffffffff][3].h264");
    EXPECT_EQ(n.channel, -1);
    EXPECT_EQ(n.first_cluster, 0xFFFFFFFFu);
    EXPECT_EQ(n.alarm, 0u);  // only A, M, C, H are recognised when parsing
    EXPECT_EQ(n.letter, "V");
}

TEST(RecordName, MalformedNamesAreRefused)
{
    const char *bad[] = {
        "",
        "08.09.10-11.12.13[A][@1][0].h264",                           // no directories
        "/2024-05-01/001/08.09.10-11.12.13[A][@1][0].h264",           // no ide component
        "/mnt/ide/2024-05-01/001/08.09.10-11.12.13[A][@1][0].h264",   // no disk letter
        "/mnt/ideA0/2024-05-01/001/08.09.10-11.12.13[A][@1][0].h264", // upper-case letter
        "/mnt/idea/2024-05-01/001/08.09.10-11.12.13[A][@1][0].h264",  // no partition
        "/mnt/idea0/2024-5/001/08.09.10-11.12.13[A][@1][0].h264",     // date field count
        "/mnt/idea0/2024-13-01/001/08.09.10-11.12.13[A][@1][0].h264", // month 13
        "/mnt/idea0/2024-00-01/001/08.09.10-11.12.13[A][@1][0].h264", // month 0
        "/mnt/idea0/2024-05-00/001/08.09.10-11.12.13[A][@1][0].h264", // day 0
        "/mnt/idea0/1999-05-01/001/08.09.10-11.12.13[A][@1][0].h264", // before 2000
        "/mnt/idea0/2024-05-01/0x1/08.09.10-11.12.13[A][@1][0].h264", // letters in channel
        "/mnt/idea0/2024-05-01/065/08.09.10-11.12.13[A][@1][0].h264", // channel beyond 64
        "/mnt/idea0/2024-05-01/001/08.09-11.12.13[A][@1][0].h264",    // time field count
        "/mnt/idea0/2024-05-01/001/24.00.00-11.12.13[A][@1][0].h264", // hour 24
        "/mnt/idea0/2024-05-01/001/08.60.10-11.12.13[A][@1][0].h264", // minute 60
        "/mnt/idea0/2024-05-01/001/0a.09.10-11.12.13[A][@1][0].h264", // letter in time
        "/mnt/idea0/2024-05-01/001/08.09.10-11.12.13[A][@xyz][0].h264",      // not hex
        "/mnt/idea0/2024-05-01/001/08.09.10-11.12.13[A][@123456789][0].h264", // 9 hex digits
        "/mnt/idea0/2024-05-01/001/08.09.10-11.12.13[A][@1][0x].h264",       // junk number
        "/mnt/idea0/2024-05-01/001/08.09.10-11.12.13[A][@1][0]h264",         // no dot
        "/mnt/idea0/2024-05-01/001/08.09.10-11.12.13[A][@1][0].mp4",         // extension
        "/mnt/idea0/2024-05-01/001/08.09.10-11.12.13[ABCDEFGHIJ][@1][0].h264", // long type
        "/mnt/idea0/2024-05-01/001/08.09.10-11.12.13[A[@1][0].h264",          // unclosed
        "/mnt/idea0/2024-05-01/001/123.09.10-11.12.13[A][@1][0].h264",        // 3-digit hour
    };
    for (const char *p : bad)
        EXPECT_FALSE(parses(p)) << p;
    EXPECT_EQ(wfs_parse_record_name(nullptr, nullptr), -1);

    // Overlong: a valid name behind a very long prefix is refused, not cut.
    std::string longp(5000, 'x');
    longp = "/" + longp + "/mnt/idea0/2024-05-01/001/08.09.10-11.12.13[A][@1][0].h264";
    EXPECT_FALSE(parses(longp));
    EXPECT_EQ(wfs_path_kind(longp.c_str()), WFS_PATH_OTHER);
}

TEST(RecordName, OptionalGroupsAndWhatLiesBeforeIde)
{
    // Only the components from "/ide.." on are read.
    wfs_record_name n = parse_ok("/anything/else/idea3/2024-05-01/002/01.02.03-04.05.06.h264");
    EXPECT_EQ(n.part, 3);
    EXPECT_EQ(n.channel, 1);
    EXPECT_EQ(n.first_cluster, 0u);
    EXPECT_EQ(n.hint, 0);
    EXPECT_TRUE(n.letter.empty());
    // Without a type group the cluster group is still found.
    EXPECT_EQ(parse_ok("/mnt/idea0/2024-05-01/001/01.02.03-04.05.06[@ab][2].h264").first_cluster,
              0xABu);
}

TEST(RecordName, BuildersRoundTripThroughTheParser)
{
    std::string name = wfs_build_file_name(7, 5, 3, 21, 0, 59, wfs_type_letter(3), 0xdeadbeef, 4,
                                           "h264");
    EXPECT_EQ(name, "07.05.03-21.00.59[C][@deadbeef][4].h264");
    std::string path = wfs_build_record_path(1, 2, 2031, 2, 9, 12, name);
    EXPECT_EQ(path, "/mnt/ideb2/2031-02-09/012/07.05.03-21.00.59[C][@deadbeef][4].h264");
    wfs_record_name n = parse_ok(path);
    EXPECT_EQ(n.disk, 1);
    EXPECT_EQ(n.part, 2);
    EXPECT_EQ(n.channel, 11);
    EXPECT_EQ(n.alarm, 3u);
    EXPECT_EQ(n.first_cluster, 0xdeadbeefu);
    EXPECT_EQ(n.hint, 4);
    EXPECT_EQ(wfs_time_pack(n.year, n.month, n.day, n.start_h, n.start_m, n.start_s),
              (31u << 26) | (2u << 22) | (9u << 17) | (7u << 12) | (5u << 6) | 3u);
}

TEST(PathKind, RecordingWorkDirectoryOrNeither)
{
    EXPECT_EQ(wfs_path_kind("/mnt/idea0/2024-05-01/001/x.h264"), WFS_PATH_RECORD);
    EXPECT_EQ(wfs_path_kind("/mnt/idea0/2024-05-01/001/x.jpg"), WFS_PATH_RECORD);
    EXPECT_EQ(wfs_path_kind("/mnt/idea0/WorkDirectory"), WFS_PATH_WORKDIR);
    EXPECT_EQ(wfs_path_kind("/mnt/idea0/2024-05-01/001/x.h2645"), WFS_PATH_OTHER);
    EXPECT_EQ(wfs_path_kind("/mnt/idea0"), WFS_PATH_OTHER);
    EXPECT_EQ(wfs_path_kind(nullptr), WFS_PATH_OTHER);

    int disk = -1, part = -1;
    EXPECT_EQ(wfs_parse_ide_component("/mnt/idec3/WorkDirectory", &disk, &part), 0);
    EXPECT_EQ(disk, 2);
    EXPECT_EQ(part, 3);
    EXPECT_EQ(wfs_parse_ide_component("/mnt/idex/WorkDirectory", &disk, &part), -1);
    EXPECT_EQ(wfs_parse_ide_component("/mnt/WorkDirectory", &disk, &part), -1);

    // The work directory and the partition component as the program builds them.
    const std::string wd = wfs_build_work_dir_path(2, 3);
    EXPECT_EQ(wd, "/mnt/idec3/WorkDirectory");
    EXPECT_EQ(wfs_path_kind(wd.c_str()), WFS_PATH_WORKDIR);
    EXPECT_EQ(wfs_build_ide_component(1, 0), "ideb0");

    // Only "/mnt/ide..." is a recorder path; other mounts under /mnt are not.
    EXPECT_TRUE(wfs_is_recorder_path("/mnt/idea0/2024-05-01/000/x.h264"));
    EXPECT_TRUE(wfs_is_recorder_path(wd.c_str()));
    EXPECT_FALSE(wfs_is_recorder_path("/mnt/usb/idea0/2024-05-01/000/x.h264"));
    EXPECT_FALSE(wfs_is_recorder_path("/mnt/id"));
    EXPECT_FALSE(wfs_is_recorder_path("mnt/idea0"));
    EXPECT_FALSE(wfs_is_recorder_path(nullptr));
}

TEST(PathKind, FindDirectoryComponents)
{
    int disk, part, ch, y, m, d;
    ASSERT_EQ(wfs_parse_find_dir("/mnt/idea1/2024-05-01/003/*.*", &disk, &part, &ch, &y, &m, &d), 0);
    EXPECT_EQ(disk, 0);
    EXPECT_EQ(part, 1);
    EXPECT_EQ(ch, 2);
    EXPECT_EQ(y * 10000 + m * 100 + d, 20240501);
    EXPECT_EQ(wfs_parse_find_dir("/mnt/idea1/2024-05-01/", &disk, &part, &ch, &y, &m, &d), -1);
    EXPECT_EQ(wfs_parse_find_dir("/mnt/idea1/2024-05-01/abc/*", &disk, &part, &ch, &y, &m, &d), -1);
}
