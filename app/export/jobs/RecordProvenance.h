// Where a recording comes from: its disk, partition, channel, times and
// first cluster as its path names them, whether it is a listed, a deleted
// or a fragment recording, and the description of the disk it is read from
// (kind, image files and sizes, sectors, a block device's model and serial).
#pragma once

#include "app/export/jobs/ExamReport.h"

#include <QString>

// Fills the item's source fields from a recording path (recorder or local).
// The recovery state is asked of the mounted disks for recorder paths.
void FillRecordProvenance(const QString& strPath, ExamItem* pItem);

// The description of recorder disk nDisk; false when no such disk is loaded.
bool DescribeRecorderDisk(int nDisk, ExamSource* pOut);
