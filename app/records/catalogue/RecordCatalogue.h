// The catalogue of recordings on the attached recorder disks: what the Disk
// page loads and the command-line tool lists.
//
// A load brings the file-system library up over the recorder disks
// (InitialiseDisks), then pages through the recording list of every channel
// of every recording partition and keeps the playable recordings, keyed and
// sorted by disk, partition, channel, date and time (LoadDataFromDisk).
// Every call into the library holds the process-wide critical section, so a
// load may run on its own thread. Stop() makes a running load return early.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "wfs/file/file_info.h"

struct DriverParam;

// One recording of the catalogue.
struct CatalogueEntry {
    std::string key;   // MakeRecordKey
    std::string name;  // MakeDisplayName
    std::string path;  // MakeRecordPath
    file_info_v2 info;
    // Recovered items (RecoveredRecords.h): WFS_STATE_DELETED or
    // WFS_STATE_FRAGMENT; 0 for a recording of the recorder's listing.
    int state = 0;
    uint32_t lostFirstCluster = 0;  // fragment: the first cluster its records name
    uint32_t clusters = 0;          // recovered items: clusters that hold its data
};

// Where a load is.
struct CatalogueProgress {
    int disk;
    int part;
    int channel;
    uint64_t listed;  // records the list returned so far in this load
    uint64_t kept;    // records in the catalogue
};

// The disk-information totals of one disk, in MiB.
struct CatalogueDiskTotals {
    uint64_t totalMB = 0;
    uint64_t freeMB = 0;
    uint64_t pictureTotalMB = 0;
    uint64_t pictureFreeMB = 0;
    uint64_t recordTotalMB = 0;
    uint64_t recordFreeMB = 0;
};

// Time range of a partition, packed times.
struct CatalogueTimeRange {
    uint32_t start = 0;
    uint32_t end = 0;
};

class CRecordCatalogue {
public:
    // Records asked for per page of the recording list.
    static const uint32_t kPageSize = 12000;
    // Channels examined per partition.
    static const int kChannels = 32;

    CRecordCatalogue();

    // Stream type whose recordings are listed (the "Record/Format" setting).
    void SetRecordFormat(int recordFormat) { m_nRecordFormat = recordFormat; }
    int RecordFormat() const { return m_nRecordFormat; }
    // Called after every page of the recording list (on the loading thread).
    void SetProgressCallback(std::function<void(const CatalogueProgress &)> fn) { m_progress = std::move(fn); }
    // Receives the load's trace lines (on the loading thread).
    void SetLogCallback(std::function<void(const std::string &)> fn) { m_log = std::move(fn); }
    // A load also runs the recovery scan of every partition it lists (off
    // by default).
    void SetScanRecovered(bool bScan) { m_bScanRecovered = bScan; }

    // Reads only these image files as drives (none: the machine's disks).
    static void UseImages(const std::vector<std::string> &images);

    // Scans the drives, initialises the library, registers the recorder's
    // path prefix. Returns the number of recorder disks.
    int InitialiseDisks();
    // Builds the catalogue of the first ideNum disks. False when stopped
    // (a Stop() made before the call stops it at once).
    bool LoadDataFromDisk(int ideNum);
    // Both, after clearing an earlier Stop(). False when stopped.
    bool Load();

    // Makes a running load return at its next check (any thread).
    void Stop() { m_bStopLoad = true; }
    void ClearStop() { m_bStopLoad = false; }
    bool IsStopping() const { return m_bStopLoad; }

    int DiskCount() const { return m_ideNum; }
    size_t Size() const;
    // The recordings in key order.
    std::vector<CatalogueEntry> Entries() const;
    // Key -> display name, in key order.
    std::map<std::string, std::string> RecordMap() const;
    // The recovered items of the last load (SetScanRecovered), in key order.
    std::vector<CatalogueEntry> RecoveredEntries() const;

    // Disk-information totals over partitions 0..3 of a disk. False when no
    // partition of the disk is mounted.
    static bool DiskTotals(int disk, CatalogueDiskTotals *out);
    // The range a partition's recordings span: its two pass ranges widened by
    // every time section.
    static CatalogueTimeRange PartitionTimeRange(DriverParam *pdp);
    // The partition's calendar of recording days as read from its work
    // directory (832 words). False when it cannot be read.
    static bool ReadCalendar(int disk, int part, std::vector<uint32_t> *words);
    // Mounted partitions of a disk that are not marked bad (partition numbers).
    static std::vector<int> MountedPartitions(int disk);
    // Mounted partitions of a disk whose recordings a load lists (recording,
    // read-only and type-5 drivers), whether or not it found any.
    static std::vector<int> ListedPartitions(int disk);

private:
    void Log(const std::string &text) const;
    void ListChannel(int disk, int part, int channel, uint32_t from, uint32_t to,
                     std::vector<file_info_v2> &page);

    int m_nRecordFormat;
    int m_ideNum;
    std::atomic<bool> m_bStopLoad;
    uint64_t m_nListed;
    mutable std::mutex m_mutex;
    std::map<std::string, CatalogueEntry> m_recordMap;
    bool m_bScanRecovered = false;
    std::map<std::string, CatalogueEntry> m_recoveredMap;
    std::function<void(const CatalogueProgress &)> m_progress;
    std::function<void(const std::string &)> m_log;
};
