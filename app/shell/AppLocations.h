#ifndef ORVELLE_APP_SHELL_APPLOCATIONS_H
#define ORVELLE_APP_SHELL_APPLOCATIONS_H

// Where the program finds what it ships (skin, translations, licence texts)
// and where it keeps what it writes (settings, captures and clips, the media
// work folder, the crash report).
//
// The base folder is the executable's folder. The shipped files are looked
// for beside it first, so that the build folder and a portable copy work,
// then in "../share/orvelle" relative to it (an installed program: bin/ and
// share/orvelle/ under one prefix).
//
// A program whose resources are beside it keeps its files there too, as long
// as that folder can be written. An installed program, or one whose folder
// cannot be written, keeps them in the user's folders (XDG base directories
// and user dirs, through QStandardPaths):
//   "Config.ini"           $XDG_CONFIG_HOME/Orvelle/      (~/.config/Orvelle/)
//   captures and clips     VIDEOS/Orvelle/Picture, VIDEOS/Orvelle/Record
//                          (XDG_VIDEOS_DIR of user-dirs.dirs, ~/Videos)
//   media work folder      $XDG_CACHE_HOME/Orvelle/Temp/  (~/.cache/Orvelle/Temp/)
//   crash report           $XDG_STATE_HOME/Orvelle/       (~/.local/state/Orvelle/)
// An installed program run by root (whose account can write /usr/bin) thus
// still leaves the system's folders alone.

#include <QString>

namespace applocations {

// The folder everything is found relative to: the executable's folder, or
// the one given to setBaseDir() (tests, benchmarks).
QString baseDir();
// Replaces the executable's folder as the base; "" restores it.
void setBaseDir(const QString& strDir);

// The folder that holds skin/, language/, license/ and copyright/:
// baseDir() when its skin/ is there, else baseDir()/../share/orvelle when
// that holds a skin/, else baseDir() (missing resources then behave as they
// always did: plain style, English texts).
QString resourceDir();

// Where the program's own files go, decided once by locate().
struct Folders
{
    bool bUserFolders = false;  // true: the user's folders, not baseDir()
    bool bInstalled = false;    // the resources come from ../share/orvelle
    QString strConfigDir;       // holds "Config.ini"
    QString strCaptureDir;      // default capture folder ("Paths/capture" empty)
    QString strRecordDir;       // default record folder ("Paths/record" empty)
    QString strMediaWorkDir;    // the media library's work folder, ending in "/"
    QString strCrashDir;        // holds "CrashDumpFile.dmp"
};

// Decides where the files go. It probes the base folder by creating and
// removing a file (permission bits say nothing about read-only mounts and
// are always granted to root), so callers keep the result. Folders are not
// made here except the base folder's probe.
Folders locate();

// True when a file can be created in the folder (made first if missing)
// and an existing "Config.ini" there can be opened for writing.
bool folderIsWritable(const QString& strDir);

}  // namespace applocations

#endif
