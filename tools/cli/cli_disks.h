// Set-up shared by the orvelle-cli commands: where the library's and Qt's
// messages go, finding the recorder disks (from --image files or the
// machine's drives), and the common closing checks.
#pragma once

#include <string>
#include <vector>

#include "command.h"
#include "wfs/device/recorder_disks.h"

namespace cli {

// The library's log goes to stderr with --verbose and nowhere otherwise.
void route_library_log(const GlobalOptions &opts);

// Qt's debug messages reach stderr only with --verbose; every other Qt
// message always does.
void route_qt_messages(const GlobalOptions &opts);

// For the volume-level commands: routes the library's log, restricts the
// scan to the --image files when any are given, and scans for recorder disks.
void scan_disks(const GlobalOptions &opts);

// The drives the last scan could not read, each also noted on stderr.
std::vector<UnreadableDrive> report_unreadable_drives();

// The exit status after a volume-level command: failure when an --image file
// could not be read, or (with a note on stderr) when no recorder disk was
// found.
int scan_outcome(const GlobalOptions &opts, const std::vector<UnreadableDrive> &unreadable, int disks);

// For the commands that go through the record catalogue: routes the
// library's log and hands the --image files to the catalogue.
void use_catalogue_disks(const GlobalOptions &opts);

// Notes "no recorder disk found" on stderr, closes the disks and returns
// kExitFailure.
int no_recorder_disk();

// s as a JSON string literal, quotes included.
std::string json_quote(const std::string &s);

}  // namespace cli
