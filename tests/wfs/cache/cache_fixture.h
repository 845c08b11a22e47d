// A cache test bed: two recorder disks on in-memory devices behind
// fault-injecting devices, found by the real scan, and every library
// message captured.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/wfs/device/sparse_image.h"
#include "wfs/cache/cache.h"
#include "wfs/cache/overlay.h"
#include "wfs/common/log.h"
#include "wfs/device/drives.h"
#include "wfs/device/fault_device.h"
#include "wfs/device/memory_device.h"
#include "wfs/device/recorder_disks.h"

struct LoggedMessage {
    WfsLogKind kind;
    std::string name;
    std::string text;
};

class CacheTest : public ::testing::Test {
protected:
    // Volume block b of disk d sits at drive sector kBase + b and holds a
    // stamp with the number b + d * kDiskStampStep.
    static constexpr uint32_t kBase = 100;
    static constexpr uint64_t kDiskSectors = 200000;
    static constexpr uint64_t kDiskStampStep = 1000000;

    void SetUp() override
    {
        wfs_log_set_route(WFS_LOG_SILENT);
        wfs_log_set_hook(&CacheTest::capture, this);
        clear_registered_drives();
        set_images_only(true);
        for (int d = 0; d < 2; ++d) {
            m_mem[d] = memory_device_create(kDiskSectors);
            std::vector<uint8_t> mbr = sparse::mbr(kBase), head = sparse::volume_head();
            memory_device_put(m_mem[d], 0, mbr.data(), mbr.size());
            memory_device_put(m_mem[d], kBase * 512ull, head.data(), head.size());
            m_fault[d] = fault_device_create(m_mem[d], true);
            register_drive_device(m_fault[d], d == 0 ? "memory:0" : "memory:1");
        }
        scan_recorder_disks();
        ASSERT_EQ(g_ide_info_wfs.ide_num, 2);
        set_write_check_limit_hook(nullptr);
        set_device_error_hooks(nullptr, nullptr);
        set_power_hooks(nullptr, nullptr);
        init_buffers();
        m_log.clear();
    }

    void TearDown() override
    {
        set_write_check_limit_hook(nullptr);
        set_device_error_hooks(nullptr, nullptr);
        set_power_hooks(nullptr, nullptr);
        wfs_log_set_hook(nullptr, nullptr);
        close_recorder_disks();
        clear_registered_drives();
        init_buffers();
    }

    // Stamps volume blocks [first, first + count) of disk d on the device.
    void stamp_blocks(int d, uint64_t first, uint64_t count)
    {
        for (uint64_t b = first; b < first + count; ++b) {
            std::vector<uint8_t> s = sparse::stamp(b + d * kDiskStampStep);
            memory_device_put(m_mem[d], (kBase + b) * 512, s.data(), s.size());
        }
    }

    uint64_t device_reads(int d) const { return m_fault[d]->read_calls.load(); }

    // Messages of a kind whose text contains `part`.
    int count_logged(WfsLogKind kind, const std::string &part) const
    {
        int n = 0;
        for (const LoggedMessage &m : m_log)
            n += (m.kind == kind && m.text.find(part) != std::string::npos) ? 1 : 0;
        return n;
    }
    bool logged_event(const std::string &name, const std::string &text) const
    {
        for (const LoggedMessage &m : m_log)
            if (m.kind == WFS_LOG_EVENT && m.name == name && m.text == text)
                return true;
        return false;
    }

    static void capture(WfsLogKind kind, const char *name, const char *text, void *user)
    {
        static_cast<CacheTest *>(user)->m_log.push_back({kind, name ? name : "", text ? text : ""});
    }

    BlockDevice *m_mem[2] = {};
    BlockDevice *m_fault[2] = {};
    std::vector<LoggedMessage> m_log;
};
