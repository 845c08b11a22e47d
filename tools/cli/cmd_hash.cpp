// orvelle-cli hash: SHA-256 and MD5 of every recorder disk's whole source,
// all its sectors from sector 0 (not only the WFS volume), so that the
// figures can be compared with those an imaging tool or `sha256sum` of the
// image gives. For an Expert Witness Format image also the hashes the image
// stores from its acquisition, and whether the data still matches them.
//
// A source that cannot be read to its end gets no hash: a hash of part of a
// disk must never pass for the hash of the disk.
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <QByteArray>
#include <QCryptographicHash>

#include "cli_disks.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/device/source_info.h"

namespace {

// Sectors read at once (4 MiB), and how many read pieces may wait for the
// hashing: reading (decompression, for an EWF image) and hashing overlap.
constexpr uint32_t kPieceSectors = 8192;
constexpr size_t kQueuedPieces = 4;

struct StoredCheck {
    StoredHash stored;
    std::string computed;  // empty when this program has no such algorithm
    bool matches = false;
};

struct SourceHash {
    int disk = 0;
    DiskSourceInfo info;
    bool complete = false;      // every sector was read
    uint64_t failed_sector = 0; // first unreadable sector when not complete
    std::string sha256, md5;
    std::vector<StoredCheck> stored;
};

// Pieces handed from the reading thread to the hashing one.
class PieceQueue {
public:
    void push(std::unique_ptr<QByteArray> piece)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_room.wait(lock, [this] { return m_pieces.size() < kQueuedPieces; });
        m_pieces.push_back(std::move(piece));
        m_ready.notify_one();
    }
    // Null at the end.
    std::unique_ptr<QByteArray> pop()
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_ready.wait(lock, [this] { return !m_pieces.empty(); });
        std::unique_ptr<QByteArray> piece = std::move(m_pieces.front());
        m_pieces.pop_front();
        m_room.notify_one();
        return piece;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_ready, m_room;
    std::deque<std::unique_ptr<QByteArray>> m_pieces;
};

// The first sector of [first, first + count) that does not read.
uint64_t first_bad_sector(int disk, uint64_t first, uint32_t count)
{
    char sector[WFS_SECTOR_SIZE];
    for (uint32_t i = 0; i < count; ++i) {
        if (recorder_disk_read_source(disk, first + i, 1, sector) != 0)
            return first + i;
    }
    return first;
}

void show_progress(int disk, uint64_t done, uint64_t total, int *shown)
{
    const int percent = total ? static_cast<int>(done * 100 / total) : 100;
    if (percent == *shown)
        return;
    *shown = percent;
    std::fprintf(stderr, "\rhashing disk %d: %3d%%", disk, percent);
    std::fflush(stderr);
}

SourceHash hash_source(int disk)
{
    SourceHash r;
    r.disk = disk;
    recorder_disk_source_info(disk, &r.info);
    bool want_sha1 = false;
    for (const StoredHash &h : r.info.stored_hashes)
        want_sha1 = want_sha1 || h.algorithm == "sha1";

    QCryptographicHash sha256(QCryptographicHash::Sha256), md5(QCryptographicHash::Md5),
        sha1(QCryptographicHash::Sha1);
    const uint64_t total = r.info.sectors;
    PieceQueue queue;
    bool read_ok = true;
    std::thread reader([&] {
        for (uint64_t at = 0; at < total;) {
            const uint32_t n = total - at < kPieceSectors ? static_cast<uint32_t>(total - at) : kPieceSectors;
            auto piece = std::make_unique<QByteArray>(static_cast<int>(n * WFS_SECTOR_SIZE), Qt::Uninitialized);
            if (recorder_disk_read_source(disk, at, n, piece->data()) != 0) {
                read_ok = false;
                r.failed_sector = first_bad_sector(disk, at, n);
                break;
            }
            queue.push(std::move(piece));
            at += n;
        }
        queue.push(nullptr);
    });
    int shown = -1;
    uint64_t hashed = 0;
    show_progress(disk, 0, total, &shown);
    while (std::unique_ptr<QByteArray> piece = queue.pop()) {
        sha256.addData(*piece);
        md5.addData(*piece);
        if (want_sha1)
            sha1.addData(*piece);
        hashed += static_cast<uint64_t>(piece->size()) / WFS_SECTOR_SIZE;
        show_progress(disk, hashed, total, &shown);
    }
    reader.join();
    std::fprintf(stderr, "\n");
    r.complete = read_ok && hashed == total;
    if (!r.complete)
        return r;
    r.sha256 = sha256.result().toHex().toStdString();
    r.md5 = md5.result().toHex().toStdString();
    const std::string sha1_hex = want_sha1 ? sha1.result().toHex().toStdString() : std::string();
    for (const StoredHash &h : r.info.stored_hashes) {
        StoredCheck c;
        c.stored = h;
        if (h.algorithm == "md5")
            c.computed = r.md5;
        else if (h.algorithm == "sha256")
            c.computed = r.sha256;
        else if (h.algorithm == "sha1")
            c.computed = sha1_hex;
        c.matches = !c.computed.empty() && c.computed == h.hex;
        r.stored.push_back(c);
    }
    return r;
}

std::string algorithm_name(const std::string &a)
{
    if (a == "md5")
        return "MD5";
    if (a == "sha1")
        return "SHA-1";
    if (a == "sha256")
        return "SHA-256";
    return a;
}

std::string origin_text(const SourceHash &h)
{
    std::string s = "drive " + std::to_string(h.info.drive_no) + ", " + h.info.source;
    if (h.info.kind != "block")
        s += ", " + h.info.kind_text;
    if (!h.info.model.empty())
        s += ", model " + h.info.model;
    if (!h.info.serial.empty())
        s += ", serial " + h.info.serial;
    return s;
}

void print_text(const SourceHash &h)
{
    std::printf("disk %d (%s): %llu sectors, %llu bytes\n", h.disk, origin_text(h).c_str(),
                static_cast<unsigned long long>(h.info.sectors),
                static_cast<unsigned long long>(h.info.sectors * WFS_SECTOR_SIZE));
    if (!h.complete) {
        std::printf("  no hash: sector %llu cannot be read\n", static_cast<unsigned long long>(h.failed_sector));
        return;
    }
    std::printf("  SHA-256  %s\n  MD5      %s\n", h.sha256.c_str(), h.md5.c_str());
    for (const StoredCheck &c : h.stored) {
        const char *verdict = c.computed.empty() ? "not checked" : c.matches ? "matches" : "DOES NOT MATCH";
        std::printf("  stored %-7s %s  %s\n", algorithm_name(c.stored.algorithm).c_str(), c.stored.hex.c_str(),
                    verdict);
    }
}

std::string json_of(const SourceHash &h)
{
    std::string s = "{\"disk\":" + std::to_string(h.disk) + ",\"drive\":" + std::to_string(h.info.drive_no) +
                    ",\"source\":" + cli::json_quote(h.info.source) + ",\"kind\":" + cli::json_quote(h.info.kind) +
                    ",\"kind_text\":" + cli::json_quote(h.info.kind_text) + ",\"model\":" +
                    cli::json_quote(h.info.model) + ",\"serial\":" + cli::json_quote(h.info.serial) +
                    ",\"segments\":[";
    for (size_t i = 0; i < h.info.segments.size(); ++i)
        s += (i ? "," : "") + cli::json_quote(h.info.segments[i]);
    s += "],\"sectors\":" + std::to_string(h.info.sectors) +
         ",\"bytes\":" + std::to_string(h.info.sectors * WFS_SECTOR_SIZE) +
         ",\"complete\":" + (h.complete ? "true" : "false");
    if (!h.complete)
        return s + ",\"unreadable_sector\":" + std::to_string(h.failed_sector) + "}";
    s += ",\"sha256\":" + cli::json_quote(h.sha256) + ",\"md5\":" + cli::json_quote(h.md5) + ",\"stored\":[";
    for (size_t i = 0; i < h.stored.size(); ++i) {
        const StoredCheck &c = h.stored[i];
        s += std::string(i ? "," : "") + "{\"algorithm\":" + cli::json_quote(c.stored.algorithm) +
             ",\"hash\":" + cli::json_quote(c.stored.hex) + ",\"checked\":" + (c.computed.empty() ? "false" : "true") +
             ",\"matches\":" + (c.matches ? "true" : "false") + "}";
    }
    return s + "]}";
}

int run_hash(const cli::GlobalOptions &opts, const std::vector<std::string> &args)
{
    bool json = false;
    for (const std::string &a : args) {
        if (a == "--json")
            json = true;
        else
            return cli::usage_error("hash: unknown argument '" + a + "'");
    }
    cli::scan_disks(opts);
    std::vector<UnreadableDrive> unreadable = cli::report_unreadable_drives();
    const int disks = g_ide_info_wfs.ide_num;
    bool all_good = true;
    std::string out = "{\"disks\":[";
    for (int d = 0; d < disks; ++d) {
        SourceHash h = hash_source(d);
        if (!h.complete) {
            all_good = false;
            std::fprintf(stderr, "orvelle-cli: disk %d (%s): sector %llu cannot be read; no hash of the whole source\n",
                         d, h.info.source.c_str(), static_cast<unsigned long long>(h.failed_sector));
        }
        if (h.complete && h.info.bytes > h.info.sectors * WFS_SECTOR_SIZE)
            std::fprintf(stderr, "orvelle-cli: disk %d (%s): the last %llu bytes are less than a sector and not hashed\n",
                         d, h.info.source.c_str(),
                         static_cast<unsigned long long>(h.info.bytes - h.info.sectors * WFS_SECTOR_SIZE));
        for (const StoredCheck &c : h.stored) {
            if (!c.computed.empty() && !c.matches) {
                all_good = false;
                std::fprintf(stderr, "orvelle-cli: disk %d (%s): the data does not match the stored %s\n", d,
                             h.info.source.c_str(), algorithm_name(c.stored.algorithm).c_str());
            }
        }
        if (json) {
            out += (d ? "," : "") + json_of(h);
        } else {
            print_text(h);
            std::fflush(stdout);
        }
    }
    if (json)
        std::printf("%s]}\n", out.c_str());
    std::fflush(stdout);
    close_recorder_disks();
    const int rc = cli::scan_outcome(opts, unreadable, disks);
    return rc != cli::kExitOk ? rc : all_good ? cli::kExitOk : cli::kExitFailure;
}

}  // namespace

static cli::CliCommandRegistrar s_hash({"hash", "hash [--json]",
                                        "SHA-256 and MD5 of each recorder disk's whole source; an EWF image's "
                                        "stored hashes checked",
                                        run_hash});
