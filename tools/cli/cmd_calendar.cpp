// orvelle-cli calendar: per disk and partition the days that have
// recordings, from each partition's work-directory calendar.
#include <cstdio>
#include <string>
#include <vector>

#include "app/records/catalogue/RecordCatalogue.h"
#include "cli_disks.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/file/work_dir.h"

namespace {

std::vector<std::string> days_of(const std::vector<uint32_t> &words)
{
    std::vector<std::string> days;
    for (size_t w = 0; w < words.size(); ++w) {
        int year = 2000 + static_cast<int>(w / 13), month = static_cast<int>(w % 13);
        if (month == 0 || words[w] == 0)
            continue;
        for (int d = 1; d <= 31; ++d) {
            if (words[w] & (1u << d)) {
                char buf[32];
                std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", year, month, d);
                days.push_back(buf);
            }
        }
    }
    return days;
}

int run_calendar(const cli::GlobalOptions &opts, const std::vector<std::string> &args)
{
    bool json = false;
    for (const std::string &a : args) {
        if (a == "--json")
            json = true;
        else
            return cli::usage_error("calendar: unexpected argument '" + a + "'");
    }
    cli::use_catalogue_disks(opts);
    CRecordCatalogue catalogue;
    int disks = catalogue.InitialiseDisks();
    if (disks == 0)
        return cli::no_recorder_disk();
    int rc = cli::kExitOk;
    std::string out = json ? "{\"disks\":[" : "";
    for (int disk = 0; disk < disks; ++disk) {
        if (json)
            out += std::string(disk ? "," : "") + "{\"disk\":" + std::to_string(disk) + ",\"partitions\":[";
        bool first_part = true;
        for (int part : CRecordCatalogue::MountedPartitions(disk)) {
            std::vector<uint32_t> words;
            if (!CRecordCatalogue::ReadCalendar(disk, part, &words)) {
                std::fprintf(stderr, "orvelle-cli: cannot read the calendar of disk %d partition %d\n", disk, part);
                rc = cli::kExitFailure;
                continue;
            }
            std::vector<std::string> days = days_of(words);
            if (json) {
                out += std::string(first_part ? "" : ",") + "{\"part\":" + std::to_string(part) + ",\"days\":[";
                for (size_t i = 0; i < days.size(); ++i)
                    out += (i ? ",\"" : "\"") + days[i] + "\"";
                out += "]}";
            } else {
                for (const std::string &d : days)
                    out += std::to_string(disk) + "\t" + std::to_string(part) + "\t" + d + "\n";
            }
            first_part = false;
        }
        if (json)
            out += "]}";
    }
    if (json)
        out += "]}\n";
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size() || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "orvelle-cli: cannot write the calendar\n");
        rc = cli::kExitFailure;
    }
    close_recorder_disks();
    return rc;
}

cli::CliCommandRegistrar s_calendar({"calendar", "calendar [--json]",
                                     "the days that have recordings, per disk and partition", run_calendar});

}  // namespace
