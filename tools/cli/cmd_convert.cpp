// orvelle-cli convert SRC [DST.mp4]: converts a raw recording file (an
// export, a cut or a clip) to MP4, with the progress on standard error.
#include "cli_disks.h"

#include "app/export/jobs/ConvertToMp4.h"

#include <QString>
#include <QtGlobal>

#include <cstdio>

namespace {

void show_progress(int percent, void *)
{
    std::fprintf(stderr, "\rconverting: %3d%%", percent);
    std::fflush(stderr);
}

int run_convert(const cli::GlobalOptions &opts, const std::vector<std::string> &args)
{
    if (args.empty() || args.size() > 2)
        return cli::usage_error("convert needs SRC and optionally DST.mp4");
    cli::route_qt_messages(opts);
    const QString src = QString::fromLocal8Bit(args[0].c_str());
    const QString dst = args.size() > 1 ? QString::fromLocal8Bit(args[1].c_str()) : CConvertToMp4::Mp4PathFor(src);
    CConvertToMp4 *conv = CConvertToMp4::instance();
    conv->SetProgressReceiver(&show_progress, nullptr);
    const bool ok = conv->ConvertH264ToMp4(src, dst);
    conv->SetProgressReceiver(nullptr, nullptr);
    std::fprintf(stderr, "\n");
    if (!ok) {
        std::fprintf(stderr, "orvelle-cli: converting %s to %s failed\n", args[0].c_str(),
                     dst.toLocal8Bit().constData());
        return cli::kExitFailure;
    }
    std::printf("%s\n", dst.toLocal8Bit().constData());
    return cli::kExitOk;
}

cli::CliCommandRegistrar reg({"convert", "convert SRC [DST.mp4]",
                              "convert a raw recording file to MP4 (video copied, sound as AAC)", run_convert});

}  // namespace
