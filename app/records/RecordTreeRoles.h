#ifndef ORVELLE_APP_RECORDS_RECORDTREEROLES_H
#define ORVELLE_APP_RECORDS_RECORDTREEROLES_H

// Item data roles and levels of the record trees (disk page and local page).
//
// Level 0 is a disk (or the local folder), 1 a partition (or its "ide"
// folder), 2 a date, 3 a channel, 4 a recording. The disk page puts the
// recovered recordings of a partition (deleted ones and fragments of
// overwritten ones) under a "Recovered" node of level 1 below the
// partition, keyed kRecoveredKey, with the usual date, channel and recording
// levels below it; its recordings carry their state in StateRole.

#include <Qt>

enum RecordTreeRole {
    KeyRole = Qt::UserRole + 2,      // what identifies the item among its siblings
    LevelRole = Qt::UserRole + 4,    // 0..4
    DiskRole = Qt::UserRole + 5,     // disk number (local page: the folder)
    PartRole = Qt::UserRole + 6,     // partition (local page: the "ide" folder name)
    DateRole = Qt::UserRole + 7,     // QDate
    ChannelRole = Qt::UserRole + 8,  // 0-based channel
    StateRole = Qt::UserRole + 9,    // recovered recordings: 1 deleted, 2 fragment (else unset)
};

// KeyRole of a partition's "Recovered" node (no partition number).
const int kRecoveredKey = -1;

enum RecordTreeLevel {
    DiskLevel = 0,
    PartitionLevel = 1,
    DateLevel = 2,
    ChannelLevel = 3,
    RecordLevel = 4,
    NoteLevel = 5,  // a line of explanation, e.g. under a partition without recordings
};

// Command codes carried by the context-menu actions of the record pages.
enum RecordCommand {
    CmdDiskInfo = 0,
    CmdExport = 1,
    CmdCut = 2,
    CmdPlay = 3,
    CmdSyncPlay = 4,
};

#endif
