#ifndef ORVELLE_APP_PLAY_PLAYPATHS_H
#define ORVELLE_APP_PLAY_PLAYPATHS_H

// What a play channel reads from a recording's path name, and the names of
// the pictures and clips it writes.
//
// A recording path holds, after its "/ide" component and the disk letter,
// "<partition>/<YYYY>-<MM>-<DD>/<CCC>/<hh.mm.ss>-<hh.mm.ss>...": the same for
// a recording of a recorder disk ("/mnt/ide...") and for its copy in a local
// export folder ("<folder>/ide...").

#include <QString>

struct RecordTimes
{
    int nPartition = 0;
    int nYear = 0;
    int nMonth = 0;
    int nDay = 0;
    int nChannel = 0;
    int nStartSeconds = 0;  // start, seconds of day
    int nEndSeconds = 0;    // end, seconds of day
    int nDuration = 0;      // seconds; a recording that passes midnight ends on the next day
};

// True when the path has "/ide" followed by the disk letter and all eleven
// fields of partition, date, channel, start and end time.
bool ParseRecordTimes(const QString& strPath, RecordTimes* pTimes);

// True for a path that the channel reads and pushes itself (it has an "/ide"
// component); any other path is played by the media library as a file.
bool IsPushedDataPath(const QString& strPath);

// True for a recording of a recorder disk ("/mnt/ide...").
bool IsRecorderDiskPath(const QString& strPath);

// Clip file for a recording of a recorder disk:
// "<folder>/<CCC>_<YYYYMMDD>_<file name>". False for any other path, and
// when the result would be longer than 255 characters.
bool BuildClipPath(const QString& strRecordPath, const QString& strFolder, QString* pClipPath);

// The path itself when no file exists there, else the first free name with
// "_1", "_2", ... before the extension. Empty when no free name was found.
QString UniqueFilePath(const QString& strPath);

#endif
