#include "tests/support/image/sparse_image.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace testimg {

SparseImage::~SparseImage() {
    if (m_fd >= 0) ::close(m_fd);
}

bool SparseImage::create(const std::string &path, uint64_t sectors) {
    m_path = path;
    m_sectors = sectors;
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (m_fd < 0) {
        m_error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    if (::ftruncate(m_fd, static_cast<off_t>(sectors * 512)) != 0) {
        m_error = "cannot size " + path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

void SparseImage::write(uint64_t sector, const void *data, size_t n, uint32_t byte_offset) {
    if (m_fd < 0 || !m_error.empty() || n == 0) return;
    const uint64_t pos = sector * 512 + byte_offset;
    if (pos + n > m_sectors * 512) {
        m_error = "write past the end of the image at sector " + std::to_string(sector);
        return;
    }
    const char *p = static_cast<const char *>(data);
    size_t done = 0;
    while (done < n) {
        const ssize_t r = ::pwrite(m_fd, p + done, n - done, static_cast<off_t>(pos + done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            m_error = "write to " + m_path + " failed: " + std::strerror(errno);
            return;
        }
        done += static_cast<size_t>(r);
    }
}

void SparseImage::write_nonzero(uint64_t sector, const void *data, size_t n) {
    const unsigned char *p = static_cast<const unsigned char *>(data);
    for (size_t i = 0; i < n; ++i) {
        if (p[i] != 0) {
            write(sector, data, n);
            return;
        }
    }
}

bool SparseImage::close() {
    if (m_fd >= 0) {
        if (::close(m_fd) != 0 && m_error.empty()) m_error = "close of " + m_path + " failed";
        m_fd = -1;
    }
    return m_error.empty();
}

}  // namespace testimg
