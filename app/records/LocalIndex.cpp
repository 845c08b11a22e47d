#include "app/records/LocalIndex.h"

#include <QFile>
#include <QRegularExpression>

bool ParseLocalRecordPath(const QString& strPath, LocalRecordPath* pOut)
{
    static const QRegularExpression re(
        "^(ide([a-z])([0-9]))/([0-9]{4})-([0-9]{2})-([0-9]{2})/([0-9]{3})/([^/]+)$");
    const QRegularExpressionMatch m = re.match(strPath);
    if (!m.hasMatch())
        return false;
    const QDate date(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    const QString name = m.captured(8);
    if (!date.isValid() || name == "." || name == "..")
        return false;
    if (pOut) {
        pOut->strIde = m.captured(1);
        pOut->diskLetter = m.captured(2).at(0);
        pOut->nPart = m.captured(3).toInt();
        pOut->date = date;
        pOut->nChannel = m.captured(7).toInt();
        pOut->strName = name;
    }
    return true;
}

bool ReadIndexData(const QString& strFile, QStringList* pLines)
{
    QFile file(strFile);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxIndexDataBytes)
        return false;
    QStringList lines;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        // A NUL cannot be part of a path; the text would be cut short there.
        if (!line.isEmpty() && !line.contains('\0'))
            lines << QString::fromLocal8Bit(line);
    }
    if (pLines)
        *pLines = lines;
    return true;
}
