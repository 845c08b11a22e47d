// Prefix registry: paths that begin with a registered prefix are served by
// that prefix's operations table, all others by the local file system.
#pragma once

#include "app/fs/FileSystemOps.h"

enum {
    kFileSystemEntries = 31,    // registrable entries, numbered 1..31
    kFileSystemPrefixMax = 31,  // longest prefix
};

// With a table: stores the prefix and a copy of the table in the first free
// entry and returns its number; -1 when all entries are taken or the prefix
// is empty or too long. Duplicates are not checked. With no table: clears the
// entries whose prefix equals the text and returns 0 (-1 when none did).
int RegisterFileSystem(const char *prefix, const FileSystemOps *ops);

// A copy of the table of the first entry whose prefix is a leading part of the
// path (compared over the prefix's length); the local table when none matches.
// Callers keep the copy, so clearing an entry never pulls a table from under
// an open file.
FileSystemOps FindFileSystem(const char *path);
