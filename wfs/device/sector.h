// The sector: 512 bytes on every recorder disk, whatever the drive's
// geometry reports. Every position below the file layer is a sector number,
// and every transfer is a whole number of sectors.
#pragma once

#define WFS_SECTOR_SIZE 512
