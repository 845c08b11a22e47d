// orvelle-cli timeline [--json] DATE: per disk, partition and channel the
// recordings that lie in the day DATE (YYYY-MM-DD), also those of the day
// before that pass midnight into it, with their start and end, and the gaps
// between them. One tab-separated line per recording or gap:
//   DISK PART CHANNEL recording START END TYPE PATH
//   DISK PART CHANNEL gap START END SECONDS
// (CHANNEL as the tree shows it, "001" for the first; times
// "YYYY-MM-DD HH:MM:SS"), or the same as JSON.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "app/records/catalogue/RecordCatalogue.h"
#include "app/records/catalogue/RecordNaming.h"
#include "cli_disks.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/file/path_name.h"
#include "wfs/file/wfs_time.h"

namespace {

const int64_t kDay = 86400;

struct Slot {
    int64_t start;  // seconds from the day's midnight
    int64_t end;
    const CatalogueEntry *entry;  // null for a gap
};

struct Channel {
    unsigned disk, part, channel;
    std::vector<Slot> recordings;
};

bool parse_date(const std::string &text, int *y, int *m, int *d)
{
    char end;
    if (text.size() != 10 || std::sscanf(text.c_str(), "%4d-%2d-%2d%c", y, m, d, &end) != 3)
        return false;
    static const int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (*y < 2000 || *y > 2063 || *m < 1 || *m > 12 || *d < 1 || *d > kDays[*m - 1])
        return false;
    const bool leap = (*y % 4 == 0 && *y % 100 != 0) || *y % 400 == 0;
    return !(*m == 2 && *d == 29 && !leap);
}

std::string format_offset(wfs_time midnight, int64_t seconds)
{
    return FormatWfsTime(wfs_time_add(midnight, seconds));
}

std::string channel_text(unsigned channel)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%03u", channel + 1);
    return buf;
}

// The stretches between a channel's recordings that no recording covers
// (overlapping recordings count as one).
std::vector<Slot> gaps_of(const std::vector<Slot> &recordings)
{
    std::vector<Slot> gaps;
    int64_t covered = 0;
    bool any = false;
    for (const Slot &r : recordings) {
        if (any && r.start > covered)
            gaps.push_back(Slot{covered, r.start, nullptr});
        covered = any ? std::max(covered, r.end) : r.end;
        any = true;
    }
    return gaps;
}

int run_timeline(const cli::GlobalOptions &opts, const std::vector<std::string> &args)
{
    bool json = false;
    std::string dateText;
    for (const std::string &a : args) {
        if (a == "--json")
            json = true;
        else if (a.size() > 1 && a[0] == '-' && a[1] == '-')
            return cli::usage_error("timeline: unknown option " + a);
        else if (dateText.empty())
            dateText = a;
        else
            return cli::usage_error("timeline: unexpected argument '" + a + "'");
    }
    int y, m, d;
    if (dateText.empty() || !parse_date(dateText, &y, &m, &d))
        return cli::usage_error("timeline needs a DATE written YYYY-MM-DD");
    const wfs_time midnight = wfs_time_pack(y, m, d, 0, 0, 0);

    cli::use_catalogue_disks(opts);
    CRecordCatalogue catalogue;
    const int disks = catalogue.InitialiseDisks();
    if (disks == 0)
        return cli::no_recorder_disk();
    catalogue.LoadDataFromDisk(disks);

    // Catalogue order is disk, partition, channel, then time.
    const std::vector<CatalogueEntry> entries = catalogue.Entries();
    std::vector<Channel> channels;
    for (const CatalogueEntry &e : entries) {
        const int64_t start = wfs_time_diff(e.info.start_time, midnight);
        const int64_t end = wfs_time_diff(e.info.end_time, midnight);
        if (end <= 0 || start >= kDay)
            continue;
        if (channels.empty() || channels.back().disk != e.info.disk || channels.back().part != e.info.part ||
            channels.back().channel != e.info.channel)
            channels.push_back(Channel{e.info.disk, e.info.part, e.info.channel, {}});
        channels.back().recordings.push_back(Slot{start, end, &e});
    }

    std::string out = json ? "{\"date\":\"" + dateText + "\",\"channels\":[" : "";
    for (size_t c = 0; c < channels.size(); ++c) {
        Channel &ch = channels[c];
        std::stable_sort(ch.recordings.begin(), ch.recordings.end(),
                         [](const Slot &a, const Slot &b) { return a.start < b.start; });
        const std::vector<Slot> gaps = gaps_of(ch.recordings);
        const std::string head =
            std::to_string(ch.disk) + "\t" + std::to_string(ch.part) + "\t" + channel_text(ch.channel) + "\t";
        if (json) {
            out += std::string(c ? "," : "") + "\n  {\"disk\":" + std::to_string(ch.disk) +
                   ",\"part\":" + std::to_string(ch.part) + ",\"channel\":" + std::to_string(ch.channel) +
                   ",\"name\":\"" + channel_text(ch.channel) + "\",\"recordings\":[";
            for (size_t i = 0; i < ch.recordings.size(); ++i) {
                const Slot &r = ch.recordings[i];
                out += std::string(i ? "," : "") + "{\"start\":\"" + FormatWfsTime(r.entry->info.start_time) +
                       "\",\"end\":\"" + FormatWfsTime(r.entry->info.end_time) + "\",\"type\":\"" +
                       wfs_type_letter(r.entry->info.alarm) + "\",\"path\":" + cli::json_quote(r.entry->path) + "}";
            }
            out += "],\"gaps\":[";
            for (size_t i = 0; i < gaps.size(); ++i) {
                out += std::string(i ? "," : "") + "{\"start\":\"" + format_offset(midnight, gaps[i].start) +
                       "\",\"end\":\"" + format_offset(midnight, gaps[i].end) +
                       "\",\"seconds\":" + std::to_string(gaps[i].end - gaps[i].start) + "}";
            }
            out += "]}";
        } else {
            // Recordings and gaps in time order.
            size_t g = 0;
            for (const Slot &r : ch.recordings) {
                for (; g < gaps.size() && gaps[g].start < r.start; ++g)
                    out += head + "gap\t" + format_offset(midnight, gaps[g].start) + "\t" +
                           format_offset(midnight, gaps[g].end) + "\t" +
                           std::to_string(gaps[g].end - gaps[g].start) + "\n";
                out += head + "recording\t" + FormatWfsTime(r.entry->info.start_time) + "\t" +
                       FormatWfsTime(r.entry->info.end_time) + "\t" + wfs_type_letter(r.entry->info.alarm) + "\t" +
                       r.entry->path + "\n";
            }
        }
    }
    if (json)
        out += channels.empty() ? "]}\n" : "\n]}\n";
    if (channels.empty())
        std::fprintf(stderr, "orvelle-cli: no recordings on %s\n", dateText.c_str());
    const bool ok = std::fwrite(out.data(), 1, out.size(), stdout) == out.size() && std::fflush(stdout) == 0;
    close_recorder_disks();
    if (!ok) {
        std::fprintf(stderr, "orvelle-cli: cannot write the timeline\n");
        return cli::kExitFailure;
    }
    return cli::kExitOk;
}

cli::CliCommandRegistrar s_timeline({"timeline", "timeline [--json] DATE",
                                     "per channel the recordings of a day (YYYY-MM-DD) and the gaps between them",
                                     run_timeline});

}  // namespace
