// Shared by the handle, read and seek tests: recorder images mounted
// through the real device scan and initialisation, log capture, and
// reading whole recordings through a handle.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/image/image_builder.h"
#include "wfs/common/log.h"
#include "wfs/device/drives.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/file/handle.h"
#include "wfs/volume/mount.h"

namespace handle_test {

inline std::vector<std::string> &messages()
{
    static std::vector<std::string> m;
    return m;
}

inline void capture(WfsLogKind, const char *, const char *text, void *) { messages().push_back(text); }

inline void start_capture()
{
    wfs_log_set_route(WFS_LOG_SILENT);
    wfs_log_set_hook(capture, nullptr);
    messages().clear();
}

inline bool said(const std::string &text)
{
    return std::any_of(messages().begin(), messages().end(),
                       [&](const std::string &m) { return m.find(text) != std::string::npos; });
}

// A folder for the images of one test suite, removed with its files.
class TempDir {
public:
    TempDir()
    {
        char tmpl[] = "/tmp/orvelle-handles-XXXXXX";
        const char *d = mkdtemp(tmpl);
        m_path = d != nullptr ? d : "/tmp";
    }
    ~TempDir()
    {
        for (const std::string &f : m_files)
            unlink(f.c_str());
        rmdir(m_path.c_str());
    }
    std::string file(const std::string &name)
    {
        m_files.push_back(m_path + "/" + name);
        return m_files.back();
    }

private:
    std::string m_path;
    std::vector<std::string> m_files;
};

// Scans the given images as the only drives and initialises the file
// system over them. Returns the number of mounted drivers.
inline int mount_images(const std::vector<std::string> &paths)
{
    close_recorder_disks();
    clear_registered_drives();
    set_images_only(true);
    for (const std::string &p : paths)
        register_image_file(p.c_str());
    scan_recorder_disks();
    int count = 0;
    wfs_file_sys_init(&count, 0);
    return count;
}

inline void unmount_all()
{
    close_recorder_disks();
    clear_registered_drives();
}

// The recording added as number `id` (the manifest lists them in the order
// the recorder wrote them).
inline const testimg::ManifestRecording &recording(const testimg::Manifest &m, int id)
{
    for (const testimg::ManifestRecording &r : m.recordings) {
        if (r.id == id)
            return r;
    }
    ADD_FAILURE() << "no recording " << id;
    return m.recordings.at(0);
}

// A reading handle positioned on the recording's first cluster.
inline FileHandle *open_recording(const testimg::ManifestRecording &r)
{
    FileHandle *h = nullptr;
    if (wfs_file_open(&h, 1, 0) != FS_OK)
        return nullptr;
    if (wfs_file_goto_clus(h, static_cast<int>(r.disk), static_cast<int>(r.partition), r.first_cluster) != FS_OK) {
        wfs_file_close(h);
        return nullptr;
    }
    return h;
}

// Reads `sectors` sectors in requests of `chunk` sectors; stops at the
// first status other than FS_OK, which goes to *status.
inline std::vector<uint8_t> read_sectors(FileHandle *h, uint64_t sectors, uint32_t chunk, unsigned *status)
{
    std::vector<uint8_t> got;
    std::vector<uint8_t> buf(static_cast<size_t>(chunk) * 512);
    *status = FS_OK;
    while (got.size() < sectors * 512) {
        const uint64_t left = sectors - got.size() / 512;
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(chunk, left));
        *status = wfs_file_read(h, buf.data(), n);
        if (*status != FS_OK)
            break;
        got.insert(got.end(), buf.begin(), buf.begin() + static_cast<size_t>(n) * 512);
    }
    return got;
}

// Where a cluster's directory record and index byte lie on the volume.
inline uint64_t dir_record_sector(const testimg::ManifestPartition &p, uint32_t clus)
{
    return p.start + p.layout.dir_offset + clus / 16;
}
inline uint32_t dir_record_byte(uint32_t clus) { return (clus % 16) * 32; }
inline uint64_t backup_dir_record_sector(const testimg::ManifestPartition &p, uint32_t clus)
{
    return p.start + p.layout.backdir_offset + clus / 16;
}
inline uint64_t index_sector(const testimg::ManifestPartition &p, uint32_t clus)
{
    return p.start + p.layout.index_offset + clus / 512;
}
inline uint32_t index_byte(uint32_t clus) { return clus % 512; }

inline std::vector<uint8_t> le32(uint32_t v)
{
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}
inline std::vector<uint8_t> le16(uint16_t v) { return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}; }

// A suite of tests over one recorder image built once for the suite. The
// suite's SetUpTestSuite calls begin_image() and builds the image at s_path;
// every test starts with the image mounted and no captured messages.
template <class Suite>
class ImageSuite : public ::testing::Test {
protected:
    static void begin_image(const char *name)
    {
        start_capture();
        s_dir = new TempDir;
        s_path = s_dir->file(name);
    }

    static void TearDownTestSuite()
    {
        unmount_all();
        delete s_dir;
        s_dir = nullptr;
        wfs_log_set_hook(nullptr, nullptr);
    }

    void SetUp() override
    {
        ASSERT_GE(mount_images({s_path}), 1);
        messages().clear();
    }

    static inline TempDir *s_dir = nullptr;
    static inline std::string s_path;
    static inline testimg::Manifest s_manifest;
};

}  // namespace handle_test
