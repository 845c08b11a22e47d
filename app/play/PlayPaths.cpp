#include "app/play/PlayPaths.h"
#include "wfs/file/path_name.h"

#include <QFileInfo>

#include <cstdio>
#include <string>

namespace {

const int kSecondsPerDay = 86400;
const int kClipPathMax = 255;
const int kUniqueTries = 10000;

bool validTimeOfDay(int h, int m, int s)
{
    return h >= 0 && h < 24 && m >= 0 && m < 60 && s >= 0 && s < 60;
}

} // namespace

bool IsPushedDataPath(const QString& strPath)
{
    return strPath.contains(QLatin1String("/ide"));
}

bool IsRecorderDiskPath(const QString& strPath)
{
    return strPath.startsWith(QLatin1String(WFS_PATH_PREFIX));
}

bool ParseRecordTimes(const QString& strPath, RecordTimes* pTimes)
{
    const int ide = strPath.indexOf(QLatin1String("/ide"));
    if (ide < 0 || ide + 5 > strPath.size())
        return false;
    const std::string rest = strPath.mid(ide + 5).toStdString();
    RecordTimes t;
    int sh = 0, sm = 0, ss = 0, eh = 0, em = 0, es = 0;
    const int n = std::sscanf(rest.c_str(), "%d/%04d-%02d-%02d/%03d/%02d.%02d.%02d-%02d.%02d.%02d", &t.nPartition,
                              &t.nYear, &t.nMonth, &t.nDay, &t.nChannel, &sh, &sm, &ss, &eh, &em, &es);
    if (n != 11 || !validTimeOfDay(sh, sm, ss) || !validTimeOfDay(eh, em, es))
        return false;
    t.nStartSeconds = sh * 3600 + sm * 60 + ss;
    t.nEndSeconds = eh * 3600 + em * 60 + es;
    t.nDuration = t.nEndSeconds - t.nStartSeconds;
    if (t.nDuration < 0)
        t.nDuration += kSecondsPerDay;
    if (pTimes)
        *pTimes = t;
    return true;
}

bool BuildClipPath(const QString& strRecordPath, const QString& strFolder, QString* pClipPath)
{
    // "/mnt/ide" and the disk letter come first; the partition follows.
    if (!IsRecorderDiskPath(strRecordPath) || strRecordPath.size() <= 9)
        return false;
    const std::string rest = strRecordPath.mid(9).toStdString();
    int part = 0, year = 0, month = 0, day = 0, channel = 0, consumed = 0;
    const int n = std::sscanf(rest.c_str(), "%d/%04d-%02d-%02d/%03d/%n", &part, &year, &month, &day, &channel,
                              &consumed);
    if (n != 5 || consumed <= 0 || size_t(consumed) >= rest.size())
        return false;
    // The file name runs up to the first white space, as a "%s" field does.
    std::string name = rest.substr(size_t(consumed));
    const size_t space = name.find_first_of(" \t\r\n\v\f");
    if (space != std::string::npos)
        name.resize(space);
    if (name.empty())
        return false;
    const QString clip = QString::asprintf("%03d_%04d%02d%02d_", channel, year, month, day);
    const QString path = strFolder + QLatin1Char('/') + clip + QString::fromStdString(name);
    if (path.size() > kClipPathMax)
        return false;
    if (pClipPath)
        *pClipPath = path;
    return true;
}

QString UniqueFilePath(const QString& strPath)
{
    if (!QFileInfo::exists(strPath))
        return strPath;
    const int slash = strPath.lastIndexOf(QLatin1Char('/'));
    int dot = strPath.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash + 1)
        dot = strPath.size();
    const QString stem = strPath.left(dot);
    const QString ext = strPath.mid(dot);
    for (int i = 1; i <= kUniqueTries; ++i) {
        const QString candidate = stem + QLatin1Char('_') + QString::number(i) + ext;
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
    return QString();
}
