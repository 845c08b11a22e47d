// The recorder's name layer as a file system of the prefix registry.
#pragma once

#include "app/fs/FileSystemOps.h"

// Paths beginning with the recorder prefix WFS_PATH_PREFIX ("/mnt/ide",
// wfs/file/path_name.h) are names of a recorder disk. Only those are routed
// to the recorder: other paths under /mnt are ordinary mounted file systems.
const FileSystemOps *WfsFileSystemOps();

// Registers WFS_PATH_PREFIX with the name layer's table (a further entry at
// each call, as long as entries remain). Returns the entry number or -1.
int RegisterWfsFileSystem();
