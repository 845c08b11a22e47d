// The local file system behind the operations table: the C runtime's
// buffered streams, plus directory listing into find_data records.
#pragma once

#include "app/fs/FileSystemOps.h"

// Opens a local file the way CFSFile::Open does: a low-level open with the
// access bits of flags (0 read, 1 write, 2 read-write), 0x1000 create (which
// truncates unless 0x2000 is given), permissions rw for a new file, then a
// stream over the descriptor with the mode text. Null on failure.
void *OsOpenFile(const char *path, unsigned flags, const char *mode);
