// A sparse image file: created at its full size with ftruncate, then only
// the sectors that hold something are written with pwrite. Sector numbers
// here are absolute (from the start of the file).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace testimg {

class SparseImage {
public:
    SparseImage() = default;
    ~SparseImage();
    SparseImage(const SparseImage &) = delete;
    SparseImage &operator=(const SparseImage &) = delete;

    bool create(const std::string &path, uint64_t sectors);
    // Writes n bytes at sector * 512 + byte_offset. Errors are remembered;
    // the first one is reported by close().
    void write(uint64_t sector, const void *data, size_t n, uint32_t byte_offset = 0);
    // Writes n bytes unless they are all zero (a fresh image reads zeros).
    void write_nonzero(uint64_t sector, const void *data, size_t n);
    bool close();
    bool ok() const { return m_error.empty(); }
    const std::string &error() const { return m_error; }
    uint64_t sectors() const { return m_sectors; }

private:
    int m_fd = -1;
    uint64_t m_sectors = 0;
    std::string m_path;
    std::string m_error;
};

}  // namespace testimg
