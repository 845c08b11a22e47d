#include "app/records/catalogue/RecordCatalogue.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "app/fs/CFSFile.h"
#include "app/fs/FSCriticalSection.h"
#include "app/fs/WfsFileSystem.h"
#include "app/records/catalogue/RecordNaming.h"
#include "app/records/catalogue/RecoveredRecords.h"
#include "wfs/device/drives.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/file/file_list.h"
#include "wfs/file/handle.h"
#include "wfs/file/name_layer.h"
#include "wfs/file/path_name.h"
#include "wfs/file/wfs_time.h"
#include "wfs/volume/mount.h"

namespace {

// The partitions the catalogue lists: recording, read-only and type-5
// drivers. As the list's driver mask it also admits video recordings (the
// recording type's bit) and leaves pictures out (no picture type's bit).
const uint32_t kListedDriverTypes = wfs_driver_type_bit(DRIVER_TYPE_RECORD) |
                                    wfs_driver_type_bit(DRIVER_TYPE_READONLY) |
                                    wfs_driver_type_bit(DRIVER_TYPE_5);

bool listed_driver_type(uint32_t type) { return (kListedDriverTypes & wfs_driver_type_bit(type)) != 0; }

wfs_time date_of(wfs_time t, int hour, int minute, int second)
{
    return wfs_time_pack(static_cast<int>(wfs_time_year(t)), static_cast<int>(wfs_time_month(t)),
                         static_cast<int>(wfs_time_day(t)), hour, minute, second);
}

}  // namespace

CRecordCatalogue::CRecordCatalogue() : m_nRecordFormat(0), m_ideNum(0), m_bStopLoad(false), m_nListed(0) {}

void CRecordCatalogue::Log(const std::string &text) const
{
    if (m_log)
        m_log(text);
}

void CRecordCatalogue::UseImages(const std::vector<std::string> &images)
{
    CFSLocker lock;
    clear_registered_drives();
    set_images_only(!images.empty());
    for (const std::string &path : images)
        register_image_file(path.c_str());
}

int CRecordCatalogue::InitialiseDisks()
{
    CFSLocker lock;
    scan_recorder_disks();
    int count = 0;
    wfs_file_sys_init(&count, 0);
    set_multi_standby(10);
    wake_work_drivers();
    wfs_set_pack_interval(86400);
    RegisterWfsFileSystem();
    m_ideNum = wfs_disk_count();
    return m_ideNum;
}

bool CRecordCatalogue::Load()
{
    m_bStopLoad = false;
    int n = InitialiseDisks();
    return LoadDataFromDisk(n);
}

CatalogueTimeRange CRecordCatalogue::PartitionTimeRange(DriverParam *pdp)
{
    CatalogueTimeRange r;
    if (!pdp)
        return r;
    r.start = pdp->start_time1;
    if (pdp->start_time2 != 0 && pdp->start_time2 < r.start)
        r.start = pdp->start_time2;
    r.end = pdp->end_time1 > pdp->end_time2 ? pdp->end_time1 : pdp->end_time2;
    int count = time_section_count(pdp);
    if (pdp->time_sections && count > 0 && count <= WFS_TIME_SECTIONS) {
        for (int i = 0; i < count; ++i) {
            const TimeSection &ts = pdp->time_sections[i];
            if (ts.start_time != 0 && (r.start == 0 || wfs_time_to_sec(ts.start_time) < wfs_time_to_sec(r.start)))
                r.start = ts.start_time;
            if (wfs_time_to_sec(ts.end_time) > wfs_time_to_sec(r.end))
                r.end = ts.end_time;
        }
    }
    return r;
}

void CRecordCatalogue::ListChannel(int disk, int part, int channel, uint32_t from, uint32_t to,
                                   std::vector<file_info_v2> &page)
{
    // Pages of at most kPageSize records; the next page starts at the last
    // record's end. Paging ends when a page is empty, reaches the end of the
    // range, or does not move on.
    for (;;) {
        if (m_bStopLoad)
            return;
        uint32_t count = kPageSize;
        {
            CFSLocker lock;
            wfs_file_list(static_cast<uint8_t>(channel), from, to, &count, page.data(), WFS_ALL_FILE_TYPES, 0,
                          kListedDriverTypes, WFS_STREAM_ANY);
        }
        if (count > kPageSize)
            count = kPageSize;
        if (m_log)
            Log("wfs_file_list 1 channel " + std::to_string(channel) + " Max = " + std::to_string(count));
        for (uint32_t i = 0; i < count && !m_bStopLoad; ++i) {
            const file_info_v2 &fi = page[i];
            ++m_nListed;
            if (!KeepRecord(fi, part, channel, m_nRecordFormat)) {
                if (m_log)
                    Log("Video " + std::to_string(m_nListed) + " Name " + MakeRecordKey(fi) + " StreamType " +
                        std::to_string(file_info_v2_stream_type(&fi)) + " AlarmType " + std::to_string(fi.alarm) +
                        " SKIP");
                continue;
            }
            CatalogueEntry e;
            e.key = MakeRecordKey(fi);
            if (m_log)
                Log("Video " + std::to_string(m_nListed) + " Name " + e.key + " OK");
            e.name = MakeDisplayName(fi);
            e.path = MakeRecordPath(fi);
            e.info = fi;
            std::lock_guard<std::mutex> lock(m_mutex);
            m_recordMap[e.key] = std::move(e);
        }
        if (m_progress) {
            CatalogueProgress p{disk, part, channel, m_nListed, 0};
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                p.kept = m_recordMap.size();
            }
            m_progress(p);
        }
        if (count == 0)
            return;
        uint32_t last_end = page[count - 1].end_time;
        if (last_end >= to || last_end <= from)
            return;
        from = last_end;
    }
}

bool CRecordCatalogue::LoadDataFromDisk(int ideNum)
{
    auto t0 = std::chrono::steady_clock::now();
    Log("loadDataFromDisk before ideNum " + std::to_string(ideNum));
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_recordMap.clear();
        m_recoveredMap.clear();
    }
    m_nListed = 0;
    m_ideNum = ideNum;
    std::vector<file_info_v2> page(kPageSize);
    for (int disk = 0; disk < ideNum && !m_bStopLoad; ++disk) {
        WfsPartition table[WFS_PARTS_PER_DISK];
        std::memset(table, 0, sizeof table);
        {
            CFSLocker lock;
            if (wfs_read_partitions(disk, table, WFS_PARTS_PER_DISK) != 0)
                continue;
        }
        for (int part = 0; part < WFS_PARTS_PER_DISK && !m_bStopLoad; ++part) {
            if (table[part].total == 0)
                continue;
            CatalogueTimeRange range;
            {
                CFSLocker lock;
                DriverParam *pdp = get_pdp(disk, part);
                if (!pdp) {
                    Log("get_pdp null");
                    continue;
                }
                if (!listed_driver_type(pdp->driver_type)) {
                    Log("pdp->driver_type " + std::to_string(pdp->driver_type));
                    continue;
                }
                build_time_sections(pdp);
                range = PartitionTimeRange(pdp);
            }
            char line[160];
            std::snprintf(line, sizeof line, "disk %d part %d Time Range startTime:%s..endTime:%s", disk,
                          part, FormatWfsTime(range.start).c_str(), FormatWfsTime(range.end).c_str());
            Log(line);
            if (m_bScanRecovered) {
                // Deleted recordings count even when nothing else is left.
                std::vector<CatalogueEntry> found = ListRecoveredRecords(disk, part, m_nRecordFormat);
                Log("recovered " + std::to_string(found.size()));
                std::lock_guard<std::mutex> lock(m_mutex);
                for (CatalogueEntry &e : found)
                    m_recoveredMap[e.key] = std::move(e);
            }
            if (range.end <= range.start)
                continue;
            wfs_time from = date_of(range.start, 0, 0, 0);
            wfs_time to = date_of(range.end, 23, 59, 59);
            for (int channel = 0; channel < kChannels && !m_bStopLoad; ++channel)
                ListChannel(disk, part, channel, from, to, page);
        }
    }
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
    Log("loadDataFromDisk after " + std::to_string(ms.count()) + " ms");
    return !m_bStopLoad;
}

size_t CRecordCatalogue::Size() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_recordMap.size();
}

std::vector<CatalogueEntry> CRecordCatalogue::Entries() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<CatalogueEntry> out;
    out.reserve(m_recordMap.size());
    for (const auto &kv : m_recordMap)
        out.push_back(kv.second);
    return out;
}

std::map<std::string, std::string> CRecordCatalogue::RecordMap() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::map<std::string, std::string> out;
    for (const auto &kv : m_recordMap)
        out.emplace_hint(out.end(), kv.first, kv.second.name);
    return out;
}

std::vector<CatalogueEntry> CRecordCatalogue::RecoveredEntries() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<CatalogueEntry> out;
    out.reserve(m_recoveredMap.size());
    for (const auto &kv : m_recoveredMap)
        out.push_back(kv.second);
    return out;
}

bool CRecordCatalogue::DiskTotals(int disk, CatalogueDiskTotals *out)
{
    if (!out)
        return false;
    *out = CatalogueDiskTotals();
    bool any = false;
    CFSLocker lock;
    for (int part = 0; part < WFS_PARTS_PER_DISK; ++part) {
        DriverInfo info;
        std::memset(&info, 0, sizeof info);
        if (wfs_get_driver_info(disk, part, &info) != 0)
            continue;
        any = true;
        out->totalMB += info.total_space;
        out->freeMB += info.free_space;
        if (info.driver_type == DRIVER_TYPE_PICTURE) {
            out->pictureTotalMB += info.total_space;
            out->pictureFreeMB += info.free_space;
        } else {
            out->recordTotalMB += info.total_space;
            out->recordFreeMB += info.free_space;
        }
    }
    return any;
}

std::vector<int> CRecordCatalogue::MountedPartitions(int disk)
{
    std::vector<int> parts;
    CFSLocker lock;
    for (int part = 0; part < WFS_PARTS_PER_DISK; ++part) {
        DriverParam *pdp = get_pdp(disk, part);
        if (pdp && pdp->bad_status != BAD_STATUS_MARKED)
            parts.push_back(part);
    }
    return parts;
}

std::vector<int> CRecordCatalogue::ListedPartitions(int disk)
{
    std::vector<int> parts;
    CFSLocker lock;
    for (int part = 0; part < WFS_PARTS_PER_DISK; ++part) {
        DriverParam *pdp = get_pdp(disk, part);
        if (pdp && listed_driver_type(pdp->driver_type))
            parts.push_back(part);
    }
    return parts;
}

bool CRecordCatalogue::ReadCalendar(int disk, int part, std::vector<uint32_t> *words)
{
    if (!words || disk < 0 || disk > 25 || part < 0 || part > 9)
        return false;
    const std::string path = wfs_build_work_dir_path(disk, part);
    CFSFile file;
    if (!file.Open(path.c_str(), CFSFile::modeRead))
        return false;
    std::vector<uint8_t> raw(WFS_CALENDAR_BYTES);
    size_t got = file.Read(raw.data(), raw.size());
    file.Close();
    if (got != raw.size())
        return false;
    words->assign(WFS_CALENDAR_WORDS, 0);
    for (int i = 0; i < WFS_CALENDAR_WORDS; ++i) {
        const uint8_t *p = raw.data() + 4 * i;
        (*words)[i] = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
    return true;
}
