// orvelle-cli cat: a recording's bytes to standard output, read through the
// same file object the export copies with.
#include <cstdio>
#include <vector>

#include "app/fs/CFSFile.h"
#include "app/fs/FileSystemRegistry.h"
#include "app/fs/WfsFileSystem.h"
#include "app/records/catalogue/RecordCatalogue.h"
#include "cli_disks.h"
#include "wfs/device/recorder_disks.h"

namespace {

const size_t kChunk = 1 << 20;

int run_cat(const cli::GlobalOptions &opts, const std::vector<std::string> &args)
{
    if (args.size() != 1)
        return cli::usage_error("cat needs exactly one PATH");
    const std::string &path = args[0];
    cli::use_catalogue_disks(opts);
    CRecordCatalogue catalogue;
    catalogue.InitialiseDisks();

    int rc = cli::kExitOk;
    CFSFile file;
    if (!file.Open(path.c_str(), CFSFile::modeRead)) {
        std::fprintf(stderr, "orvelle-cli: cannot open %s\n", path.c_str());
        close_recorder_disks();
        return cli::kExitFailure;
    }
    const uint64_t length = file.GetLength();
    // Every recording holds at least one sector behind its header: a length
    // of 0 means the recording's end could not be reached.
    if (length == 0 && FindFileSystem(path.c_str()).open == WfsFileSystemOps()->open) {
        std::fprintf(stderr, "orvelle-cli: %s: cannot determine the recording's length\n", path.c_str());
        file.Close();
        close_recorder_disks();
        return cli::kExitFailure;
    }
    file.Seek(0, SEEK_SET);
    std::vector<char> buf(kChunk);
    uint64_t copied = 0;
    while (copied < length) {
        size_t want = length - copied < kChunk ? static_cast<size_t>(length - copied) : kChunk;
        size_t got = file.Read(buf.data(), want);
        if (got == 0)
            break;
        if (std::fwrite(buf.data(), 1, got, stdout) != got) {
            std::fprintf(stderr, "orvelle-cli: cannot write to standard output\n");
            rc = cli::kExitFailure;
            break;
        }
        copied += got;
    }
    file.Close();
    if (std::fflush(stdout) != 0 && rc == cli::kExitOk) {
        std::fprintf(stderr, "orvelle-cli: cannot write to standard output\n");
        rc = cli::kExitFailure;
    }
    if (rc == cli::kExitOk && copied < length) {
        std::fprintf(stderr, "orvelle-cli: %s: read ended after %llu of %llu bytes\n", path.c_str(),
                     static_cast<unsigned long long>(copied), static_cast<unsigned long long>(length));
        rc = cli::kExitFailure;
    }
    close_recorder_disks();
    return rc;
}

cli::CliCommandRegistrar s_cat({"cat", "cat PATH", "a recording's bytes to standard output", run_cat});

}  // namespace
