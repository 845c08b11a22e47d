#include "cli_disks.h"

#include <cstdio>

#include <QString>
#include <QtGlobal>

#include "app/records/catalogue/RecordCatalogue.h"
#include "wfs/common/log.h"
#include "wfs/device/drives.h"

namespace cli {

namespace {

bool g_qt_verbose = false;

void quiet_messages(QtMsgType type, const QMessageLogContext &, const QString &msg)
{
    if (g_qt_verbose || type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", msg.toLocal8Bit().constData());
}

}  // namespace

void route_library_log(const GlobalOptions &opts)
{
    wfs_log_set_route(opts.verbose ? WFS_LOG_STDERR : WFS_LOG_SILENT);
}

void route_qt_messages(const GlobalOptions &opts)
{
    g_qt_verbose = opts.verbose;
    qInstallMessageHandler(quiet_messages);
}

void scan_disks(const GlobalOptions &opts)
{
    route_library_log(opts);
    if (!opts.images.empty()) {
        set_images_only(true);
        for (const std::string &img : opts.images)
            register_image_file(img.c_str());
    }
    scan_recorder_disks();
}

std::vector<UnreadableDrive> report_unreadable_drives()
{
    std::vector<UnreadableDrive> unreadable = unreadable_drives();
    for (const UnreadableDrive &u : unreadable)
        std::fprintf(stderr, "orvelle-cli: %s\n", unreadable_drive_text(u).c_str());
    return unreadable;
}

int scan_outcome(const GlobalOptions &opts, const std::vector<UnreadableDrive> &unreadable, int disks)
{
    // An image named on the command line that cannot be read is a failure;
    // an unreadable machine drive is only worth the note already printed.
    if (!opts.images.empty() && !unreadable.empty())
        return kExitFailure;
    if (disks == 0) {
        std::fprintf(stderr, "orvelle-cli: no recorder disk found\n");
        return kExitFailure;
    }
    return kExitOk;
}

void use_catalogue_disks(const GlobalOptions &opts)
{
    route_library_log(opts);
    CRecordCatalogue::UseImages(opts.images);
}

int no_recorder_disk()
{
    std::fprintf(stderr, "orvelle-cli: no recorder disk found\n");
    close_recorder_disks();
    return kExitFailure;
}

std::string json_quote(const std::string &s)
{
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

}  // namespace cli
