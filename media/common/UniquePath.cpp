#include "media/common/UniquePath.h"

#include <sys/stat.h>

namespace media {

namespace {

bool exists(const std::string &p)
{
    struct stat st {};
    return lstat(p.c_str(), &st) == 0;
}

}  // namespace

std::string unique_file_path(const std::string &path)
{
    if (path.empty() || !exists(path))
        return path;
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= nameStart)
        dot = path.size();  // no extension (or a hidden file's leading dot)
    const std::string stem = path.substr(0, dot);
    const std::string ext = path.substr(dot);
    for (unsigned n = 1; n < 100000; ++n) {
        std::string candidate = stem + "_" + std::to_string(n) + ext;
        if (!exists(candidate))
            return candidate;
    }
    return std::string();
}

}  // namespace media
