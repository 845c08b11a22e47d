// The recorder's name layer as a file system of the prefix registry.
#pragma once

#include "app/fs/FileSystemOps.h"

// Paths beginning with this prefix are recording names of a recorder disk.
// Only "/mnt/ide..." is routed to the recorder: other paths under /mnt are
// ordinary mounted file systems.
extern const char *const kWfsPrefix;  // "/mnt/ide"

const FileSystemOps *WfsFileSystemOps();

// Registers kWfsPrefix with the name layer's table (a further entry at each
// call, as long as entries remain). Returns the entry number or -1.
int RegisterWfsFileSystem();
