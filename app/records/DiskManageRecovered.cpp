// The disk page's "Recovered" nodes: deleted recordings and fragments of
// overwritten ones, below their partition with the usual date > channel >
// recording levels, each with an icon of its own and its state as tooltip.
// They are played, exported, cut and played in step through their paths
// like any recording; the calendar does not mark their days.

#include "app/records/DiskManagePage.h"

#include "app/records/RecordTreeRoles.h"
#include "wfs/file/recover.h"

#include <QStandardItem>

namespace {

// A run of decimal digits of a record key; -1 when not digits.
int keyDigits(const QString& key, int pos, int len)
{
    int value = 0;
    for (int i = pos; i < pos + len; ++i) {
        if (i >= key.size() || !key.at(i).isDigit())
            return -1;
        value = value * 10 + key.at(i).digitValue();
    }
    return value;
}

}  // namespace

void CDiskManagePage::onAppendRecovered(QVector<RecoveredRecord> arr)
{
    for (const RecoveredRecord& r : qAsConst(arr)) {
        ++m_nAppended;
        const int nDisk = keyDigits(r.key, 0, 2);
        const int nPart = keyDigits(r.key, 2, 2);
        const int nChannel = keyDigits(r.key, 4, 2);
        const QDate date(keyDigits(r.key, 6, 4), keyDigits(r.key, 10, 2), keyDigits(r.key, 12, 2));
        const bool bKnownState = r.state == WFS_STATE_DELETED || r.state == WFS_STATE_FRAGMENT;
        if (nDisk < 0 || nPart < 0 || nChannel < 0 || !date.isValid() || r.name.isEmpty() || !bKnownState) {
            if (m_nAppended == m_nTotal)
                finishTree();
            continue;
        }
        const QString dateText = date.toString("yyyy-MM-dd");
        const QString recoveredKey = QString("%1/%2/recovered").arg(nDisk).arg(nPart);
        const QString dateKey = recoveredKey + '/' + dateText;
        const QString channelKey = dateKey + '/' + QString::number(nChannel);

        bool bCreated = false;
        QStandardItem* pPart = partitionNode(diskNode(nDisk), nDisk, nPart);
        QStandardItem* pRecovered =
            node(pPart, recoveredKey, PartitionLevel, kRecoveredKey, tr("Recovered"), m_recoveredIcon, &bCreated);
        if (bCreated) {
            pRecovered->setData(nDisk, DiskRole);
            pRecovered->setData(nPart, PartRole);
            pRecovered->setToolTip(tr("Deleted recordings and what is left of overwritten ones"));
        }
        QStandardItem* pDate = node(pRecovered, dateKey, DateLevel, dateText, dateText, m_dirIcon, &bCreated);
        if (bCreated) {
            pDate->setData(nDisk, DiskRole);
            pDate->setData(nPart, PartRole);
            pDate->setData(date, DateRole);
        }
        QStandardItem* pChannel = node(pDate, channelKey, ChannelLevel, nChannel,
                                       QString("%1").arg(nChannel + 1, 3, 10, QChar('0')), m_dirIcon, &bCreated);
        if (bCreated) {
            pChannel->setData(nDisk, DiskRole);
            pChannel->setData(nPart, PartRole);
            pChannel->setData(date, DateRole);
        }
        const bool bDeleted = r.state == WFS_STATE_DELETED;
        auto* pRecord = new QStandardItem(bDeleted ? m_deletedIcon : m_fragmentIcon, r.name);
        // The name (cut short in a narrow tree) and what the item is.
        pRecord->setToolTip(r.name + '\n' + (bDeleted ? tr("deleted") : tr("fragment")));
        pRecord->setData(RecordLevel, LevelRole);
        pRecord->setData(r.name, KeyRole);
        pRecord->setData(nDisk, DiskRole);
        pRecord->setData(nPart, PartRole);
        pRecord->setData(date, DateRole);
        pRecord->setData(nChannel, ChannelRole);
        pRecord->setData(r.state, StateRole);
        pChannel->appendRow(pRecord);
        if (m_nAppended == m_nTotal)
            finishTree();
    }
}
