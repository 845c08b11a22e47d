#ifndef ORVELLE_APP_RECORDS_LOCALINDEX_H
#define ORVELLE_APP_RECORDS_LOCALINDEX_H

// Local export folders: "index.data" lists the exported recordings, one
// path relative to the folder per line (CR LF or LF), in the form
// "ide" + disk letter + partition digit + "/YYYY-MM-DD/CCC/" + display name.
// Lines are only ever appended, so a path may be listed more than once.

#include <QDate>
#include <QString>
#include <QStringList>

struct LocalRecordPath
{
    QString strIde;    // "idea0"
    QString strName;   // the file name after the 21-character prefix
    QChar diskLetter;
    int nPart = 0;
    QDate date;
    int nChannel = 0;  // 0-based
};

// Parses a relative path of the form above. False for anything else: a
// partition of two digits, an impossible date, a name that is empty or
// holds a "/" (which could reach outside the folder).
bool ParseLocalRecordPath(const QString& strPath, LocalRecordPath* pOut);

// An "index.data" larger than this is not one an export wrote (sixteen full
// disks list well under a tenth of it) and is not read.
const qint64 kMaxIndexDataBytes = qint64(256) << 20;

// The lines of an "index.data" (local 8-bit encoding), line ends removed,
// empty lines and lines holding a NUL left out. False when the file cannot be opened or is larger
// than kMaxIndexDataBytes.
bool ReadIndexData(const QString& strFile, QStringList* pLines);

#endif
