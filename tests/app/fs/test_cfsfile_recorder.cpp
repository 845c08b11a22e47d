// CFSFile and CFSFileFind on recordings of a real recorder image, through the
// "/mnt/ide" prefix, including several threads reading at once.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "app/fs/CFSFile.h"
#include "app/fs/CFSFileFind.h"
#include "app/fs/FileSystemRegistry.h"
#include "app/fs/OsFileSystem.h"
#include "app/fs/WfsFileSystem.h"
#include "app/records/catalogue/RecordCatalogue.h"
#include "tests/support/image/image_builder.h"
#include "wfs/common/log.h"
#include "wfs/device/drives.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/file/handle.h"

namespace {

using testimg::pack_time;

std::vector<uint8_t> readable(const testimg::ManifestRecording &r)
{
    std::vector<uint8_t> all = r.expected_bytes();
    all.erase(all.begin(), all.begin() + std::min<size_t>(r.header_bytes, all.size()));
    return all;
}

class RecorderFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        wfs_log_set_route(WFS_LOG_SILENT);
        char tmpl[] = "/tmp/orvelle-fsrec-XXXXXX";
        s_dir = mkdtemp(tmpl);
        testimg::DiskPlan disk;
        disk.partitions[0].sec_per_clus = 64;
        testimg::ImageBuilder b(disk);
        for (uint8_t ch = 0; ch < 4; ++ch) {
            testimg::RecordingPlan r;
            r.channel = ch;
            r.start_time = pack_time(2024, 5, 1, 10, 0, 0);
            r.duration = 120;
            r.synthetic.seed = ch + 1;
            if (ch == 2) {
                r.header = testimg::HeaderKind::Dhii;
                r.header_bytes = 1536;
            }
            b.add(r);
        }
        std::string err;
        ASSERT_TRUE(b.build(s_dir + "/disk.img", &s_manifest, &err)) << err;
    }
    static void TearDownTestSuite()
    {
        close_recorder_disks();
        clear_registered_drives();
        std::system(("rm -rf '" + s_dir + "'").c_str());
    }
    void SetUp() override
    {
        CRecordCatalogue::UseImages({s_dir + "/disk.img"});
        ASSERT_TRUE(m_cat.Load());
        ASSERT_EQ(m_cat.Size(), 4u);
        m_handles = wfs_file_handles_in_use();
    }
    void TearDown() override { EXPECT_EQ(wfs_file_handles_in_use(), m_handles); }

    std::string path_of(int id)
    {
        for (const CatalogueEntry &e : m_cat.Entries())
            if (e.info.first_cluster_no == s_manifest.recordings[id].first_cluster)
                return e.path;
        return "";
    }

    CRecordCatalogue m_cat;
    int m_handles = 0;
    static std::string s_dir;
    static testimg::Manifest s_manifest;
};

std::string RecorderFiles::s_dir;
testimg::Manifest RecorderFiles::s_manifest;

TEST_F(RecorderFiles, OnlyMntIdePathsGoToTheRecorder)
{
    EXPECT_EQ(FindFileSystem("/mnt/idea0/2024-05-01/000/x.h264").open, WfsFileSystemOps()->open);
    EXPECT_EQ(FindFileSystem("/mnt/idez9").open, WfsFileSystemOps()->open);
    EXPECT_EQ(FindFileSystem("/mnt/usb/export/idea0/2024-05-01/000/x.h264").open, OsFileSystemOps()->open);
    EXPECT_EQ(FindFileSystem("/mnt").open, OsFileSystemOps()->open);
    EXPECT_EQ(FindFileSystem("/tmp/idea0/x.h264").open, OsFileSystemOps()->open);
}

TEST_F(RecorderFiles, LengthPositionAndWholeReads)
{
    for (int id = 0; id < 4; ++id) {
        const testimg::ManifestRecording &r = s_manifest.recordings[id];
        std::vector<uint8_t> want = readable(r);
        CFSFile f;
        ASSERT_TRUE(f.Open(path_of(id).c_str(), CFSFile::modeRead)) << path_of(id);
        EXPECT_EQ(f.GetPosition(), 0u);
        EXPECT_EQ(f.GetLength(), want.size());
        EXPECT_EQ(f.Seek(0, SEEK_END), want.size());  // the length without the stream header
        EXPECT_EQ(f.Seek(100, 7), 100u);
        std::vector<uint8_t> b(64);
        EXPECT_EQ(f.Read(b.data(), 64), 64u);
        EXPECT_TRUE(std::equal(b.begin(), b.end(), want.begin() + 100));
        EXPECT_EQ(f.Seek(-5, SEEK_SET), 0u);  // refused: reported as 0
        f.Close();
        const uint8_t *all = f.ReadAll(path_of(id).c_str());
        ASSERT_NE(all, nullptr);
        ASSERT_EQ(f.GetBufferLength(), want.size());
        EXPECT_TRUE(std::equal(want.begin(), want.end(), all));
    }
    // Recorder disks are never written.
    CFSFile w;
    EXPECT_FALSE(w.Open(path_of(0).c_str(), CFSFile::modeWrite | CFSFile::modeCreate));
    EXPECT_FALSE(w.Open(path_of(0).c_str(), CFSFile::modeReadWrite));
}

TEST_F(RecorderFiles, ThreadsReadingAtOnceEachGetTheirRecording)
{
    std::atomic<int> bad{0};
    std::vector<std::thread> threads;
    for (int id = 0; id < 4; ++id) {
        std::string path = path_of(id);
        std::vector<uint8_t> want = readable(s_manifest.recordings[id]);
        threads.emplace_back([path, want, id, &bad] {
            for (int round = 0; round < 3; ++round) {
                CFSFile f;
                if (!f.Open(path.c_str(), CFSFile::modeRead)) {
                    ++bad;
                    return;
                }
                std::vector<uint8_t> got, buf(id % 2 ? 32768 : 1000);
                size_t n;
                while ((n = f.Read(buf.data(), buf.size())) > 0)
                    got.insert(got.end(), buf.begin(), buf.begin() + n);
                if (got != want)
                    ++bad;
            }
        });
    }
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(bad.load(), 0);
}

TEST_F(RecorderFiles, FindDiskSpaceAndRenameThroughThePrefix)
{
    CFSFileFind find;
    ASSERT_TRUE(find.FindFile("/mnt/idea0/2024-05-01/003/*"));
    EXPECT_EQ(find.GetRoot(), "/mnt/idea0/2024-05-01/003/");
    const testimg::ManifestRecording &r = s_manifest.recordings[2];
    char name[64];
    std::snprintf(name, sizeof name, "10.00.00-10.02.00[R][@%x][%u].h264", r.first_cluster, r.repeat_no);
    EXPECT_EQ(find.GetFileName(), name);
    // Sizes count what the directory says: a "DHII" header nobody has opened
    // yet is still part of them.
    EXPECT_EQ(find.GetLength(), (r.length_sectors - r.head_sectors) * 512 / 1024);
    EXPECT_FALSE(find.FindNextFile());
    find.Close();
    // An open search is released with the object.
    {
        CFSFileFind again;
        EXPECT_TRUE(again.FindFile("/mnt/idea0/2024-05-01/001/*"));
    }

    uint64_t freeb = 0, total = 0, free2 = 0;
    EXPECT_TRUE(CFSFile::DiskSpace("/mnt/idea0", &freeb, &total, &free2));
    EXPECT_EQ(total, s_manifest.partitions[0].space_total_bytes);
    EXPECT_EQ(freeb, s_manifest.partitions[0].space_free_bytes);
    EXPECT_FALSE(CFSFile::DiskSpace("/mnt/ideb0", &freeb, &total, &free2));

    std::string renamed = path_of(0);
    renamed.replace(renamed.find("[R]"), 3, "[M]");
    EXPECT_TRUE(CFSFile::Rename(path_of(0).c_str(), renamed.c_str()));
    EXPECT_FALSE(CFSFile::Remove(path_of(0).c_str()));
    EXPECT_FALSE(CFSFile::MakeDirectory("/mnt/idea0/new"));
    EXPECT_TRUE(CFSFile::Access(path_of(0).c_str(), 0));
}

TEST_F(RecorderFiles, AnOpenFileStopsReadingAfterAReloadAndIsStillReleased)
{
    CFSFile f;
    ASSERT_TRUE(f.Open(path_of(1).c_str(), CFSFile::modeRead));
    int before = wfs_file_handles_in_use();
    CRecordCatalogue other;
    other.InitialiseDisks();
    char b[16];
    EXPECT_EQ(f.Read(b, sizeof b), 0u);
    f.Close();
    EXPECT_EQ(wfs_file_handles_in_use(), before - 1);
    m_handles = wfs_file_handles_in_use();
}

}  // namespace
