// orvelle-cli list: the recordings of the catalogue in key order (disk,
// partition, channel, date, time), one tab-separated line each or as JSON.
// With --recovered: only what the recovery scan finds (deleted recordings
// and fragments of overwritten ones), in the same order and shape, each with
// its state, and a fragment with the first cluster it lost and the number of
// clusters left.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/records/catalogue/RecordCatalogue.h"
#include "app/records/catalogue/RecordNaming.h"
#include "app/records/catalogue/RecoveredRecords.h"
#include "cli_disks.h"
#include "wfs/device/recorder_disks.h"
#include "wfs/file/path_name.h"
#include "wfs/file/recover.h"

namespace {

bool parse_stream(const std::string &text, int *out)
{
    if (text.empty() || text.size() > 2)
        return false;
    char *end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < 0 || v > 15)
        return false;
    *out = static_cast<int>(v);
    return true;
}

int run_list(const cli::GlobalOptions &opts, const std::vector<std::string> &args)
{
    bool json = false;
    bool recovered = false;
    int stream = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json") {
            json = true;
        } else if (args[i] == "--recovered") {
            recovered = true;
        } else if (args[i] == "--stream") {
            if (i + 1 >= args.size() || !parse_stream(args[i + 1], &stream))
                return cli::usage_error("--stream needs a stream type 0..15");
            ++i;
        } else {
            return cli::usage_error("list: unexpected argument '" + args[i] + "'");
        }
    }
    cli::use_catalogue_disks(opts);
    CRecordCatalogue catalogue;
    catalogue.SetRecordFormat(stream);
    catalogue.SetScanRecovered(recovered);
    if (opts.verbose)
        catalogue.SetLogCallback([](const std::string &line) { std::fprintf(stderr, "%s\n", line.c_str()); });
    int disks = catalogue.InitialiseDisks();
    if (disks == 0)
        return cli::no_recorder_disk();
    catalogue.LoadDataFromDisk(disks);

    std::string out;
    const std::vector<CatalogueEntry> entries = recovered ? catalogue.RecoveredEntries() : catalogue.Entries();
    if (json)
        out += "[";
    bool first = true;
    for (const CatalogueEntry &e : entries) {
        const file_info_v2 &fi = e.info;
        const std::string start = FormatWfsTime(fi.start_time), end = FormatWfsTime(fi.end_time);
        const char *type = wfs_type_letter(fi.alarm);
        unsigned stream_type = file_info_v2_stream_type(&fi);
        char buf[512];
        if (json) {
            std::snprintf(buf, sizeof buf,
                          "%s\n  {\"path\":%s,\"disk\":%u,\"part\":%u,\"channel\":%u,\"start\":\"%s\","
                          "\"end\":\"%s\",\"type\":\"%s\",\"first_cluster\":%u,\"stream_type\":%u,"
                          "\"length_kb\":%u",
                          first ? "" : ",", cli::json_quote(e.path).c_str(), fi.disk, fi.part, fi.channel,
                          start.c_str(), end.c_str(), type, fi.first_cluster_no, stream_type, fi.file_len);
            out += buf;
            if (recovered) {
                std::snprintf(buf, sizeof buf, ",\"state\":\"%s\"", RecordStateName(e.state));
                out += buf;
                if (e.state == WFS_STATE_FRAGMENT) {
                    std::snprintf(buf, sizeof buf, ",\"lost_first_cluster\":%u,\"clusters\":%u", e.lostFirstCluster,
                                  e.clusters);
                    out += buf;
                }
            }
            out += "}";
        } else {
            std::snprintf(buf, sizeof buf, "%s\t%u\t%u\t%u\t%s\t%s\t%s\t%u\t%u\t%u", e.path.c_str(), fi.disk,
                          fi.part, fi.channel, start.c_str(), end.c_str(), type, fi.first_cluster_no,
                          stream_type, fi.file_len);
            out += buf;
            if (recovered) {
                // state, and for a fragment the first cluster it lost and its clusters
                std::snprintf(buf, sizeof buf, "\t%s", RecordStateName(e.state));
                out += buf;
                if (e.state == WFS_STATE_FRAGMENT) {
                    std::snprintf(buf, sizeof buf, "\t%u\t%u", e.lostFirstCluster, e.clusters);
                    out += buf;
                }
            }
            out += "\n";
        }
        first = false;
    }
    if (json)
        out += entries.empty() ? "]\n" : "\n]\n";
    bool ok = std::fwrite(out.data(), 1, out.size(), stdout) == out.size() && std::fflush(stdout) == 0;
    close_recorder_disks();
    if (!ok) {
        std::fprintf(stderr, "orvelle-cli: cannot write the listing\n");
        return cli::kExitFailure;
    }
    return cli::kExitOk;
}

cli::CliCommandRegistrar s_list({"list", "list [--json] [--stream N] [--recovered]",
                                 "the recordings, in catalogue order (record format N, default 0); "
                                 "--recovered: deleted recordings and fragments of overwritten ones",
                                 run_list});

}  // namespace
