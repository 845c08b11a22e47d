// orvelle-cli verify FOLDER: checks every file that the folder's
// "SHA256SUMS" names against its hash, as `sha256sum -c SHA256SUMS` run in
// the folder would: one line per file ("PATH: OK", "PATH: MISSING",
// "PATH: DIFFERS", "PATH: UNREADABLE (reason)"), then a summary. Exit 0 when
// every listed file is there and matches, 1 when any is missing, differs or
// cannot be read (or the folder has no usable manifest), 2 on a usage error.
#include <cstdio>
#include <string>
#include <vector>

#include <QDir>
#include <QFileInfo>
#include <QString>

#include "app/export/jobs/HashManifest.h"
#include "cli_disks.h"

namespace {

// Folders whose listed files add up to less than this are checked without
// a progress line.
const qint64 kProgressBytes = qint64(64) << 20;

const char *state_text(HashManifest::FileState s)
{
    switch (s) {
    case HashManifest::FileOk:
        return "OK";
    case HashManifest::FileMissing:
        return "MISSING";
    case HashManifest::FileDiffers:
        return "DIFFERS";
    default:
        return "UNREADABLE";
    }
}

int run_verify(const cli::GlobalOptions &opts, const std::vector<std::string> &args)
{
    bool quiet = false;
    std::vector<std::string> folders;
    for (const std::string &a : args) {
        if (a == "--quiet" || a == "-q")
            quiet = true;
        else if (!a.empty() && a[0] == '-')
            return cli::usage_error("verify: unknown option '" + a + "'");
        else
            folders.push_back(a);
    }
    if (folders.size() != 1)
        return cli::usage_error("verify needs exactly one FOLDER");
    if (!opts.images.empty())
        return cli::usage_error("verify reads a local folder: --image does not apply");
    const QString folder = QString::fromLocal8Bit(folders[0].c_str());
    const QByteArray shown = folder.toLocal8Bit();
    if (!QFileInfo(folder).isDir()) {
        std::fprintf(stderr, "orvelle-cli: %s is not a folder\n", shown.constData());
        return cli::kExitFailure;
    }

    int shownPercent = -1;
    bool progressShown = false;
    const HashManifest::ProgressFn progress = [&](const HashManifest::CheckProgress &p) {
        if (p.nBytesTotal < kProgressBytes)
            return;
        const int percent = static_cast<int>(p.nBytesDone * 100 / p.nBytesTotal);
        if (percent == shownPercent)
            return;
        shownPercent = percent;
        progressShown = true;
        std::fprintf(stderr, "\rverifying file %d of %d: %3d%%", p.nFile + 1, p.nFiles, percent);
        std::fflush(stderr);
    };
    const HashManifest::CheckResult result = HashManifest::verify(folder, progress);
    if (progressShown)
        std::fprintf(stderr, "\n");

    const QString manifest = QDir(folder).filePath(HashManifest::kFileName);
    if (!result.bFound) {
        std::fprintf(stderr, "orvelle-cli: %s: no %s\n", shown.constData(), HashManifest::kFileName);
        return cli::kExitFailure;
    }
    if (!result.bReadable) {
        std::fprintf(stderr, "orvelle-cli: %s: %s\n", manifest.toLocal8Bit().constData(),
                     result.strError.toLocal8Bit().constData());
        return cli::kExitFailure;
    }
    int ok = 0, missing = 0, differ = 0, unreadable = 0;
    for (const HashManifest::FileCheck &c : result.files) {
        switch (c.state) {
        case HashManifest::FileOk:
            ++ok;
            break;
        case HashManifest::FileMissing:
            ++missing;
            break;
        case HashManifest::FileDiffers:
            ++differ;
            break;
        default:
            ++unreadable;
            break;
        }
        if (quiet && c.state == HashManifest::FileOk)
            continue;
        const QByteArray path = c.strPath.toLocal8Bit();
        if (c.state == HashManifest::FileUnreadable && !c.strError.isEmpty())
            std::printf("%s: %s (%s)\n", path.constData(), state_text(c.state), c.strError.toLocal8Bit().constData());
        else
            std::printf("%s: %s\n", path.constData(), state_text(c.state));
    }
    if (result.nMalformed > 0)
        std::fprintf(stderr, "orvelle-cli: %s: %d line%s not a checksum line, ignored\n",
                     manifest.toLocal8Bit().constData(), result.nMalformed, result.nMalformed == 1 ? " is" : "s are");
    const int files = static_cast<int>(result.files.size());
    std::printf("%d file%s listed: %d ok, %d missing, %d differ, %d unreadable\n", files, files == 1 ? "" : "s", ok,
                missing, differ, unreadable);
    std::fflush(stdout);
    if (files == 0) {
        std::fprintf(stderr, "orvelle-cli: %s lists no file\n", manifest.toLocal8Bit().constData());
        return cli::kExitFailure;
    }
    return result.allOk() ? cli::kExitOk : cli::kExitFailure;
}

}  // namespace

static cli::CliCommandRegistrar s_verify({"verify", "verify [--quiet] FOLDER",
                                          "checks the files a folder's SHA256SUMS lists; --quiet: problems only",
                                          run_verify});
