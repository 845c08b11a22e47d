// Names for new files that must not replace existing ones (pictures, clips,
// cuts): "name.ext", then "name_1.ext", "name_2.ext", ...
#pragma once

#include <string>

namespace media {

// The first of path, path with "_1", "_2", ... before its extension, that
// does not exist yet. The extension is what follows the last '.' of the
// file name (a dot in a folder name does not count).
std::string unique_file_path(const std::string &path);

}  // namespace media
